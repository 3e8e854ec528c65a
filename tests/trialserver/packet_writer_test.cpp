// The trial server's data packets, read back by the client's data store.
#include <gtest/gtest.h>

#include "dataset/data_store.h"
#include "runtime/variant.h"
#include "trialserver/packet_writer.h"
#include "trialserver/versao_table.h"

namespace wardenix::trial {
namespace {

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 4; i-- > 0;) value = (value << 8) | b[at + i];
  return value;
}

std::uint32_t le16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8);
}

TEST(DataPacketWriter, WritesTheHeaderAndRowsTheStoreReadsBack) {
  DataPacketWriter writer({{"N", ColumnKind::Int32, 0, true},
                           {"T", ColumnKind::Text, 8},
                           {"B", ColumnKind::Boolean},
                           {"D", ColumnKind::Double},
                           {"E", ColumnKind::Int32}});
  ASSERT_TRUE(writer.AddRow({-7, std::string("abc"), true, 2.5, 9}));
  ASSERT_TRUE(writer.AddRow({1, std::monostate{}, false, std::monostate{}, std::monostate{}}));
  const std::vector<std::uint8_t> packet = writer.Finish();

  EXPECT_EQ(le32(packet, 0), 0xBDE01996u);
  EXPECT_EQ(le32(packet, 8), 24u);                   // header size
  EXPECT_EQ(le16(packet, 12), 5u);                   // columns
  EXPECT_EQ(le32(packet, 14), 2u);                   // rows
  EXPECT_EQ(le32(packet, 18), 0x3u);                 // metadata, row offset
  const std::size_t row_offset = le16(packet, 22);
  // Five columns take two status bytes; blank positions 1, 3 and 4 of the
  // second row.
  const std::size_t second = packet.size() - (1 + 2 + 4 + 2);
  EXPECT_EQ(packet[second + 1], 0x1 << 2 | 0x1 << 6);
  EXPECT_EQ(packet[second + 2], 0x1);

  DataStore store;
  ASSERT_EQ(store.AppendPacket(Variant::from_bytes(packet), true), 0);
  ASSERT_EQ(store.RowCount(), 2u);
  EXPECT_EQ(store.Row(0).end_offset(), second);
  EXPECT_LT(row_offset, second);
  const auto first = store.Row(0).values();
  EXPECT_EQ(le32({first[0].bytes.begin(), first[0].bytes.end()}, 0), 0xFFFFFFF9u);
  EXPECT_EQ(std::string(first[1].bytes.begin(), first[1].bytes.end()), "abc");
  EXPECT_EQ(store.Table().columns[1].width, 8);
  EXPECT_EQ(store.Table().columns[0].attributes, 0x4);
  const auto blanks = store.Row(1).values();
  EXPECT_EQ(blanks[1].state, SlotState::Blank);
  EXPECT_EQ(blanks[2].state, SlotState::Value);
  EXPECT_EQ(blanks[4].state, SlotState::Blank);
}

TEST(DataPacketWriter, RefusesRowsThatDoNotFitTheColumns) {
  DataPacketWriter writer({{"N", ColumnKind::Int32}, {"T", ColumnKind::Text}});
  EXPECT_FALSE(writer.AddRow({1}));
  EXPECT_FALSE(writer.AddRow({std::string("x"), std::string("y")}));
  EXPECT_FALSE(writer.AddRow({1, std::string(256, 'x')}));
  EXPECT_TRUE(writer.AddRow({1, std::string(255, 'x')}));
  DataStore store;
  ASSERT_EQ(store.AppendPacket(Variant::from_bytes(writer.Finish()), true), 0);
  EXPECT_EQ(store.RowCount(), 1u);
}

TEST(VersaoTable, HoldsTheAskedRowsWithTheLastOneCurrent) {
  for (const std::uint32_t rows : {0u, 1u, 3u, 2500u}) {
    SCOPED_TRACE(rows);
    DataStore store;
    ASSERT_EQ(store.AppendPacket(Variant::from_bytes(versao_packet(rows)), true), 0);
    ASSERT_EQ(store.RowCount(), rows);
    ASSERT_EQ(store.Table().columns.size(), std::size(kVersaoColumns));
    for (std::size_t i = 0; i < std::size(kVersaoColumns); ++i) {
      EXPECT_EQ(store.Table().columns[i].name, kVersaoColumns[i]);
    }
    if (rows == 0) continue;
    const auto last = store.Row(rows - 1).values();
    EXPECT_EQ(last[3].bytes[0], 1);
    if (rows > 1) {
      EXPECT_EQ(store.Row(rows - 2).values()[3].bytes[0], 0);
    }
  }
}

}  // namespace
}  // namespace wardenix::trial
