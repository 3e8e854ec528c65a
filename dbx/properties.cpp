#include "dbx/properties.h"

#include "runtime/errors.h"

namespace wardenix {

TDBXProperties::TDBXProperties(std::initializer_list<Pair> pairs) : pairs_(pairs) {}

const TDBXProperties::Pair* TDBXProperties::Find(UStringView name) const {
  for (const Pair& pair : pairs_) {
    if (equals_ascii_ci(pair.first, name)) return &pair;
  }
  return nullptr;
}

void TDBXProperties::SetValue(UStringView name, UStringView value) {
  for (Pair& pair : pairs_) {
    if (equals_ascii_ci(pair.first, name)) {
      pair.second = UString(value);
      return;
    }
  }
  pairs_.emplace_back(UString(name), UString(value));
}

UString TDBXProperties::GetValue(UStringView name) const {
  const Pair* pair = Find(name);
  return pair ? pair->second : UString();
}

bool TDBXProperties::HasName(UStringView name) const { return Find(name) != nullptr; }

std::int32_t TDBXProperties::GetInteger(UStringView name, std::int32_t fallback) const {
  const Pair* pair = Find(name);
  if (!pair || pair->second.empty()) return fallback;
  return StrToInt(pair->second);
}

namespace {

int digit_value(char16_t c, int base) {
  int v = -1;
  if (c >= u'0' && c <= u'9') v = c - u'0';
  if (c >= u'a' && c <= u'f') v = c - u'a' + 10;
  if (c >= u'A' && c <= u'F') v = c - u'A' + 10;
  return v < base ? v : -1;
}

}  // namespace

std::int32_t StrToInt(UStringView text) {
  const auto fail = [&]() -> std::int32_t {
    throw EConvertError(format_message(u"'%s' is not a valid integer value", {text}));
  };
  std::size_t i = 0;
  while (i < text.size() && text[i] == u' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  int base = 10;
  if (i < text.size() && text[i] == u'$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) return fail();
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    const int d = digit_value(text[i], base);
    if (d < 0) return fail();
    value = value * base + d;
    if (value > std::int64_t{1} << 32) return fail();
  }
  if (negative) value = -value;
  // Hexadecimal text may spell a negative number through its top bit.
  if (base == 16 && value > INT32_MAX && value <= UINT32_MAX) value -= std::int64_t{1} << 32;
  if (value < INT32_MIN || value > INT32_MAX) return fail();
  return static_cast<std::int32_t>(value);
}

}  // namespace wardenix
