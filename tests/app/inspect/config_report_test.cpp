// wardenix-inspect config: the values the watchdog would read, where each came
// from, and the ones it cannot work with.
#include "app/inspect/config_report.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/temp_dir.h"

namespace wardenix {
namespace {

// Only "nowhere.invalid" fails to resolve: no test asks a real resolver.
std::optional<UString> fake_resolve(UStringView host) {
  if (host == u"nowhere.invalid") return UString(u"Name or service not known");
  return std::nullopt;
}

struct ConfigCheck : ::testing::Test {
  testing::TempDir temp;
  UString file = from_utf8((temp.path() / "rez.ini").string());

  ConfigReport check(const std::string& bytes) {
    std::ofstream(temp.path() / "rez.ini", std::ios::binary) << bytes;
    return check_config(file, fake_resolve);
  }
};

TEST_F(ConfigCheck, JudgesEachValue) {
  struct Case {
    const char* name;
    std::string ini;
    const char16_t* host;
    const char16_t* port;
    const char* host_problem;  // a part of the problem's text; "" for none
    const char* port_problem;
  };
  const Case cases[] = {
      {"good values", "[REZ]\nIPDS=srv1\nPORTADS=3063\n", u"srv1", u"3063", "", ""},
      {"lowest and highest port", "[REZ]\nPORTADS=1\n", u"localhost", u"1", "", ""},
      {"highest port", "[REZ]\nPORTADS=65535\n", u"localhost", u"65535", "", ""},
      {"port that is no number", "[REZ]\nPORTADS=abc\n", u"localhost", u"abc", "", "1 to 65535"},
      {"port 0", "[REZ]\nPORTADS=0\n", u"localhost", u"0", "", "1 to 65535"},
      {"port too large", "[REZ]\nPORTADS=99999\n", u"localhost", u"99999", "", "1 to 65535"},
      {"port with a sign", "[REZ]\nPORTADS=-1\n", u"localhost", u"-1", "", "1 to 65535"},
      {"empty port", "[REZ]\nPORTADS=\n", u"localhost", u"", "", "1 to 65535"},
      {"host that does not resolve", "[REZ]\nIPDS=nowhere.invalid\n", u"nowhere.invalid", u"3063",
       "does not resolve: Name or service not known", ""},
      {"empty host", "[REZ]\nIPDS=\n", u"", u"3063", "empty", ""},
  };
  for (const auto& c : cases) {
    const ConfigReport report = check(c.ini);
    EXPECT_EQ(report.host.value, c.host) << c.name;
    EXPECT_EQ(report.port.value, c.port) << c.name;
    EXPECT_NE(report.host.problem.find(c.host_problem), std::string::npos) << c.name;
    EXPECT_NE(report.port.problem.find(c.port_problem), std::string::npos) << c.name;
    EXPECT_EQ(report.host.problem.empty(), *c.host_problem == '\0') << c.name;
    EXPECT_EQ(report.port.problem.empty(), *c.port_problem == '\0') << c.name;
    EXPECT_EQ(report.usable(), *c.host_problem == '\0' && *c.port_problem == '\0') << c.name;
  }
}

TEST_F(ConfigCheck, TellsWhereEachValueCameFrom) {
  const ConfigReport report = check("\xEF\xBB\xBF; watchdog\r\n[REZ]\r\nPORTADS=4000\r\n");
  EXPECT_TRUE(report.file_read);
  EXPECT_EQ(report.encoding, IniEncoding::Utf8Mark);
  EXPECT_EQ(report.port.line, 3u);
  EXPECT_EQ(report.host.line, 0u);  // missing: the default
  EXPECT_EQ(report.host.value, u"localhost");
  const std::string text = config_text(report);
  EXPECT_NE(text.find("PORTADS:  \"4000\" (line 3)"), std::string::npos) << text;
  EXPECT_NE(text.find("IPDS:     \"localhost\" (the default: the key is missing)"), std::string::npos) << text;
  EXPECT_NE(text.find("UTF-8 with a byte-order mark"), std::string::npos) << text;

  JsonWriter json;
  write_config_json(report, json);
  EXPECT_NE(json.text().find(R"("PORTADS":{"value":"4000","line":3,"problem":null})"), std::string::npos)
      << json.text();
  EXPECT_NE(json.text().find(R"("usable":true)"), std::string::npos) << json.text();
}

TEST_F(ConfigCheck, MissingFileGivesTheDefaults) {
  const ConfigReport report = check_config(file + u".absent", fake_resolve);
  EXPECT_FALSE(report.file_read);
  EXPECT_EQ(report.host.value, u"localhost");
  EXPECT_EQ(report.port.value, u"3063");
  EXPECT_TRUE(report.usable());
  EXPECT_NE(config_text(report).find("missing or unreadable"), std::string::npos);
}

}  // namespace
}  // namespace wardenix
