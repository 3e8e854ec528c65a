#pragma once
// TDBXDataSetReader: a dataset handed to a remote method as a table. Its
// columns are the dataset's top-level columns, typed by their packet field
// types; its rows are the rows the dataset's store holds, from the first on.
// The reader frees the dataset with itself when it was made its owner.
//
// Column kinds, packet field type to command-model data type: signed
// integers by size (INT8, INT16, INT32, INT64), unsigned ones to the next
// wider signed type (UINT8 for one byte), Booleans BOOL, floating point
// DOUBLE, BCD BCD, date DATE, time TIME, date-time and SQL timestamp
// TIMESTAMP, 8-bit strings ZSTRING, UTF-16 strings WideString, bytes BLOB
// (memo sub types for "Text" and "WideText"). Structured, array and nested
// columns and unknown codes are UNKNOWN and read as null.
#include <memory>
#include <vector>

#include "dataset/client_dataset.h"
#include "dbx/reader.h"

namespace wardenix {

class TDBXDataSetReader final : public TDBXReader {
 public:
  TDBXDataSetReader(TClientDataSet* dataset, bool instance_owner);
  ~TDBXDataSetReader() override;

  TClientDataSet* DataSet() const { return dataset_; }
  bool InstanceOwner() const { return instance_owner_; }

  std::int32_t ColumnCount() const override;
  TDBXValueType& ValueType(std::int32_t ordinal) override;
  // The column's value in the current row.
  TDBXValue& Value(std::int32_t ordinal) override;
  // False for a dataset that is not open.
  bool Next() override;

  class Row;  // the current row of the store, as the values read it

 private:
  TClientDataSet* dataset_;
  bool instance_owner_;
  std::unique_ptr<Row> row_;
  std::vector<std::unique_ptr<TDBXValueType>> columns_;
  std::vector<std::unique_ptr<TDBXValue>> values_;
  std::size_t next_row_ = 0;
};

}  // namespace wardenix
