// The binary packet as the store reads it: type codes, layout, metadata
// rules and rejections.
#include <gtest/gtest.h>

#include <algorithm>

#include "dataset/data_store.h"
#include "dataset/packet_budget.h"
#include "dataset/packet_reader.h"
#include "dataset/packet_values.h"
#include "dataset/store_messages.h"
#include "tests/dataset/packet_writer.h"
#include "tests/dataset/store_test_support.h"

namespace wardenix {
namespace {

using namespace test;
using namespace store_status;

const Bytes kSentinel = le(0x12345678, 4);

// One column of the type under test followed by a 4-byte sentinel column: the
// sentinel reads back right only if the value took the bytes it should.
Bytes single_value_packet(std::uint32_t word, const Bytes& value) {
  TableSpec table;
  ColumnSpec c;
  c.name = "V";
  c.type_word = word;
  table.columns = {c, column("S", 1, 4)};
  PacketWriter w(table);
  w.begin_row(2).value(value).value(kSentinel).end_row();
  return w.finish();
}

struct TypeCase {
  std::uint32_t code;
  std::uint32_t size;
  std::uint32_t flags;
  bool accepted;
  std::size_t row_bytes;  // bytes a value occupies in a row, prefix included
};

class TypeCodes : public ::testing::TestWithParam<TypeCase> {};

TEST_P(TypeCodes, AcceptTheirSizesAndTakeTheirBytes) {
  const TypeCase& t = GetParam();
  const std::uint32_t word = type_word(t.code, t.size, t.flags);
  Bytes value;
  if (t.flags & kVarying) {
    value = prefixed(t.size, "abc");
  } else {
    for (std::size_t i = 0; i < t.row_bytes; ++i) value.push_back(static_cast<std::uint8_t>(0xA0 + i));
  }
  DataStore store;
  const auto status = append(store, single_value_packet(word, value));
  if (!t.accepted) {
    EXPECT_EQ(status, kInvalidFieldType);
    return;
  }
  ASSERT_EQ(status, kOk);
  ASSERT_EQ(store.RowCount(), 1u);
  const auto values = store.Row(0).values();
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(values[0].state, SlotState::Value);
  const Bytes expected = (t.flags & kVarying) ? bytes_of("abc") : value;
  EXPECT_EQ(bytes_of(values[0].bytes), expected);
  EXPECT_EQ(bytes_of(values[1].bytes), kSentinel);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TypeCodes,
    ::testing::Values(
        TypeCase{1, 1, 0, true, 1}, TypeCase{1, 2, 0, true, 2}, TypeCase{1, 4, 0, true, 4},
        TypeCase{1, 8, 0, true, 8}, TypeCase{1, 3, 0, false, 0}, TypeCase{1, 16, 0, false, 0},
        TypeCase{2, 1, 0, true, 1}, TypeCase{2, 2, 0, true, 2}, TypeCase{2, 4, 0, true, 4},
        TypeCase{2, 8, 0, true, 8}, TypeCase{2, 0, 0, false, 0},
        TypeCase{3, 1, 0, true, 1}, TypeCase{3, 2, 0, true, 2}, TypeCase{3, 4, 0, true, 4},
        TypeCase{3, 8, 0, false, 0},
        TypeCase{4, 8, 0, true, 8}, TypeCase{4, 10, 0, true, 10}, TypeCase{4, 4, 0, false, 0},
        TypeCase{5, 0, 0, true, 18}, TypeCase{5, 0x2004, 0, true, 18},
        TypeCase{6, 4, 0, true, 4}, TypeCase{6, 8, 0, false, 0},
        TypeCase{7, 4, 0, true, 4}, TypeCase{7, 2, 0, false, 0},
        TypeCase{8, 8, 0, true, 8}, TypeCase{8, 4, 0, false, 0},
        TypeCase{9, 20, 0, true, 20}, TypeCase{9, 1, kVarying, true, 0},
        TypeCase{9, 2, kVarying, true, 0}, TypeCase{9, 4, kVarying, true, 0},
        TypeCase{9, 3, kVarying, false, 0}, TypeCase{9, 8, kVarying, false, 0},
        TypeCase{10, 12, 0, true, 12}, TypeCase{10, 2, kVarying, true, 0},
        TypeCase{10, 0, kVarying, false, 0},
        TypeCase{11, 5, 0, true, 5}, TypeCase{11, 4, kVarying, true, 0},
        TypeCase{11, 6, kVarying, false, 0},
        TypeCase{16, 7, 0, true, 7}, TypeCase{16, 1, kVarying, true, 0},
        TypeCase{17, 16, 0, true, 16}, TypeCase{17, 8, 0, false, 0},
        TypeCase{18, 0x1202, 0, true, 18},
        TypeCase{27, 4, 0, true, 8}, TypeCase{27, 8, 0, false, 0},
        TypeCase{36, 20, 0, true, 20}, TypeCase{36, 16, 0, false, 0},
        TypeCase{40, 3, 0, true, 3}, TypeCase{40, 2, kVarying, true, 0},
        TypeCase{8, 8, kVarying, false, 0},                 // a prefix of 8 bytes
        TypeCase{9, 4, kVarying | kArrayBit, false, 0},    // varying and array together
        TypeCase{1, 4, kArrayBit, false, 0},               // array bit in a column's type word
        TypeCase{12, 0, kVarying, false, 0}, TypeCase{14, 0, kVarying, false, 0}));

std::vector<RowValue> only_row(DataStore& store) {
  EXPECT_EQ(store.RowCount(), 1u);
  return store.RowCount() ? store.Row(0).values() : std::vector<RowValue>{};
}

TEST(PacketHeader, SignaturesAndVersions) {
  const auto packet = [](std::uint32_t signature, std::uint16_t v1, std::uint16_t v2) {
    HeaderSpec h;
    h.signature = signature;
    h.version1 = v1;
    h.version2 = v2;
    PacketWriter w(TableSpec{{column("A", 1, 4)}, {}}, h);
    return w.finish();
  };
  EXPECT_EQ(load_status(packet(0xBDE01996u, 3, 3)), kOk);
  EXPECT_EQ(load_status(packet(0xBDE01996u, 4, 0)), kMismatch);
  EXPECT_EQ(load_status(packet(0xBDE01996u, 0, 4)), kMismatch);
  EXPECT_EQ(load_status(packet(0xABCDu, 9, 77)), kOk);
  EXPECT_EQ(load_status(packet(0x12345678u, 1, 0)), kMismatch);
}

TEST(PacketHeader, RejectsWhatTheHeaderRules) {
  HeaderSpec no_metadata;
  no_metadata.flags = 0;
  EXPECT_EQ(load_status(PacketWriter(TableSpec{{column("A", 1, 4)}, {}}, no_metadata).finish()),
            kNoMetadata);
  HeaderSpec no_columns;
  no_columns.column_count = 0;
  EXPECT_EQ(load_status(PacketWriter(TableSpec{{column("A", 1, 4)}, {}}, no_columns).finish()),
            kMismatch);
  Bytes short_packet = PacketWriter(TableSpec{{column("A", 1, 4)}, {}}).finish();
  short_packet.resize(22);
  EXPECT_EQ(load_status(short_packet), kMismatch);
  DataStore store;
  EXPECT_EQ(store.AppendPacket(Variant::Null(), true), kNotApplicable);
  EXPECT_EQ(store.AppendPacket(Variant(), true), kNotApplicable);
  EXPECT_EQ(store.AppendPacket(Variant::from_elements({Variant::from_int32(1)}), true), kMismatch);
}

TEST(PacketColumns, LongNamesAreCutAndReadingGoesOn) {
  const std::string long_name(40, 'N');
  DataStore store;
  ASSERT_EQ(append(store, single_value_packet(type_word(1, 4), le(7, 4))), kOk);
  TableSpec table{{column(long_name, 1, 4), column("S", 1, 4)}, {}};
  PacketWriter w(table);
  w.begin_row(2).value(le(7, 4)).value(kSentinel).end_row();
  DataStore cut;
  ASSERT_EQ(append(cut, w.finish()), kOk);
  EXPECT_EQ(cut.Table().columns[0].name, std::string(31, 'N'));
  EXPECT_EQ(cut.Table().columns[1].name, "S");
  EXPECT_EQ(bytes_of(only_row(cut)[1].bytes), kSentinel);
}

TEST(PacketColumns, MetadataRejections) {
  ColumnSpec unnamed = column("", 1, 4);
  EXPECT_EQ(load_status(PacketWriter(TableSpec{{unnamed}, {}}).finish()), kFieldNameNull);

  ColumnSpec subtype_number = column("A", 9, 10);
  subtype_number.options.push_back(int_option("SUBTYPE", 3));
  EXPECT_EQ(load_status(PacketWriter(TableSpec{{subtype_number}, {}}).finish()), kInvalidParameter);

  ColumnSpec bad_option = column("A", 1, 4);
  bad_option.options.push_back({"X", type_word(1, 3), le(0, 3)});
  EXPECT_EQ(load_status(PacketWriter(TableSpec{{bad_option}, {}}).finish()), kInvalidFieldType);
}

TEST(PacketColumns, KnownOptionsTakeEffect) {
  ColumnSpec autoinc = column("ID", 1, 4);
  autoinc.attributes = 0x4;
  autoinc.options = {text_option("subtype", "AUTOINC"), int_option("WIDTH", 12),
                     int_option("DECIMALS", 2), int_option("CALCULATED", 1),
                     text_option("FIELDNAME", "the full name")};
  ColumnSpec other = column("T", 9, 4, kVarying);
  other.options = {text_option("SUBTYPE", "NotAKnownOne")};
  DataStore store;
  ASSERT_EQ(append(store, PacketWriter(TableSpec{{autoinc, other}, {}}).finish()), kOk);
  const auto& c = store.Table().columns[0];
  EXPECT_EQ(c.attributes, 0x4 | column_attribute::kReadOnly);
  EXPECT_EQ(c.subtype, "AUTOINC");
  EXPECT_EQ(c.width, 12);
  EXPECT_EQ(c.decimals, 2);
  EXPECT_TRUE(c.calculated);
  EXPECT_EQ(c.full_name, "the full name");
  EXPECT_EQ(store.Table().columns[1].subtype, "");
  EXPECT_EQ(store.Table().columns[1].options.size(), 1u);  // kept as a plain option
}

// Nested tables `levels` deep, counting the top-level table.
TableSpec nested_levels(int levels) {
  ColumnSpec inner = column("LEAF", 1, 4);
  for (int i = 1; i < levels; ++i) inner = nested_column(numbered("N", static_cast<std::size_t>(i)), {inner});
  return TableSpec{{inner}, {}};
}

TEST(PacketLevels, SixtyThreeLevelsAndNoMore) {
  EXPECT_EQ(load_status(PacketWriter(nested_levels(63)).finish()), kOk);
  EXPECT_EQ(load_status(PacketWriter(nested_levels(64)).finish()), kNotApplicable);
}

TEST(PacketLevels, NestedTableAsLastColumnReadsItsOptionsFirst) {
  TableSpec table{{column("ID", 1, 4), nested_column("LINES", {column("QTY", 1, 2)},
                                                      {int_option("INNER", 5)})},
                  {bool_option("NO_RESET_CALL", true)}};
  PacketWriter w(table);
  w.begin_row(2).value(le(1, 4)).nested(2);
  w.begin_row(1).value(le(10, 2)).end_row();
  w.begin_row(1).blank().end_row();
  w.end_row();
  DataStore store;
  ASSERT_EQ(append(store, w.finish()), kOk);
  ASSERT_NE(store.GetOption("no_reset_call"), nullptr);
  EXPECT_EQ(store.GetOption("INNER"), nullptr);
  const PacketTable* nested = store.Table().columns[1].nested.get();
  ASSERT_NE(nested, nullptr);
  ASSERT_NE(nested->find_option("inner"), nullptr);
  const auto values = only_row(store);
  ASSERT_EQ(values[1].nested_rows.size(), 2u);
  EXPECT_EQ(bytes_of(values[1].nested_rows[0].values()[0].bytes), le(10, 2));
  EXPECT_EQ(values[1].nested_rows[1].values()[0].state, SlotState::Blank);
}

TEST(PacketRows, StatusBitsAndValueBytes) {
  // Five columns need two status bytes, four need one.
  for (const std::size_t n : {4u, 5u}) {
    TableSpec table;
    for (std::size_t i = 0; i < n; ++i) table.columns.push_back(column(numbered("C", static_cast<std::size_t>(i)), 1, 1));
    PacketWriter w(table);
    w.begin_row(n).blank();
    for (std::size_t i = 1; i + 1 < n; ++i) w.value(le(i, 1));
    w.unchanged().end_row();
    Bytes packet = w.finish();
    const std::size_t status_bytes = (n + 3) / 4;
    const std::size_t row_at = packet.size() - 1 - status_bytes - (n - 2);
    EXPECT_EQ(packet[row_at + 1] & 0x03, 0x01);  // column 0 blank: bit 0x1 of the second byte
    DataStore store;
    ASSERT_EQ(append(store, packet), kOk);
    const auto values = only_row(store);
    ASSERT_EQ(values.size(), n);
    EXPECT_EQ(values[0].state, SlotState::Blank);
    EXPECT_TRUE(values[0].bytes.empty());
    EXPECT_EQ(bytes_of(values[1].bytes), le(1, 1));  // right after the status bytes
    EXPECT_EQ(values[n - 1].state, SlotState::Unchanged);
  }
}

TEST(PacketRows, StructuredAndArrayColumnsExpandTheirPositions) {
  TableSpec table{{struct_column("ADDR", {column("STREET", 9, 2, kVarying), column("NO", 1, 2)}),
                   array_column("SCORES", 3, column("SCORE", 1, 1)), column("LAST", 1, 4)},
                  {}};
  ASSERT_EQ(positions_of(table.columns), 8u);
  PacketWriter w(table);
  w.begin_row(8).empty().varying(2, "Main").value(le(5, 2));
  w.empty().value(le(1, 1)).blank().value(le(3, 1)).value(kSentinel).end_row();
  DataStore store;
  ASSERT_EQ(append(store, w.finish()), kOk);
  EXPECT_EQ(store.Table().columns.size(), 6u);
  const auto values = only_row(store);
  ASSERT_EQ(values.size(), 8u);
  EXPECT_EQ(values[0].state, SlotState::Empty);
  EXPECT_EQ(bytes_of(values[1].bytes), bytes_of("Main"));
  EXPECT_EQ(values[3].state, SlotState::Empty);
  EXPECT_EQ(values[4].column, 4u);
  EXPECT_EQ(values[6].column, 4u);  // the element descriptor, repeated
  EXPECT_EQ(values[5].state, SlotState::Blank);
  EXPECT_EQ(bytes_of(values[6].bytes), le(3, 1));
  EXPECT_EQ(bytes_of(values[7].bytes), kSentinel);
}

TEST(PacketRows, NegativeLengthsAndCountsAreZero) {
  TableSpec table{{column("T", 9, 4, kVarying), nested_column("N", {column("X", 1, 1)}),
                   column("S", 1, 4)},
                  {}};
  PacketWriter w(table);
  w.begin_row(3).value(le(0xFFFFFFF0u, 4)).nested(-3).value(kSentinel).end_row();
  DataStore store;
  ASSERT_EQ(append(store, w.finish()), kOk);
  const auto values = only_row(store);
  EXPECT_EQ(values[0].state, SlotState::Value);
  EXPECT_TRUE(values[0].bytes.empty());
  EXPECT_TRUE(values[1].nested_rows.empty());
  EXPECT_EQ(bytes_of(values[2].bytes), kSentinel);
}

TEST(PacketRows, ArrayValuesInOptions) {
  TableSpec table{{column("A", 1, 4)}, {}};
  Bytes array = le(3, 4);
  for (int i = 1; i <= 3; ++i) {
    const Bytes e = le(static_cast<std::uint64_t>(i), 2);
    array.insert(array.end(), e.begin(), e.end());
  }
  table.options.push_back({"LIST", type_word(1, 2, kArrayBit), array});
  table.options.push_back(text_option("NAME", "x"));
  DataStore store;
  ASSERT_EQ(append(store, PacketWriter(table).finish()), kOk);
  ASSERT_NE(store.GetOption("LIST"), nullptr);
  EXPECT_EQ(store.GetOption("LIST")->value, array);
  EXPECT_EQ(option_text(*store.GetOption("name")), "x");
}

TEST(PacketLimits, HugeLayoutsAndDeepMembersAreRejected) {
  // 65535 x 65535 positions from a few bytes of metadata.
  TableSpec wide{{array_column("A", 0xFFFF, array_column("B", 0xFFFF, column("C", 1, 1)))}, {}};
  EXPECT_EQ(load_status(PacketWriter(wide).finish()), kMismatch);
  ColumnSpec deep = column("LEAF", 1, 1);
  for (int i = 0; i < 64; ++i) deep = struct_column(numbered("S", static_cast<std::size_t>(i)), {deep});
  EXPECT_EQ(load_status(PacketWriter(TableSpec{{deep}, {}}).finish()), kNotApplicable);
  // Members nested inside members count across nested tables too.
  ColumnSpec inner = column("LEAF", 1, 1);
  for (int i = 0; i < 40; ++i) inner = struct_column(numbered("I", static_cast<std::size_t>(i)), {inner});
  ColumnSpec outer = nested_column("N", {inner});
  for (int i = 0; i < 30; ++i) outer = struct_column(numbered("O", static_cast<std::size_t>(i)), {outer});
  EXPECT_EQ(load_status(PacketWriter(TableSpec{{outer}, {}}).finish()), kNotApplicable);
  // A row count the packet cannot hold is rejected, not reserved.
  HeaderSpec many;
  many.row_count = 0xFFFFFFFFu;
  EXPECT_EQ(load_status(PacketWriter(TableSpec{{column("A", 1, 4)}, {}}, many).finish()), kMismatch);
}

Bytes two_row_packet(HeaderSpec header, std::int32_t first) {
  PacketWriter w(TableSpec{{column("A", 1, 4)}, {}}, header);
  w.begin_row(1).value(le(static_cast<std::uint32_t>(first), 4)).end_row();
  w.begin_row(1).value(le(static_cast<std::uint32_t>(first + 1), 4)).end_row();
  return w.finish();
}

TEST(FurtherPackets, AppendRowsOnlyToAPartialStore) {
  DataStore store;
  ASSERT_EQ(append(store, two_row_packet({}, 1), false), kOk);
  HeaderSpec rows_only;
  rows_only.flags = 0;
  rows_only.metadata = false;
  ASSERT_EQ(append(store, two_row_packet(rows_only, 3), false), kOk);
  HeaderSpec no_offset;
  EXPECT_EQ(append(store, two_row_packet(no_offset, 5), false), kMismatch);
  HeaderSpec with_offset;
  with_offset.fill_row_offset = true;
  ASSERT_EQ(append(store, two_row_packet(with_offset, 5), false), kOk);
  HeaderSpec metadata_only;
  metadata_only.row_count = 0;
  ASSERT_EQ(append(store, PacketWriter(TableSpec{{column("A", 1, 4)}, {}}, metadata_only).finish(), true),
            kOk);
  EXPECT_EQ(append(store, two_row_packet(rows_only, 7), true), kNonPartialAppend);
  ASSERT_EQ(store.RowCount(), 6u);
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(bytes_of(store.Row(i).values()[0].bytes), le(i + 1, 4)) << i;
  }
}

// The rows of a packet as the reader sees them: the table read from its
// metadata, and where its rows begin.
struct ReadMetadata {
  PacketTable table;
  std::size_t rows_at = 0;
};

ReadMetadata read_metadata(const Bytes& packet) {
  ReadMetadata m;
  PacketHeader header;
  PacketBudget budget(packet.size());
  EXPECT_EQ(read_packet_header(packet, header), kOk);
  EXPECT_EQ(read_packet_metadata(packet, header, m.table, budget, m.rows_at), kOk);
  return m;
}

TEST(PacketLimits, ARowCountTheBytesCannotHoldReservesNothing) {
  // Three rows of the shortest kind (state and status byte, the value blank).
  PacketWriter w(TableSpec{{column("A", 1, 4)}, {}});
  for (int i = 0; i < 3; ++i) w.begin_row(1).blank().end_row();
  const Bytes packet = w.finish();
  const ReadMetadata m = read_metadata(packet);
  ASSERT_EQ(packet.size() - m.rows_at, 6u);
  const struct {
    std::uint64_t rows;
    std::int32_t status;
  } cases[] = {{3, kOk}, {4, kMismatch}, {0xFFFFFFFFu, kMismatch}, {std::uint64_t{1} << 40, kMismatch}};
  for (const auto& c : cases) {
    PacketBudget budget(packet.size());
    const std::size_t before = budget.left();
    std::vector<std::uint32_t> marks;
    std::size_t end = 0;
    EXPECT_EQ(read_packet_rows(packet, m.rows_at, c.rows, m.table, budget, marks, end), c.status) << c.rows;
    if (c.status == kOk) {
      EXPECT_EQ(end, packet.size());
      continue;
    }
    EXPECT_TRUE(marks.empty()) << c.rows;
    if (c.rows > 4) {
      // Refused before anything was paid for or reserved.
      EXPECT_EQ(budget.left(), before) << c.rows;
      EXPECT_EQ(marks.capacity(), 0u) << c.rows;
    }
  }
}

// A count of columns or options that the bytes left cannot hold is a
// mismatch, not a list reserved at that length (and refused for its cost).
TEST(PacketLimits, CountsTheBytesCannotHoldAreMismatches) {
  ColumnSpec a = column("A", 1, 4);
  a.options = {int_option("WIDTH", 4)};
  PacketWriter writer(TableSpec{{a}, {bool_option("NO_RESET_CALL", true)}});
  const auto fields = writer.count_fields();
  const Bytes packet = writer.finish();
  ASSERT_EQ(load_status(packet), kOk);
  for (const std::string what : {"column count", "column option count", "table option count"}) {
    const auto field = std::find_if(fields.begin(), fields.end(), [&](const CountField& f) { return f.what == what; });
    ASSERT_NE(field, fields.end()) << what;
    Bytes bad = packet;
    bad[field->offset] = bad[field->offset + 1] = 0xFF;
    EXPECT_EQ(load_status(bad), kMismatch) << what;
  }
}

// Rows of different lengths, so that a row found from the wrong mark or
// walked the wrong number of times reads back another value.
Bytes numbered_rows(std::size_t first, std::size_t count, HeaderSpec header = {}) {
  PacketWriter w(TableSpec{{column("N", 1, 4), column("T", 9, 2, kVarying)}, {}}, header);
  for (std::size_t i = first; i < first + count; ++i) {
    w.begin_row(2).value(le(i, 4)).varying(2, std::string(i % 7, 'x')).end_row();
  }
  return w.finish();
}

TEST(PacketRows, EveryRowIsFoundAcrossMarksAndPackets) {
  static_assert(kRowIndexStride == 16);
  DataStore store;
  ASSERT_EQ(append(store, numbered_rows(0, 40), false), kOk);
  HeaderSpec rows_only;
  rows_only.flags = 0;
  rows_only.metadata = false;
  ASSERT_EQ(append(store, numbered_rows(40, 0, rows_only), false), kOk);
  ASSERT_EQ(append(store, numbered_rows(40, 17, rows_only), true), kOk);
  ASSERT_EQ(store.RowCount(), 57u);
  const auto check = [](const RowView& row, std::size_t i) {
    const auto values = row.values();
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(bytes_of(values[0].bytes), le(i, 4)) << i;
    EXPECT_EQ(values[1].bytes.size(), i % 7) << i;
  };
  for (std::size_t i = 0; i < store.RowCount(); ++i) check(store.Row(i), i);
  std::size_t walked = 0;
  store.ForEachRow([&](const RowView& row) { check(row, walked++); });
  EXPECT_EQ(walked, 57u);

  // Saved as one packet, the rows of both packets follow the metadata.
  DataStore reloaded;
  ASSERT_EQ(reloaded.AppendPacket(store.SavePacket(), true), kOk);
  ASSERT_EQ(reloaded.RowCount(), 57u);
  for (std::size_t i = 0; i < reloaded.RowCount(); ++i) check(reloaded.Row(i), i);
}

TEST(PacketBudget, WhatAPacketBuildsIsPaidFromItsSize) {
  // Options of five bytes each (an empty name, a type word, no value) become
  // objects many times that size: a few thousand fit the budget of a small
  // packet, tens of thousands do not, unless the packet is large enough to
  // pay for them.
  const auto with_options = [](std::size_t options, std::size_t rows) {
    TableSpec table{{column("A", 9, 2, kVarying)}, {}};
    table.columns[0].options.assign(options, OptionSpec{"", type_word(40, 0), {}});
    PacketWriter w(table);
    const std::string text(1000, 't');
    for (std::size_t r = 0; r < rows; ++r) w.begin_row(1).varying(2, text).end_row();
    return w.finish();
  };
  EXPECT_EQ(load_status(with_options(2000, 0)), kOk);
  EXPECT_EQ(load_status(with_options(60000, 0)), kInsufficientMemory);
  EXPECT_EQ(load_status(with_options(60000, 8000)), kOk);
}

TEST(PacketBudget, PacketsAboveTheLargestSizeAreRefusedUnread) {
  // Zeros are no packet at all: the size alone decides between the statuses.
  EXPECT_EQ(load_status(Bytes(kMaxPacketBytes, 0)), kMismatch);
  EXPECT_EQ(load_status(Bytes(kMaxPacketBytes + 1, 0)), kInsufficientMemory);
}

TEST(StoreMessages, TextsByStatus) {
  DataStore store;
  std::string text;
  const std::pair<std::int32_t, const char*> known[] = {
      {16389, "Mismatch in datapacket."},
      {16387, "Datapacket contains no meta data."},
      {16388, "Trying to append data to a non-partial dataset."},
      {10038, "Field name can't be null, datapacket may be corrupted"},
      {10000, "Invalid field type."},
      {9986, "Invalid parameter."},
      {10756, "Operation not applicable."},
      {9473, "Insufficient memory for this operation."},
      {8705, "At beginning of table."},
      {16401, "Delayed fetching not supported for XML."},
      {16397, "Special case: wrong order of updates for fly-away!"},
      {0x7FFF0000 | 16389, "Mismatch in datapacket."},
  };
  for (const auto& [status, message] : known) {
    EXPECT_EQ(store.GetErrorText(status, text), kOk);
    EXPECT_EQ(text, message);
  }
  EXPECT_EQ(store.GetErrorText(12345, text), kCouldNotFindObject);
  EXPECT_EQ(text, "");
}

}  // namespace
}  // namespace wardenix
