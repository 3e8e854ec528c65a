#pragma once
// wardenix-inspect call and methods: any remote method of the server called
// through the typed proxy, and the server's method list.
//
//   call [--host H] [--port P] [--deadline MS] METHOD [ARG...]
//   methods [--host H] [--port P] [--deadline MS] [--json]
//
// Exit status: 0 success; 1 the server could not be reached or answered with
// an error (its class, code and message on standard error), or the deadline
// passed (the deadline and the phase it ended on standard error); 2 a usage error,
// an unknown method, a wrong number of arguments or an argument that does not
// read as its parameter's type.
#include <string_view>
#include <vector>

namespace wardenix {

int run_call(const std::vector<std::string_view>& arguments);
int run_methods(const std::vector<std::string_view>& arguments);

}  // namespace wardenix
