#pragma once
// TDBXProperties: the connection's ordered name=value list. Names compare
// without regard to ASCII case; values are kept as given.
#include <cstdint>
#include <utility>
#include <vector>

#include "runtime/ustring.h"

namespace wardenix {

class TDBXProperties {
 public:
  using Pair = std::pair<UString, UString>;

  TDBXProperties() = default;
  TDBXProperties(std::initializer_list<Pair> pairs);

  // Replaces the value of `name`, or appends a pair when there is none.
  void SetValue(UStringView name, UStringView value);
  // The value of `name`, empty when it is missing.
  UString GetValue(UStringView name) const;
  bool HasName(UStringView name) const;
  // The value as a strict integer, or `fallback` when missing or empty.
  // Anything else raises EConvertError "'%s' is not a valid integer value".
  std::int32_t GetInteger(UStringView name, std::int32_t fallback) const;

  const std::vector<Pair>& Pairs() const { return pairs_; }

 private:
  const Pair* Find(UStringView name) const;

  std::vector<Pair> pairs_;
};

// Strict text-to-integer conversion: optional blanks before, an optional
// sign, then decimal digits (or "$" / "0x" and hexadecimal digits), within
// 32 bits. Raises EConvertError otherwise.
std::int32_t StrToInt(UStringView text);

}  // namespace wardenix
