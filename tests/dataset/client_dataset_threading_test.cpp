// Another thread reads whether the dataset is open while the owning thread
// opens and closes it.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "dataset/client_dataset.h"
#include "tests/dataset/packet_writer.h"

namespace wardenix {
namespace {

using namespace test;

TEST(ClientDataSetThreads, ActiveIsReadableFromAnotherThread) {
  PacketWriter w(TableSpec{{column("A", 1, 4)}, {}});
  w.begin_row(1).value(le(1, 4)).end_row();
  const Variant packet = Variant::from_bytes(w.finish());
  TClientDataSet cds;
  std::atomic<bool> done{false};
  std::atomic<int> seen_open{0};
  std::thread watcher([&] {
    while (!done.load()) {
      if (cds.Active()) seen_open.fetch_add(1);
    }
  });
  for (int i = 0; i < 200; ++i) {
    cds.SetData(packet);
    cds.Close();
  }
  cds.SetData(packet);
  done.store(true);
  watcher.join();
  EXPECT_TRUE(cds.Active());
}

}  // namespace
}  // namespace wardenix
