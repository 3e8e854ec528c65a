// main of the test programs that start, find or end DAZEVAVIZ.EXE processes:
// GoogleTest's own, run in a process list of its own (private_processes.h).
#include <gtest/gtest.h>

#include "tests/trialserver/harness/private_processes.h"

int main(int argc, char** argv) {
  wardenix::testing::enter_private_processes(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
