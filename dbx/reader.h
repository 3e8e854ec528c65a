#pragma once
// TDBXReader: a table read row by row, each column with its description and
// its value object.
#include <cstdint>

#include "dbx/value_type.h"
#include "dbx/values.h"
#include "runtime/ustring.h"

namespace wardenix {

class TDBXReader {
 public:
  TDBXReader() = default;
  TDBXReader(const TDBXReader&) = delete;
  TDBXReader& operator=(const TDBXReader&) = delete;
  virtual ~TDBXReader() = default;

  virtual std::int32_t ColumnCount() const = 0;
  // Raise TDBXError 8 "Invalid Ordinal:  %d" outside 0 to ColumnCount - 1.
  virtual TDBXValueType& ValueType(std::int32_t ordinal) = 0;
  virtual TDBXValue& Value(std::int32_t ordinal) = 0;
  // Moves to the next row (the first at the first call); false past the last.
  virtual bool Next() = 0;

  // The column of that name (ASCII case ignored), or -1.
  std::int32_t GetOrdinal(UStringView name);
};

// A reader that someone else owns, handed out where an owned one is due.
class TDBXBorrowedReader final : public TDBXReader {
 public:
  explicit TDBXBorrowedReader(TDBXReader& reader) : reader_(reader) {}
  std::int32_t ColumnCount() const override { return reader_.ColumnCount(); }
  TDBXValueType& ValueType(std::int32_t ordinal) override { return reader_.ValueType(ordinal); }
  TDBXValue& Value(std::int32_t ordinal) override { return reader_.Value(ordinal); }
  bool Next() override { return reader_.Next(); }

 private:
  TDBXReader& reader_;
};

// TDBXError 8 "Invalid Ordinal:  %d".
[[noreturn]] void RaiseInvalidOrdinal(std::int32_t ordinal);

}  // namespace wardenix
