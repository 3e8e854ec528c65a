// The probe's deadline against a host whose lookup never answers: the
// deadline ends the wait for the lookup as it ends a hanging connect, and the
// probe reports the connect ended.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <optional>

#include "app/inspect/probe_run.h"
#include "datasnap/datasnap_driver.h"
#include "tests/wire/standin_resolver.h"
#include "wire/tcp_socket.h"

namespace wardenix {
namespace {

TEST(ProbeDeadline, EndsTheWaitForAHostLookupThatNeverAnswers) {
  testing::StandInResolver resolver;
  std::optional<testing::ScopedTcpLookup> hanging_lookups(std::in_place, resolver.lookup());
  ProbeSettings settings;
  settings.host = "server.invalid";
  settings.port = 3063;
  settings.deadline_ms = 200;
  auto probe = std::async(std::launch::async,
                          [&] { return run_probe(settings, default_driver_registry()); });
  const bool ended = probe.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  hanging_lookups.reset();
  resolver.release();  // the lookup answers late; a probe still waiting for it ends too
  ASSERT_TRUE(ended) << "the deadline did not end the wait for the lookup";
  const ProbeReport report = probe.get();
  EXPECT_TRUE(report.deadline_passed);
  EXPECT_EQ(report.status, ProbeStatus::Critical);
  EXPECT_EQ(report.failed_step, ProbeStep::TcpConnect);
  ASSERT_TRUE(report.error);
  EXPECT_EQ(report.error->class_name, "ESocketError");
  EXPECT_EQ(report.error->message, testing::aborted_connect_error());
}

}  // namespace
}  // namespace wardenix
