// wardenix-inspect: diagnostics for administrators.
//   wardenix-inspect packet FILE   loads FILE as a data packet and prints it as JSON
#include <cstdio>
#include <cstring>
#include <exception>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "app/inspect/packet_report.h"

namespace {

constexpr const char* kUsage = "usage: wardenix-inspect packet FILE\n";

bool read_file(const char* path, std::vector<std::uint8_t>& bytes) {
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  bool ok = std::fseek(file, 0, SEEK_END) == 0;
  const long size = ok ? std::ftell(file) : -1;
  ok = ok && size >= 0 && std::fseek(file, 0, SEEK_SET) == 0;
  if (ok) {
    bytes.resize(static_cast<std::size_t>(size));
    const std::size_t got = bytes.empty() ? 0 : std::fread(bytes.data(), 1, bytes.size(), file);
    ok = got == bytes.size() && std::ferror(file) == 0;
  }
  std::fclose(file);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);  // "\n" stays one byte
#endif
  if (argc != 3 || std::strcmp(argv[1], "packet") != 0) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::vector<std::uint8_t> bytes;
  if (!read_file(argv[2], bytes)) {
    std::fprintf(stderr, "wardenix-inspect: cannot read %s: %s\n", argv[2], std::strerror(errno));
    return 2;
  }
  try {
    const auto report = wardenix::inspect_packet(std::move(bytes));
    std::fwrite(report.json.data(), 1, report.json.size(), stdout);
    std::fputc('\n', stdout);
    return report.accepted ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "wardenix-inspect: %s\n", e.what());
    return 2;
  }
}
