// The dataset reader over the rows of a loaded dataset: its columns with
// their command-model types, and every row's values as the packet holds
// them, blanks as null.
#include <gtest/gtest.h>

#include "dbx/data_types.h"
#include "dbx/values.h"
#include "proxy/dataset_reader.h"
#include "trialserver/packet_writer.h"

namespace wardenix {
namespace {

using namespace TDBXDataTypes;
using trial::CellValue;
using trial::ColumnKind;
using trial::DataPacketWriter;

Variant packet() {
  DataPacketWriter writer({{"ID", ColumnKind::Int32, 0, true},
                           {"NOME", ColumnKind::Text, 20},
                           {"ATIVO", ColumnKind::Boolean},
                           {"VALOR", ColumnKind::Double}});
  writer.AddRow({1, std::string("Um"), true, 1.5});
  writer.AddRow({-2, CellValue{}, false, CellValue{}});
  writer.AddRow({300, std::string("Tr\xEAs"), CellValue{}, -0.25});
  return Variant::from_bytes(writer.Finish());
}

TEST(DataSetReader, ReadsTheColumnsAndEveryRowOfAnOpenDataset) {
  TClientDataSet dataset;
  dataset.SetData(packet());
  TDBXDataSetReader reader(&dataset, false);
  ASSERT_EQ(reader.ColumnCount(), 4);
  const std::pair<const char16_t*, std::int32_t> columns[] = {
      {u"ID", Int32Type}, {u"NOME", AnsiStringType}, {u"ATIVO", BooleanType}, {u"VALOR", DoubleType}};
  for (std::int32_t i = 0; i < 4; ++i) {
    EXPECT_EQ(reader.ValueType(i).Name(), columns[i].first);
    EXPECT_EQ(reader.ValueType(i).DataType(), columns[i].second);
  }
  // The required column is not nullable.
  EXPECT_EQ(reader.ValueType(0).ValueTypeFlags() & TDBXValueTypeFlags::Nullable, 0);
  EXPECT_NE(reader.ValueType(1).ValueTypeFlags() & TDBXValueTypeFlags::Nullable, 0);

  struct Row {
    std::int32_t id;
    const char16_t* name;  // null for a blank
    std::optional<bool> active;
    std::optional<double> value;
  };
  const Row expected[] = {{1, u"Um", true, 1.5},
                          {-2, nullptr, false, std::nullopt},
                          {300, u"Tr\u00EAs", std::nullopt, -0.25}};
  for (const Row& row : expected) {
    ASSERT_TRUE(reader.Next());
    EXPECT_EQ(reader.Value(0).GetInt32(), row.id);
    EXPECT_EQ(reader.Value(1).IsNull(), row.name == nullptr);
    if (row.name) {
      EXPECT_EQ(reader.Value(1).GetAnsiString(), row.name);
    }
    EXPECT_EQ(reader.Value(2).IsNull(), !row.active.has_value());
    if (row.active) {
      EXPECT_EQ(reader.Value(2).GetBoolean(), *row.active);
    }
    EXPECT_EQ(reader.Value(3).IsNull(), !row.value.has_value());
    if (row.value) {
      EXPECT_EQ(reader.Value(3).GetDouble(), *row.value);
    }
  }
  EXPECT_FALSE(reader.Next());
  EXPECT_THROW(reader.ValueType(4), TDBXError);
}

TEST(DataSetReader, AClosedDatasetHasNoColumnsAndNoRows) {
  TClientDataSet dataset;
  TDBXDataSetReader reader(&dataset, false);
  EXPECT_EQ(reader.ColumnCount(), 0);
  EXPECT_FALSE(reader.Next());
}

}  // namespace
}  // namespace wardenix
