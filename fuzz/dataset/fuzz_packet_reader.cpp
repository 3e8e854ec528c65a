// The data packet reader on arbitrary bytes, binary and XML: whatever it
// accepts must read back, and nothing may be read outside the packet.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "dataset/data_store.h"
#include "dataset/field_defs.h"
#include "dataset/option_value.h"

namespace {

std::size_t touch(const std::vector<wardenix::RowView>& rows) {
  std::size_t sum = 0;
  for (const auto& row : rows) {
    sum += row.row_state();
    for (const auto& value : row.values()) {
      for (const auto b : value.bytes) sum += b;
      sum += touch(value.nested_rows);
    }
  }
  return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace wardenix;
  // A buffer of exactly the input's size, as the dataset passes packets on.
  DataStore store;
  if (store.AppendPacket(Variant::from_bytes(std::vector<std::uint8_t>(data, data + size)), false) != 0) {
    return 0;
  }
  // The same bytes once more, as a further packet of a partial store.
  store.AppendPacket(Variant::from_bytes(std::vector<std::uint8_t>(data, data + size)), true);
  std::vector<RowView> rows;
  for (std::size_t i = 0; i < store.RowCount(); ++i) rows.push_back(store.Row(i));
  volatile std::size_t sink = touch(rows);
  (void)sink;
  (void)BuildFieldDefs(store.Table());
  for (const auto& option : store.Table().options) (void)OptionToVariant(option);
  (void)store.SavePacket();
  return 0;
}
