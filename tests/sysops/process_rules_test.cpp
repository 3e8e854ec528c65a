// The rules behind the process operations, without running any process.
#include <gtest/gtest.h>

#include "sysops/command_line.h"
#include "sysops/image_name.h"
#include "sysops/process_tree.h"

namespace wardenix {
namespace {

struct NameCase {
  UStringView image_name;
  UStringView wanted;
  bool matches;
};

TEST(ImageNameMatches, ComparesTheFilePartOrTheWholeNameIgnoringOnlyAsciiCase) {
  const NameCase cases[] = {
      {u"DAZEVAVIZ.EXE", u"DAZEVAVIZ.EXE", true},
      {u"dazevaviz.exe", u"DAZEVAVIZ.EXE", true},
      {u"DAZEVAVIZ.EXE", u"dAzEvAvIz.ExE", true},
      {u"C:\\Kestrane\\DAZEVAVIZ.EXE", u"DAZEVAVIZ.EXE", true},
      {u"C:DAZEVAVIZ.EXE", u"DAZEVAVIZ.EXE", true},
      {u"C:\\Kestrane\\DAZEVAVIZ.EXE", u"c:\\kestrane\\dazevaviz.exe", true},
      {u"DAZEVAVIZ.EXE.OLD", u"DAZEVAVIZ.EXE", false},
      {u"DAZEVAVIZ.EXE ", u"DAZEVAVIZ.EXE", false},
      {u"DAZEVAVIZ", u"DAZEVAVIZ.EXE", false},
      {u"DAZEVAVIZ.EXE", u"DAZEVAVIZ", false},
      {u"XDAZEVAVIZ.EXE", u"DAZEVAVIZ.EXE", false},
      {u"C:\\DAZEVAVIZ.EXE\\X.EXE", u"DAZEVAVIZ.EXE", false},
      // Only "\" and ":" separate: a slash is part of the name.
      {u"/opt/DAZEVAVIZ.EXE", u"DAZEVAVIZ.EXE", false},
      // Accented letters keep their case.
      {u"DAZEVAVÍZ.EXE", u"DAZEVAVíZ.EXE", false},
      {u"DAZEVAVÍZ.EXE", u"dazevavÍz.exe", true},
      {u"ÄBC.EXE", u"äbc.exe", false},
  };
  for (const NameCase& c : cases) {
    EXPECT_EQ(ImageNameMatches(c.image_name, c.wanted), c.matches)
        << to_utf8(c.image_name) << " / " << to_utf8(c.wanted);
  }
}

struct CreationCase {
  UStringView command_line;
  UStringView application;
  UStringView passed_line;
};

TEST(PlanProcessCreation, TakesAnUnquotedLineWithBlanksAsOnePath) {
  const CreationCase cases[] = {
      // Without blanks or already quoted: handed on exactly as given.
      {u"C:\\Kestrane\\DAZEVAVIZ.EXE", u"", u"C:\\Kestrane\\DAZEVAVIZ.EXE"},
      {u"DAZEVAVIZ.EXE", u"", u"DAZEVAVIZ.EXE"},
      {u"\"C:\\Program Files\\K\\DAZEVAVIZ.EXE\" -x", u"", u"\"C:\\Program Files\\K\\DAZEVAVIZ.EXE\" -x"},
      {u"", u"", u""},
      // With blanks: the whole text is the program; C:\Program.exe cannot start.
      {u"C:\\Program Files\\K\\DAZEVAVIZ.EXE", u"C:\\Program Files\\K\\DAZEVAVIZ.EXE",
       u"\"C:\\Program Files\\K\\DAZEVAVIZ.EXE\""},
      {u"C:\\K\tK\\DAZEVAVIZ.EXE", u"C:\\K\tK\\DAZEVAVIZ.EXE", u"\"C:\\K\tK\\DAZEVAVIZ.EXE\""},
  };
  for (const CreationCase& c : cases) {
    const ProcessCreation plan = PlanProcessCreation(c.command_line);
    EXPECT_EQ(plan.application, c.application) << to_utf8(c.command_line);
    EXPECT_EQ(plan.command_line, c.passed_line) << to_utf8(c.command_line);
  }
}

struct SplitCase {
  UStringView command_line;
  std::vector<UString> arguments;
};

TEST(SplitCommandLine, FollowsTheUsualQuotingRules) {
  const SplitCase cases[] = {
      {u"/opt/srv/DAZEVAVIZ.EXE", {u"/opt/srv/DAZEVAVIZ.EXE"}},
      {u"/opt/my srv/DAZEVAVIZ.EXE", {u"/opt/my srv/DAZEVAVIZ.EXE"}},
      {u"/opt/srv/DAZEVAVIZ.EXE --port 0", {u"/opt/srv/DAZEVAVIZ.EXE --port 0"}},
      {u"\"/opt/my srv/D.EXE\" --port  0 ", {u"/opt/my srv/D.EXE", u"--port", u"0"}},
      {u"\"/p\\\" \"a b\" c", {u"/p\\", u"a b", u"c"}},
      {u"\"/p\" a\\\\\\\"b", {u"/p", u"a\\\"b"}},
      {u"\"/p\" a\\\\\"b c\"", {u"/p", u"a\\b c"}},
      {u"\"/p\" a\\\\b \"\"", {u"/p", u"a\\\\b", u""}},
      {u"\"/p\" \"a\"\"b\"", {u"/p", u"a\"b"}},
      {u"\"/p\"\t-x", {u"/p", u"-x"}},
      {u"\"/unterminated", {u"/unterminated"}},
      {u"\"\" -x", {}},
      {u"", {}},
  };
  for (const SplitCase& c : cases) {
    EXPECT_EQ(SplitCommandLine(c.command_line), c.arguments) << to_utf8(c.command_line);
  }
}

TEST(GrowProcessTree, FollowsParentsAndSessionsLedByMembers) {
  const std::vector<ProcessLink> table = {
      {1, 0, 1},
      {90, 104, 104},    // listed before its parent
      {100, 1, 100},     // the server, leading its session
      {101, 100, 100},   // child
      {102, 101, 100},   // grandchild
      {103, 1, 100},     // orphaned grandchild, still in the server's session
      {104, 100, 104},   // child in a session of its own
      {105, 104, 104},
      {200, 1, 200},     // unrelated
      {201, 200, 200},
      {202, 1, 1},       // in init's session
  };
  std::set<std::uint32_t> members{100};
  const std::vector<std::uint32_t> added = GrowProcessTree(table, members);
  EXPECT_EQ(members, (std::set<std::uint32_t>{90, 100, 101, 102, 103, 104, 105}));
  EXPECT_EQ(added.size(), 6u);
  EXPECT_TRUE(GrowProcessTree(table, members).empty());
}

}  // namespace
}  // namespace wardenix
