// The console's command line, and the range of --time-scale in which the
// cycle runs as it should.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/console/options.h"

namespace wardenix {
namespace {

TEST(ConsoleOptions, TimeScaleIsAcceptedOnlyWhereTheCycleRuns) {
  struct Case {
    std::vector<std::string> args;
    bool accepted;
    double scale;
    bool help = false;
    bool version = false;
    bool diagnostics = true;
  };
  const Case cases[] = {
      {{}, true, 1.0},
      {{"--time-scale", "1"}, true, 1.0},
      {{"--time-scale", "20"}, true, 20.0},
      {{"--time-scale=1000"}, true, 1000.0},
      {{"--time-scale", "0.999"}, false, 0},
      {{"--time-scale", "1000.5"}, false, 0},
      {{"--time-scale", "1e-9"}, false, 0},
      {{"--time-scale", "1e-300"}, false, 0},
      {{"--time-scale", "1e6"}, false, 0},
      {{"--time-scale", "1e308"}, false, 0},
      {{"--time-scale", "inf"}, false, 0},
      {{"--time-scale", "nan"}, false, 0},
      {{"--time-scale", "-5"}, false, 0},
      {{"--time-scale", "5x"}, false, 0},
      {{"--time-scale="}, false, 0},
      {{"--time-scale"}, false, 0},
      {{"--frobnicate"}, false, 0},
      // --help and --version are flags that the other options keep.
      {{"--version"}, true, 1.0, false, true},
      {{"-h"}, true, 1.0, true, false},
      {{"--time-scale", "20", "--version"}, true, 20.0, false, true},
      {{"--version", "--help"}, true, 1.0, true, true},
      {{"--version", "extra"}, false, 0},
      {{"--version=1"}, false, 0},
      {{"-v"}, false, 0},
      {{"--quiet"}, true, 1.0, false, false, false},
      {{"--time-scale", "20", "--quiet"}, true, 20.0, false, false, false},
      {{"--quiet=1"}, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    std::string error;
    const auto options = parse_console_options(c.args, error);
    ASSERT_EQ(options.has_value(), c.accepted) << error;
    if (options) {
      EXPECT_EQ(options->time_scale, c.scale);
      EXPECT_EQ(options->help, c.help);
      EXPECT_EQ(options->version, c.version);
      EXPECT_EQ(options->diagnostics, c.diagnostics);
    } else {
      EXPECT_FALSE(error.empty());
    }
  }
}

TEST(ConsoleOptions, HelpStatesTheTimeScaleRange) {
  std::string error;
  const auto options = parse_console_options({"--help"}, error);
  ASSERT_TRUE(options);
  EXPECT_TRUE(options->help);
  EXPECT_NE(std::string(kConsoleUsage).find("from 1"), std::string::npos);
  EXPECT_NE(std::string(kConsoleUsage).find("to 1000"), std::string::npos);
  EXPECT_NE(std::string(kConsoleUsage).find("--version"), std::string::npos);
}

}  // namespace
}  // namespace wardenix
