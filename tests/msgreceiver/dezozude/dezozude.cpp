// A broadcast library of our own for the tests, with the three entry points
// of "DEZOZUDE.DLL". It records every call with its arguments, as the test
// reads them back through TestDezozudeLog. Not the real library.
#include <cstdint>
#include <cstring>
#include <string>

#ifdef _WIN32
#define TEST_EXPORT extern "C"
#else
#define TEST_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

std::string& calls() {
  static std::string log;
  return log;
}
bool valid = true;
std::int32_t next_receiver = 7;

}  // namespace

TEST_EXPORT void TestDezozudeReset(int is_valid) {
  calls().clear();
  valid = is_valid != 0;
  next_receiver = 7;
}

// Copies the calls so far, one per line, into `out`; returns their length.
TEST_EXPORT int TestDezozudeLog(char* out, int size) {
  const std::string& log = calls();
  if (out && size > 0) {
    const std::size_t n = log.size() < static_cast<std::size_t>(size - 1) ? log.size()
                                                                           : static_cast<std::size_t>(size - 1);
    std::memcpy(out, log.data(), n);
    out[n] = '\0';
  }
  return static_cast<int>(log.size());
}

TEST_EXPORT bool DezozUDEValid() {
  calls() += "valid\n";
  return valid;
}

// The argument checks: the window handle and the short string as received.
TEST_EXPORT std::int32_t dezozude_register(std::uint32_t hnd, const unsigned char* name) {
  calls() += "register " + std::to_string(hnd) + " " +
             std::string(reinterpret_cast<const char*>(name) + 1, name[0]) + "\n";
  return next_receiver++;
}

TEST_EXPORT std::int32_t dezozude_unregister(std::uint32_t hnd) {
  calls() += "unregister " + std::to_string(hnd) + "\n";
  return 0;
}

#if defined(_WIN32) && defined(__i386__)
// The register convention, read from the registers themselves: the first
// argument in EAX, the second in EDX, the result in EAX; nothing on the stack.
asm(".text\n"
    ".globl _RegisterReceiver\n"
    "_RegisterReceiver:\n"
    "  pushl %edx\n"
    "  pushl %eax\n"
    "  call _dezozude_register\n"
    "  addl $8, %esp\n"
    "  ret\n"
    ".globl _UnregisterReceiver\n"
    "_UnregisterReceiver:\n"
    "  pushl %eax\n"
    "  call _dezozude_unregister\n"
    "  addl $4, %esp\n"
    "  ret\n");
#else
TEST_EXPORT std::int32_t RegisterReceiver(std::uint32_t hnd, const unsigned char* name) {
  return dezozude_register(hnd, name);
}
TEST_EXPORT std::int32_t UnregisterReceiver(std::uint32_t hnd) { return dezozude_unregister(hnd); }
#endif
