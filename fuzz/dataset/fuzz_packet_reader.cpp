// The data packet reader on arbitrary bytes, binary and XML: whatever it
// accepts must read back, nothing may be read outside the packet, and the
// bytes after a packet's extent must not change how it reads.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "dataset/data_store.h"
#include "dataset/field_defs.h"
#include "dataset/option_value.h"

namespace {

std::size_t touch(const wardenix::RowView& row) {
  std::size_t sum = row.row_state();
  row.visit([&](const wardenix::RowValue& value) {
    for (const auto b : value.bytes) sum += b;
    for (const auto& nested : value.nested_rows) sum += touch(nested);
  });
  return sum;
}

std::int32_t load(const std::uint8_t* data, std::size_t size) {
  wardenix::DataStore store;
  // A buffer of exactly the input's size, as the dataset passes packets on.
  return store.AppendPacket(wardenix::Variant::from_bytes(std::vector<std::uint8_t>(data, data + size)), true);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace wardenix;
  if (const auto extent = packet_extent(std::span(data, size))) {
    if (*extent > size || load(data, *extent) != load(data, size)) std::abort();
  }
  DataStore store;
  if (store.AppendPacket(Variant::from_bytes(std::vector<std::uint8_t>(data, data + size)), false) != 0) {
    return 0;
  }
  // The same bytes once more, as a further packet of a partial store.
  store.AppendPacket(Variant::from_bytes(std::vector<std::uint8_t>(data, data + size)), true);
  std::size_t sum = 0;
  store.ForEachRow([&](const RowView& row) { sum += touch(row); });
  if (store.RowCount() > 0) sum += touch(store.Row(store.RowCount() - 1));
  volatile std::size_t sink = sum;
  (void)sink;
  (void)BuildFieldDefs(store.Table());
  for (const auto& option : store.Table().options) (void)OptionToVariant(option);
  (void)store.SavePacket();
  return 0;
}
