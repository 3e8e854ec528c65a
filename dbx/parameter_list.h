#pragma once
// TDBXParameterList: a command's parameters in ordinal order. The first
// parameter stored creates the command's parameter row, and every parameter
// stored is bound to it.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "dbx/row.h"
#include "dbx/value_type.h"

namespace wardenix {

class TDBXParameterList {
 public:
  using RowFactory = std::function<std::unique_ptr<TDBXRow>()>;

  explicit TDBXParameterList(RowFactory create_row);
  TDBXParameterList(const TDBXParameterList&) = delete;
  TDBXParameterList& operator=(const TDBXParameterList&) = delete;
  ~TDBXParameterList();  // the parameters go before the row they refer to

  std::int32_t Count() const { return static_cast<std::int32_t>(FValueTypes.size()); }
  // Raises TDBXError 8 "Invalid Ordinal:  %d" outside 0 to Count - 1.
  TDBXParameter& GetParameter(std::int32_t ordinal);
  const TDBXParameter& GetParameter(std::int32_t ordinal) const;
  TDBXParameter& operator[](std::int32_t ordinal) { return GetParameter(ordinal); }

  // Sizes the list; new places are empty until SetParameter fills them.
  void SetCount(std::int32_t count);
  void SetParameter(std::int32_t ordinal, std::unique_ptr<TDBXParameter> parameter);
  void AddParameter(std::unique_ptr<TDBXParameter> parameter);
  // The parameter of that name (ASCII case ignored), or -1.
  std::int32_t GetOrdinal(UStringView name) const;

  // The row the values live in; none before the first parameter is stored.
  TDBXRow* ParameterRow() const { return FParameterRow.get(); }

 private:
  std::vector<std::unique_ptr<TDBXParameter>> FValueTypes;
  RowFactory FCreateRow;
  std::unique_ptr<TDBXRow> FParameterRow;
};

}  // namespace wardenix
