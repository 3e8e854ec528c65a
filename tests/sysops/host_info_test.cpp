// Facts about the running program that the main window shows, read from the
// real machine: the version this test program carries, file dates at the
// file system's two-second resolution, and the locale formats.
#include "sysops/host_info.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

namespace wardenix {
namespace {

namespace fs = std::filesystem;

TEST(HostInfo, VersionOfTheRunningExecutable) {
  // The Windows build reads the version resource linked into this program;
  // elsewhere the version is compiled in.
  EXPECT_EQ(make_platform_host_info()->executable_version(), std::optional<UString>(u"1.0.0.1"));
}

TEST(HostInfo, ExecutablePathAndDirectory) {
  const UString path = make_platform_host_info()->executable_path();
  ASSERT_FALSE(path.empty());
  const UString dir = directory_of(path);
  ASSERT_FALSE(dir.empty());
  EXPECT_TRUE(dir.back() == u'/' || dir.back() == u'\\');
  EXPECT_EQ(directory_of(u"C:\\KESTRANE\\REZ7\\DAZEVAVIZ.EXE"), u"C:\\KESTRANE\\REZ7\\");
  EXPECT_EQ(directory_of(u"DAZEVAVIZ.EXE"), u"");
}

TEST(HostInfo, FileDatesAtTwoSecondResolution) {
  const testing::TempDir temp;
  const fs::path& dir = temp.path();
  const fs::path file = dir / "varudedizerazidad.exe";
  std::ofstream(file) << "x";
  // An odd second: the date is cut to the even second before it.
  const auto when = fs::last_write_time(file);
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(when.time_since_epoch());
  const auto odd = fs::file_time_type(seconds + std::chrono::seconds((seconds.count() % 2 == 0) ? 1 : 0));
  fs::last_write_time(file, odd);

  const auto host = make_platform_host_info();
  const auto date = host->file_date(from_utf8(file.string()));
  ASSERT_TRUE(date.has_value());
  EXPECT_EQ(date->second % 2, 0);
  EXPECT_EQ(date->millisecond, 0);
  EXPECT_GE(date->year, 2020);

  EXPECT_FALSE(host->file_date(from_utf8((dir / "missing.exe").string())).has_value());
  EXPECT_FALSE(host->file_date(from_utf8(dir.string())).has_value());
  fs::remove_all(dir);
}

TEST(HostInfo, FileSystemDateRange) {
  EXPECT_FALSE(to_file_system_date({1979, 12, 31, 23, 59, 59, 0}).has_value());
  EXPECT_FALSE(to_file_system_date({2108, 1, 1, 0, 0, 0, 0}).has_value());
  EXPECT_EQ(to_file_system_date({2015, 9, 30, 16, 11, 9, 500}),
            std::optional<DateTimeParts>(DateTimeParts{2015, 9, 30, 16, 11, 8, 0}));
}

TEST(HostInfo, LocaleFormatsCanFormatADate) {
  const FormatSettings fs = make_platform_host_info()->format_settings();
  const UString text =
      date_time_to_string(encode_date_time({2015, 9, 30, 16, 11, 8, 0}), fs);
  // Day, minutes and seconds read the same in every locale's order.
  EXPECT_NE(text.find(u"30"), UString::npos) << to_utf8(text);
  EXPECT_NE(text.find(u"11"), UString::npos) << to_utf8(text);
  EXPECT_NE(text.find(u"08"), UString::npos) << to_utf8(text);
}

}  // namespace
}  // namespace wardenix
