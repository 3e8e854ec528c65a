#include "tests/app/inspect/inspect_run.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace wardenix::testing {
namespace {

std::string read(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::string join(std::initializer_list<std::string_view> pieces) {
  std::string s;
  for (const auto p : pieces) s.append(p);
  return s;
}

std::string native_path(std::string path) {
#ifdef _WIN32
  // The cross build names its files with POSIX paths; Wine maps them to Z:.
  if (!path.empty() && path[0] == '/') {
    for (auto& c : path) c = c == '/' ? '\\' : c;
    path.insert(0, "Z:");
  }
#endif
  return path;
}

RunResult run_inspect(const std::filesystem::path& dir, const std::string& arguments,
                      const std::filesystem::path& program) {
  const std::string out_path = (dir / "out.json").string();
  const std::string err_path = (dir / "err.txt").string();
  const std::string command = join({"\"", native_path(program.empty() ? WARDENIX_INSPECT_EXE : program.string()), "\" ", arguments, " > \"",
                                    out_path, "\" 2> \"", err_path, "\""});
#ifdef _WIN32
  const int status = std::system(join({"\"", command, "\""}).c_str());  // cmd.exe strips one pair
  RunResult result{status, {}, {}};
#else
  const int status = std::system(command.c_str());
  RunResult result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, {}, {}};
#endif
  result.out = read(out_path);
  result.err = read(err_path);
  return result;
}

}  // namespace wardenix::testing
