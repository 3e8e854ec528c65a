// rez.ini is read from disk as it stands: any bytes must give a value or the
// default, never a crash.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "supervisor/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto value = wardenix::read_ini_value(bytes, u"REZ", u"IPDS", u"localhost");
  if (value.size() > wardenix::IniFile::kMaxValueLength) __builtin_trap();
  return 0;
}
