// The console's watch for requests to end: each request reaches the program
// while the watch lives, none reaches it afterwards, and on Windows the
// events after which the system ends the process are held until the orderly
// quit has run.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "app/console/interrupts.h"
#include "tests/trialserver/harness/trial_harness.h"

#ifdef _WIN32
#include <windows.h>

#include "app/console/console_events_win.h"
#else
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace wardenix {
namespace {

using namespace std::chrono_literals;

#ifndef _WIN32
// Exit codes of the child process that holds the watch.
constexpr int kBroken = 90;    // the test's own setup failed
constexpr int kOutlived = 91;  // a request after the watch's end did not end it

// Runs in a child process of its own, since the watch changes the process's
// signal handling and the last request ends the process.
TEST(InterruptWatch, HandsEachRequestOnWhileItLivesAndLetsALateOneEndTheProgram) {
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal_number);
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
      int calls[2];
      if (::pipe(calls) != 0) ::_exit(kBroken);
      {
        // What the handler touches goes right after the watch, as the
        // console's window does at the end of main.
        const auto window = std::make_unique<int>(0);
        const InterruptWatch watch([&] {
          ++*window;
          if (::write(calls[1], "c", 1) != 1) ::_exit(kBroken);
        });
        // A second request while the program quits is handed on as well.
        for (int i = 0; i < 2; ++i) {
          ::kill(::getpid(), signal_number);
          char call = 0;
          if (::read(calls[0], &call, 1) != 1) ::_exit(kBroken);
        }
      }
      // A request to a process with the signal unblocked is taken before
      // kill returns.
      ::kill(::getpid(), signal_number);
      ::_exit(kOutlived);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    const bool ended = testing::wait_until(
        [&] { return ::waitpid(child, &status, WNOHANG) == child; }, 30s);
    if (!ended) {
      ::kill(child, SIGKILL);
      ::waitpid(child, nullptr, 0);
    }
    ASSERT_TRUE(ended) << "a request while the watch lived was not handed on";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number)
        << (WIFEXITED(status) ? "exited with " + std::to_string(WEXITSTATUS(status))
                              : "ended by signal " + std::to_string(WTERMSIG(status)));
  }
}
#else
// No tool sends a close, logoff or shutdown event to a console program of
// the test's (Wine's included): the handler is called as the system calls it,
// on a thread of its own.
TEST(InterruptWatch, HandsConsoleEventsOnAndHoldsThoseThatEndTheProcessUntilItIsLetGo) {
  const struct {
    const char* name;
    DWORD event;
    bool held;
  } events[] = {
      {"Ctrl+C", CTRL_C_EVENT, false},        {"Ctrl+Break", CTRL_BREAK_EVENT, false},
      {"close", CTRL_CLOSE_EVENT, true},      {"logoff", CTRL_LOGOFF_EVENT, true},
      {"shutdown", CTRL_SHUTDOWN_EVENT, true},
  };
  for (const auto& e : events) {
    SCOPED_TRACE(e.name);
    std::atomic<int> calls{0};
    std::atomic<bool> returned{false};
    BOOL handled = FALSE;
    std::thread system_thread;
    bool called = false;
    bool returned_before_the_end = false;
    {
      const InterruptWatch watch([&] { ++calls; });
      system_thread = std::thread([&] {
        handled = on_console_event(e.event);
        returned = true;
      });
      called = testing::wait_until([&] { return calls == 1; }, 30s);
      // The system would end the process on the return, before the quit.
      returned_before_the_end =
          testing::wait_until([&] { return returned.load(); }, e.held ? 500ms : 30s);
    }
    system_thread.join();
    EXPECT_TRUE(called);
    EXPECT_EQ(returned_before_the_end, !e.held);
    EXPECT_TRUE(handled);
    EXPECT_EQ(calls, 1);
  }
  // Without a watch, the event goes on to the system's own handler.
  EXPECT_FALSE(on_console_event(CTRL_CLOSE_EVENT));
}
#endif

}  // namespace
}  // namespace wardenix
