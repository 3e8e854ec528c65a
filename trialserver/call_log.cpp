#include "trialserver/call_log.h"

#include <filesystem>
#include <fstream>
#include <mutex>

namespace wardenix::trial {
namespace {

struct CallLog {
  std::mutex mutex;
  std::ofstream out;
};

CallLog& call_log() {
  static CallLog log;
  return log;
}

}  // namespace

bool OpenCallLog(const std::string& path) {
  CallLog& log = call_log();
  std::lock_guard lock(log.mutex);
  log.out.open(std::filesystem::path(std::u8string(path.begin(), path.end())),
               std::ios::binary | std::ios::app);
  return log.out.is_open();
}

void LogCall(std::string_view line) {
  CallLog& log = call_log();
  std::lock_guard lock(log.mutex);
  if (!log.out.is_open()) return;
  log.out << line << '\n';
  log.out.flush();
}

}  // namespace wardenix::trial
