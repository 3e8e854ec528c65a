#pragma once
// A main window on a virtual clock, with stand-ins for the machine.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "mainloop/event_loop.h"
#include "mainloop/virtual_clock.h"
#include "supervisor/application.h"
#include "supervisor/principal_form.h"
#include "supervisor/program.h"
#include "sysops/host_info.h"
#include "sysops/system_ops.h"

namespace wardenix::testing {

class StandInOps : public SystemOps {
 public:
  std::int32_t QueryServiceState(UStringView service, UStringView machine) override {
    std::lock_guard lock(mutex);
    queries.push_back(to_utf8(service) + "@" + to_utf8(machine));
    const auto it = services.find(UString(service));
    return it == services.end() ? -1 : it->second;
  }
  std::uint32_t VerificaProcesso(UStringView) override { return 0; }
  bool LaunchProgram(UStringView) override { return false; }
  void ForceTerminateServer() override {}

  void set_service(const UString& name, std::int32_t state) {
    std::lock_guard lock(mutex);
    services[name] = state;
  }

  std::mutex mutex;
  std::map<UString, std::int32_t> services;
  std::vector<std::string> queries;
};

class StandInHost : public HostInfo {
 public:
  UString executable_path() override { return directory + u"wardenix.exe"; }
  std::optional<DateTimeParts> file_date(UStringView path) override {
    const auto it = file_dates.find(UString(path));
    if (it == file_dates.end()) return std::nullopt;
    return it->second;
  }
  std::optional<UString> executable_version() override { return version; }
  FormatSettings format_settings() override { return formats; }

  UString directory = u"C:\\W\\";
  std::map<UString, DateTimeParts> file_dates = {
      {u"C:\\W\\varudedizerazidad.exe", {2015, 9, 30, 16, 11, 8, 0}}};
  std::optional<UString> version = u"7.5.14.1";
  FormatSettings formats;
};

struct FormFixture : ::testing::Test {
  VirtualClock clock;  // virtual time 0 is 2026-01-01 00:00:00
  EventLoop loop{clock};
  Application app{loop};
  StandInOps ops;
  StandInHost host;
  std::vector<UString> error_boxes;
  std::unique_ptr<TfrmPrincipal> form;

  void start() {
    app.on_error_box = [this](const UString&, const UString& message) {
      error_boxes.push_back(message);
    };
    form = create_main_window(app, {loop, app, ops, host});
  }

  void TearDown() override {
    if (form) form->quitting().request_stop();
    clock.wait_for_threads(kNoDeadline);
  }

  std::vector<std::string> log() const {
    std::vector<std::string> lines;
    for (const auto& line : form->mmLog.Lines()) lines.push_back(to_utf8(line));
    return lines;
  }
};

}  // namespace wardenix::testing
