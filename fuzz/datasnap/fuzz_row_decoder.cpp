// The row decoder over arbitrary row bytes: every typed read at every
// ordinal, skipping by headers and stepping from row to row, with a blob
// request that delivers a few chunks.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "runtime/errors.h"
#include "wire/row_buffer.h"

using namespace wardenix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::int32_t columns = data[0] % 16 + 1;
  const std::uint8_t kinds = data[1];
  TDBXRowBuffer row(4096, true, (kinds & 0x80) != 0);
  row.LoadRow(std::span(data + 2, size - 2));
  row.SetColumnCount(columns);
  int chunks = 0;
  row.SetBlobRequest([&](const BlobKey&, std::vector<std::uint8_t>& into) {
    into.insert(into.end(), static_cast<std::size_t>(chunks % 5), 0xFF);
    return ++chunks % 4 != 0;
  });
  for (int r = 0; r < 512; ++r) {
    for (std::int32_t ordinal = columns - 1; ordinal >= 0; --ordinal) {
      try {
        if (row.GetNull(ordinal)) continue;
        switch ((kinds + ordinal) % 12) {
          case 0: row.ReadBoolean(ordinal); break;
          case 1: row.ReadInt32(ordinal); break;
          case 2: row.ReadInt64(ordinal); break;
          case 3: row.ReadDouble(ordinal); break;
          case 4: row.ReadSingle(ordinal); break;
          case 5: row.ReadString(ordinal); break;
          case 6: {
            auto bytes = row.ReadBytes(ordinal);
            if (bytes) ReadAll(*bytes);
            break;
          }
          case 7: row.ReadTimestamp(ordinal); break;
          case 8: row.ReadJson(ordinal); break;
          case 9: row.ReadBcdBinary(ordinal); break;
          case 10: {
            int y = 0, m = 0, d = 0;
            row.ReadDate(ordinal, y, m, d);
            break;
          }
          default: row.ReadTime(ordinal); break;
        }
      } catch (const Exception&) {
      }
    }
    try {
      if (!row.NextRow()) break;
    } catch (const Exception&) {
      break;
    }
  }
  return 0;
}
