// The trial server's command line.
#include <gtest/gtest.h>

#include "trialserver/options.h"

namespace wardenix::trial {
namespace {

TEST(TrialOptions, DefaultsToAcceptingOnTheServerPort) {
  const ParsedOptions parsed = parse_options({});
  EXPECT_TRUE(parsed.error.empty());
  EXPECT_EQ(parsed.options.port, 3063);
  EXPECT_EQ(parsed.options.mode, FaultMode::Accept);
  EXPECT_FALSE(parsed.options.exit_after_seconds);
  EXPECT_FALSE(parsed.options.spawn_child);
  EXPECT_EQ(parsed.options.call_log, "");
}

TEST(TrialOptions, ReadsEveryOption) {
  const ParsedOptions parsed = parse_options(
      {"--port", "0", "--mode", "hang", "--exit-after", "30", "--spawn-child", "--child-image",
       "/x/C.EXE", "--child-style", "orphan", "--port-file", "/x/port", "--call-log", "/x/calls"});
  ASSERT_TRUE(parsed.error.empty()) << parsed.error;
  const TrialOptions& o = parsed.options;
  EXPECT_EQ(o.port, 0);
  EXPECT_EQ(o.mode, FaultMode::Hang);
  EXPECT_EQ(o.exit_after_seconds, 30u);
  EXPECT_TRUE(o.spawn_child);
  EXPECT_EQ(o.child_image, "/x/C.EXE");
  EXPECT_EQ(o.child_style, ChildStyle::Orphan);
  EXPECT_EQ(o.port_file, "/x/port");
  EXPECT_EQ(o.call_log, "/x/calls");
  EXPECT_EQ(child_arguments(o), (std::vector<std::string>{"--mode", "child", "--exit-after", "30"}));
}

TEST(TrialOptions, ReadsTheProtocolOptions) {
  struct Case {
    std::vector<std::string> arguments;
    FaultMode mode;
  };
  for (const Case& c : {Case{{"--mode", "hang-call"}, FaultMode::CallHang},
                        Case{{"--mode", "error-call"}, FaultMode::CallError},
                        Case{{"--mode", "null-result"}, FaultMode::NullResult},
                        Case{{"--mode", "cut-reply"}, FaultMode::CutReply}}) {
    const ParsedOptions parsed = parse_options(c.arguments);
    ASSERT_TRUE(parsed.error.empty()) << parsed.error;
    EXPECT_EQ(parsed.options.mode, c.mode) << c.arguments[1];
  }
  const ParsedOptions defaults = parse_options({});
  EXPECT_EQ(defaults.options.handshake, Handshake::Unfiltered);
  EXPECT_FALSE(defaults.options.required_rid);
  EXPECT_EQ(defaults.options.reply_delay_ms, 0u);
  EXPECT_EQ(defaults.options.version_rows, 3u);

  const ParsedOptions parsed =
      parse_options({"--handshake", "filter", "--filter-id", "Cifra", "--rid", "58013742QHZVMTRB",
                     "--slow", "7000", "--rows", "0"});
  ASSERT_TRUE(parsed.error.empty()) << parsed.error;
  EXPECT_EQ(parsed.options.handshake, Handshake::Filter);
  EXPECT_EQ(parsed.options.filter_id, "Cifra");
  EXPECT_EQ(parsed.options.required_rid, "58013742QHZVMTRB");
  EXPECT_EQ(parsed.options.reply_delay_ms, 7000u);
  EXPECT_EQ(parsed.options.version_rows, 0u);
  EXPECT_EQ(parse_options({"--handshake", "framed"}).options.handshake, Handshake::Framed);
}

TEST(TrialOptions, RejectsWhatItDoesNotUnderstand) {
  const std::vector<std::vector<std::string>> cases = {
      {"--port"},           {"--port", "65536"},   {"--port", "-1"},
      {"--port", "12x"},    {"--mode", "sleep"},   {"--exit-after", "soon"},
      {"--child-image"},    {"--child-style", "x"}, {"--port-file", ""},
      {"--unknown"},        {"3063"},             {"--handshake", "zip"},
      {"--filter-id", ""},  {"--rid"},            {"--slow", "-5"},
      {"--rows", "1000001"}, {"--mode", "hang_call"}, {"--call-log"},
      {"--call-log", ""},
  };
  for (const auto& arguments : cases) {
    EXPECT_FALSE(parse_options(arguments).error.empty()) << arguments.front();
  }
}

TEST(TrialOptions, TakesOneArgumentPerLineOfTheArgumentsFile) {
  EXPECT_EQ(arguments_from_lines("--port\r\n0\n\n--port-file\nC:\\a b\\port\n"),
            (std::vector<std::string>{"--port", "0", "--port-file", "C:\\a b\\port"}));
  EXPECT_TRUE(arguments_from_lines("").empty());
}

}  // namespace
}  // namespace wardenix::trial
