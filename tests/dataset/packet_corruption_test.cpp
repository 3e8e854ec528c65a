// Packets cut short or with counts, lengths and offsets pointing past their
// end are rejected without reading outside the packet (run under
// AddressSanitizer: each packet sits in a buffer of exactly its size).
#include <gtest/gtest.h>

#include "dataset/data_store.h"
#include "dataset/store_messages.h"
#include "tests/dataset/packet_writer.h"
#include "tests/dataset/store_test_support.h"

namespace wardenix {
namespace {

using namespace test;
using namespace store_status;

// A packet with every kind of count the format has.
PacketWriter rich_packet() {
  ColumnSpec name = column("NAME", 9, 2, kVarying);
  name.options = {int_option("WIDTH", 40), text_option("SUBTYPE", "Text")};
  TableSpec table{
      {column("ID", 1, 4), name, column("CODE", 9, 6),
       struct_column("POINT", {column("X", 4, 8), column("Y", 4, 8)}),
       array_column("PAIR", 2, column("P", 1, 2)), column("BLOB", 11, 4, kVarying),
       nested_column("LINES", {column("QTY", 1, 2), column("NOTE", 10, 1, kVarying)},
                     {int_option("LCID", 1033)}),
       column("OK", 3, 2)},
      {bool_option("DISABLE_EDITS", true),
       {"LIST", type_word(2, 1, kArrayBit), Bytes{2, 0, 0, 0, 7, 9}}}};
  const std::size_t positions = positions_of(table.columns);
  PacketWriter w(table);
  for (int r = 0; r < 3; ++r) {
    w.begin_row(positions).value(le(static_cast<std::uint64_t>(r), 4)).varying(2, "name");
    w.value(bytes_of("ABCDEF")).empty().value(f64(1.5)).value(f64(-2));
    w.empty().value(le(1, 2)).blank().varying(4, Bytes{1, 2, 3}).nested(2);
    w.begin_row(2).value(le(3, 2)).varying(1, utf16le(u"ok")).end_row();
    w.begin_row(2).blank().varying(1, Bytes{}).end_row();
    w.value(le(0xFFFF, 2)).end_row();
  }
  return w;
}

TEST(PacketCorruption, TheUncutPacketIsAccepted) {
  DataStore store;
  ASSERT_EQ(append(store, rich_packet().finish()), kOk);
  EXPECT_EQ(store.RowCount(), 3u);
}

TEST(PacketCorruption, EveryCutIsAMismatch) {
  const Bytes packet = rich_packet().finish();
  for (std::size_t n = 0; n < packet.size(); ++n) {
    EXPECT_EQ(load_status(Bytes(packet.begin(), packet.begin() + static_cast<std::ptrdiff_t>(n))),
              kMismatch)
        << "cut at " << n;
  }
}

TEST(PacketCorruption, CountsAndLengthsPastTheEndAreRejected) {
  PacketWriter writer = rich_packet();
  const auto fields = writer.count_fields();
  const Bytes packet = writer.finish();
  for (const auto& field : fields) {
    if (field.what == "row offset") continue;  // not read in a first packet
    const std::size_t after = packet.size() - field.offset - field.width;
    const std::uint64_t max = field.width >= 8 ? ~0ull : (1ull << (8 * field.width)) - 1;
    for (const std::uint64_t value : {std::uint64_t{after} + 1, max}) {
      if (value > max) continue;
      Bytes bad = packet;
      const Bytes patch = le(value, field.width);
      std::copy(patch.begin(), patch.end(), bad.begin() + static_cast<std::ptrdiff_t>(field.offset));
      const auto status = load_status(bad);
      if (value == std::uint64_t{after} + 1) {
        EXPECT_NE(status, kOk) << field.what << " at " << field.offset;
      }
    }
  }
}

TEST(PacketCorruption, RowOffsetOfAFurtherPacketPastTheEnd) {
  DataStore store;
  ASSERT_EQ(append(store, PacketWriter(TableSpec{{column("A", 1, 4)}, {}}).finish(), false), kOk);
  HeaderSpec h;
  h.fill_row_offset = true;
  PacketWriter w(TableSpec{{column("A", 1, 4)}, {}}, h);
  w.begin_row(1).value(le(1, 4)).end_row();
  Bytes packet = w.finish();
  for (const std::uint16_t offset : {std::uint16_t(packet.size()), std::uint16_t(0xFFFF), std::uint16_t(3)}) {
    packet[22] = static_cast<std::uint8_t>(offset);
    packet[23] = static_cast<std::uint8_t>(offset >> 8);
    EXPECT_EQ(append(store, packet, false), kMismatch) << offset;
  }
  EXPECT_EQ(store.RowCount(), 0u);
}

}  // namespace
}  // namespace wardenix
