#pragma once
// Runs the built wardenix-inspect as administrators run it, its output and
// errors caught in files of a test's own directory.
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>

namespace wardenix::testing {

struct RunResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// `arguments` is the rest of the command line, quoted as a shell takes it;
// `program` a copy of the program to run instead of the built one.
RunResult run_inspect(const std::filesystem::path& dir, const std::string& arguments,
                      const std::filesystem::path& program = {});

// A path as the program takes it: under Wine, a POSIX path becomes a Z: one.
std::string native_path(std::string path);

// Joins pieces with append (the cross compiler warns wrongly about
// "literal" + std::string).
std::string join(std::initializer_list<std::string_view> pieces);

}  // namespace wardenix::testing
