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
}

TEST(TrialOptions, ReadsEveryOption) {
  const ParsedOptions parsed = parse_options(
      {"--port", "0", "--mode", "hang", "--exit-after", "30", "--spawn-child", "--child-image",
       "/x/C.EXE", "--child-style", "orphan", "--port-file", "/x/port"});
  ASSERT_TRUE(parsed.error.empty()) << parsed.error;
  const TrialOptions& o = parsed.options;
  EXPECT_EQ(o.port, 0);
  EXPECT_EQ(o.mode, FaultMode::Hang);
  EXPECT_EQ(o.exit_after_seconds, 30u);
  EXPECT_TRUE(o.spawn_child);
  EXPECT_EQ(o.child_image, "/x/C.EXE");
  EXPECT_EQ(o.child_style, ChildStyle::Orphan);
  EXPECT_EQ(o.port_file, "/x/port");
  EXPECT_EQ(child_arguments(o), (std::vector<std::string>{"--mode", "child", "--exit-after", "30"}));
}

TEST(TrialOptions, RejectsWhatItDoesNotUnderstand) {
  const std::vector<std::vector<std::string>> cases = {
      {"--port"},           {"--port", "65536"},   {"--port", "-1"},
      {"--port", "12x"},    {"--mode", "sleep"},   {"--exit-after", "soon"},
      {"--child-image"},    {"--child-style", "x"}, {"--port-file", ""},
      {"--unknown"},        {"3063"},
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
