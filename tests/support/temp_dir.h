#pragma once
// A fresh directory of a test's own under the system's temporary directory,
// removed with everything in it at the end. Its name is random, so that
// tests running side by side, in one build or in several, never share one.
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace wardenix::testing {

class TempDir {
 public:
  TempDir() {
    std::random_device seed;
    do {
      std::string name("wardenix-test-");
      name.append(std::to_string(seed())).append(1, '-').append(std::to_string(seed()));
      path_ = std::filesystem::temp_directory_path() / name;
    } while (!std::filesystem::create_directory(path_));
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace wardenix::testing
