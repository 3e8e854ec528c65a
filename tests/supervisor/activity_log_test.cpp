#include "supervisor/activity_log.h"

#include <gtest/gtest.h>

namespace wardenix {
namespace {

// Ten-pixel characters on a 100-pixel line: ten characters a line.
TextMetrics fixed_metrics() { return TextMetrics{[](char16_t) { return 10; }, 100}; }

TEST(ActivityLog, CountsDisplayedLines) {
  struct Case {
    const char16_t* entry;
    std::size_t displayed;
  };
  const Case cases[] = {
      {u"", 1},
      {u"0123456789", 1},
      {u"01234567890", 2},
      {u"aaaa bbbb cccc", 2},            // wraps at the blank
      {u"aaaaaaaaaaaaaaaaaaaaaaaaa", 3},  // one long word is cut
      {u"aaaa bbbbbbbbbbbbbbbbbbbbb", 4},
  };
  for (const auto& c : cases) {
    ActivityLog log(fixed_metrics());
    log.Add(c.entry);
    EXPECT_EQ(log.displayed_line_count(), c.displayed) << to_utf8(c.entry);
  }
}

TEST(ActivityLog, ClearResetsAndObserversHearChanges) {
  ActivityLog log(fixed_metrics());
  std::vector<UString> added;
  int cleared = 0;
  log.on_added = [&](const UString& line) { added.push_back(line); };
  log.on_cleared = [&] { ++cleared; };
  log.Add(u"one");
  log.Add(u"two two two two");
  EXPECT_EQ(log.displayed_line_count(), 3u);
  log.Clear();
  EXPECT_EQ(log.displayed_line_count(), 0u);
  EXPECT_TRUE(log.Lines().empty());
  EXPECT_EQ(added.size(), 2u);
  EXPECT_EQ(cleared, 1);
}

TEST(ActivityLog, TheWindowsMessagesFitOnOneLine) {
  ActivityLog log;
  for (const char16_t* line :
       {u"23:59:59: Iniciando Wardenix", u"23:59:59: Verificando Servidor de Aplicação",
        u"23:59:59: Problemas com o Firebird. Verifique", u"23:59:59: Verificando Conexão"}) {
    log.Add(line);
  }
  EXPECT_EQ(log.displayed_line_count(), 4u);
}

}  // namespace
}  // namespace wardenix
