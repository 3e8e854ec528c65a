#include "supervisor/ini_file.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace wardenix {
namespace {

namespace fs = std::filesystem;

UString ipds(const std::string& bytes) { return read_ini_value(bytes, u"REZ", u"IPDS", u"localhost"); }

TEST(IniValues, LookUpRules) {
  struct Case {
    const char* name;
    std::string bytes;
    UString expected;
  };
  const Case cases[] = {
      {"plain", "[REZ]\nIPDS=server2\n", u"server2"},
      {"case of section and key", "[rez]\r\nipds = server2 \r\n", u"server2"},
      {"blanks around the header", "  [ REZ ]  \nIPDS=a", u"a"},
      {"missing key", "[REZ]\nPORTADS=1\n", u"localhost"},
      {"key in another section", "[OTHER]\nIPDS=x\n[REZ]\n", u"localhost"},
      {"key before any section", "IPDS=x\n[REZ]\n", u"localhost"},
      {"empty value is a value", "[REZ]\nIPDS=\n", u""},
      {"line without equals sign", "[REZ]\nIPDS\n", u""},
      {"quotes removed", "[REZ]\nIPDS=\"my host\"\n", u"my host"},
      {"single quotes removed", "[REZ]\nIPDS='h'\n", u"h"},
      {"unmatched quote kept", "[REZ]\nIPDS=\"h\n", u"\"h"},
      {"repeated key: first wins", "[REZ]\nIPDS=one\nIPDS=two\n", u"one"},
      {"repeated section: first occurrence wins", "[REZ]\nX=1\n[REZ]\nIPDS=two\n[REZ]\nIPDS=three\n", u"two"},
      {"commented key", "[REZ]\n;IPDS=no\n", u"localhost"},
      {"old Mac line ends", "[REZ]\rIPDS=cr\r", u"cr"},
      {"UTF-8 with mark", "\xEF\xBB\xBF[REZ]\nIPDS=s\xC3\xA3o\n", u"são"},
      {"UTF-8 without mark", "[REZ]\nIPDS=s\xC3\xA3o\n", u"são"},
      {"Latin-1 bytes", "[REZ]\nIPDS=s\xE3o\n", u"são"},
      {"UTF-16 with mark", std::string("\xFF\xFE[\0R\0E\0Z\0]\0\n\0I\0P\0D\0S\0=\0w\0", 26), u"w"},
      {"UTF-16 big-endian", std::string("\xFE\xFF\0[\0R\0E\0Z\0]\0\n\0I\0P\0D\0S\0=\0w", 26), u"w"},
      {"empty file", "", u"localhost"},
      {"NUL bytes inside", std::string("[REZ]\nIP\0DS=x\nIPDS=y\n", 21), u"y"},
  };
  for (const auto& c : cases) EXPECT_EQ(ipds(c.bytes), c.expected) << c.name;
}

// Where a value came from, as an administrator's check reports it.
TEST(IniValues, LineAndEncodingOfTheValue) {
  struct Case {
    const char* name;
    std::string bytes;
    std::size_t line;  // 0: not found
    IniEncoding encoding;
  };
  const Case cases[] = {
      {"LF lines", "; top\n[REZ]\n\nIPDS=a\n", 4, IniEncoding::NoMark},
      {"CR LF lines count once", "[REZ]\r\n\r\nIPDS=a\r\n", 3, IniEncoding::NoMark},
      {"CR lines", "[REZ]\r\rIPDS=a", 3, IniEncoding::NoMark},
      {"last line without an end", "[REZ]\nIPDS=a", 2, IniEncoding::NoMark},
      {"UTF-8 mark", "\xEF\xBB\xBF[REZ]\nIPDS=a\n", 2, IniEncoding::Utf8Mark},
      {"UTF-16 little-endian", std::string("\xFF\xFE[\0R\0E\0Z\0]\0\n\0I\0P\0D\0S\0=\0w\0", 26), 2,
       IniEncoding::Utf16LE},
      {"UTF-16 big-endian", std::string("\xFE\xFF\0[\0R\0E\0Z\0]\0\n\0I\0P\0D\0S\0=\0w", 26), 2,
       IniEncoding::Utf16BE},
      {"missing key", "[REZ]\nPORTADS=1\n", 0, IniEncoding::NoMark},
  };
  for (const auto& c : cases) {
    const IniLookup found = look_up_ini_value(c.bytes, u"REZ", u"IPDS");
    EXPECT_EQ(found.line, c.line) << c.name;
    EXPECT_EQ(found.value.has_value(), c.line != 0) << c.name;
    EXPECT_EQ(found.encoding, c.encoding) << c.name;
  }
}

TEST(IniValues, LongValuesAreClippedTo2047Characters) {
  const std::string long_value(5000, 'v');
  const UString value = ipds("[REZ]\nIPDS=" + long_value + "\n");
  EXPECT_EQ(value, UString(2047, u'v'));
  const std::string exact(2047, 'e');
  EXPECT_EQ(ipds("[REZ]\nIPDS=" + exact).size(), 2047u);
}

TEST(IniValues, BinaryGarbageGivesDefaultsWithoutCrashing) {
  std::mt19937 random(20261210);
  for (int round = 0; round < 200; ++round) {
    std::string garbage(static_cast<std::size_t>(random() % 4096), '\0');
    for (auto& b : garbage) b = static_cast<char>(random());
    const UString value = ipds(garbage);
    EXPECT_LE(value.size(), IniFile::kMaxValueLength);
  }
}

struct IniFileOnDisk : ::testing::Test {
  testing::TempDir temp;
  fs::path dir = temp.path();
  UString path(const char* name) { return from_utf8((dir / name).string()); }
};

TEST_F(IniFileOnDisk, HugeFileWithTheKeyAtItsEnd) {
  {
    std::ofstream out(dir / "rez.ini", std::ios::binary);
    const std::string filler(1 << 20, 'x');  // one 1 MiB line, repeated
    for (int i = 0; i < 24; ++i) out << "[JUNK]\n" << filler << "=" << filler << "\n";
    out << "[REZ]\nPORTADS=4000\n";
  }
  EXPECT_EQ(IniFile(path("rez.ini")).ReadString(u"REZ", u"PORTADS", u"3063"), u"4000");
}

TEST_F(IniFileOnDisk, MissingOrUnreadableFilesGiveTheDefault) {
  EXPECT_EQ(IniFile(path("absent.ini")).ReadString(u"REZ", u"IPDS", u"localhost"), u"localhost");
  EXPECT_FALSE(IniFile(path("absent.ini")).Look(u"REZ", u"IPDS").file_read);
  fs::create_directories(dir / "adir.ini");
  EXPECT_EQ(IniFile(path("adir.ini")).ReadString(u"REZ", u"IPDS", u"localhost"), u"localhost");
}

}  // namespace
}  // namespace wardenix
