#pragma once
// A process list of the test run's own, for the test programs that start,
// find or end DAZEVAVIZ.EXE processes (the product's forced termination ends
// every process of that name it can see).
//
// On Linux, such a program's main (private_processes_main.cpp, linked by
// wardenix_test(... PRIVATE_PROCESSES)) first calls enter_private_processes:
// the test run then goes on as process 2 of a PID namespace of its own, under
// an init (process 1) that reaps every orphan, with a mount namespace holding
// a /proc of that PID namespace and a network namespace with its own loopback,
// so ports are private too. Without root, a user namespace maps the user onto
// itself first. When process 1 exits, after the run, the kernel kills whatever
// is left in the namespace: nothing the tests start outlives them, and nothing
// outside is seen or touched. Listing the tests (--gtest_list_tests) needs no
// namespace and gets none.
//
// Where the system refuses the namespaces, the run goes on in the machine's
// process list and private_processes_unavailable() says why; the tests that
// find or end processes by name skip then (WARDENIX_REQUIRE_PRIVATE_PROCESSES).
// WARDENIX_PRIVATE_PROCESSES=0 in the environment asks for no namespace (for
// a debugger, say), with the same effect.
//
// On Windows, nothing changes: under Wine each test program runs in a prefix,
// and with it a process list, of its own (scripts/wine-run.sh).
#include <string>

namespace wardenix::testing {

// Called first in main, before GoogleTest sees the arguments. Returns in the
// process that runs the tests; every other process it creates ends with the
// run and exits with the run's status.
void enter_private_processes(int argc, char** argv);

// Empty when this process's view of processes (and ports) is the test run's
// own; else the reason it is not.
const std::string& private_processes_unavailable();

}  // namespace wardenix::testing

// In a test or its fixture's SetUp: skips the test unless the processes it
// sees are the run's own. (A fixture's TearDown runs after such a skip too.)
#define WARDENIX_REQUIRE_PRIVATE_PROCESSES()                                                  \
  do {                                                                                        \
    const std::string& wardenix_why = ::wardenix::testing::private_processes_unavailable(); \
    if (!wardenix_why.empty()) GTEST_SKIP() << wardenix_why;                                  \
  } while (false)
