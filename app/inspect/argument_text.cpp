#include "app/inspect/argument_text.h"

#include <charconv>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <vector>

#include "app/inspect/packet_file.h"
#include "runtime/errors.h"

namespace wardenix {
namespace {

// Pieces are joined with append: the cross compiler warns wrongly about
// "literal" + std::string.
std::string join(std::initializer_list<std::string_view> pieces) {
  std::string joined;
  for (const std::string_view piece : pieces) joined.append(piece);
  return joined;
}

std::string quoted(std::string_view text) { return join({"\"", text, "\""}); }

template <typename T>
Parsed<T> refused(std::string_view text, std::string_view wanted) {
  return {std::nullopt, join({quoted(text), " is not ", wanted})};
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool all_digits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (!is_digit(c)) return false;
  }
  return true;
}

// Exactly `count` decimal digits at the start of `text`, taken off it.
bool take_number(std::string_view& text, std::size_t count, int& out) {
  if (text.size() < count || !all_digits(text.substr(0, count))) return false;
  out = 0;
  for (std::size_t i = 0; i < count; ++i) out = out * 10 + (text[i] - '0');
  text.remove_prefix(count);
  return true;
}

bool take(std::string_view& text, char c) {
  if (text.empty() || text.front() != c) return false;
  text.remove_prefix(1);
  return true;
}

// hh:mm[:ss[.f to fff]], all of `text`.
bool take_time(std::string_view text, DateTimeParts& parts) {
  if (!take_number(text, 2, parts.hour) || !take(text, ':') || !take_number(text, 2, parts.minute)) {
    return false;
  }
  if (text.empty()) return true;
  if (!take(text, ':') || !take_number(text, 2, parts.second)) return false;
  if (text.empty()) return true;
  if (!take(text, '.') || text.empty() || text.size() > 3 || !all_digits(text)) return false;
  // A fraction of a second: ".5" is 500 milliseconds.
  int scale = 100;
  for (const char c : text) {
    parts.millisecond += (c - '0') * scale;
    scale /= 10;
  }
  return true;
}

bool read_date_time(std::string_view text, DateTimeParts& parts) {
  if (text.size() > 2 && text[2] == ':') return take_time(text, parts);
  if (!take_number(text, 4, parts.year) || !take(text, '-') || !take_number(text, 2, parts.month) ||
      !take(text, '-') || !take_number(text, 2, parts.day)) {
    return false;
  }
  if (text.empty()) return true;
  if (!take(text, 'T') && !take(text, ' ')) return false;
  return take_time(text, parts);
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::vector<std::uint8_t>> from_hex(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() / 2);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = hex_digit(text[i]);
    const int low = hex_digit(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
  }
  return bytes;
}

int base64_digit(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// The standard alphabet; the closing "=" may be left out.
std::optional<std::vector<std::uint8_t>> from_base64(std::string_view text) {
  std::size_t padding = 0;
  while (padding < 2 && !text.empty() && text.back() == '=') {
    text.remove_suffix(1);
    ++padding;
  }
  if (text.size() % 4 == 1 || (padding > 0 && (text.size() + padding) % 4 != 0)) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  std::uint32_t bits = 0;
  int bit_count = 0;
  for (const char c : text) {
    const int digit = base64_digit(c);
    if (digit < 0) return std::nullopt;
    bits = bits << 6 | static_cast<std::uint32_t>(digit);
    bit_count += 6;
    if (bit_count >= 8) {
      bit_count -= 8;
      bytes.push_back(static_cast<std::uint8_t>(bits >> bit_count));
    }
  }
  // The bits left over must be zero, as an encoder writes them.
  if ((bits & ((1u << bit_count) - 1)) != 0) return std::nullopt;
  return bytes;
}

constexpr char kIntegerWanted[] = "an Integer: a whole number from -2147483648 to 2147483647";
constexpr char kCurrencyWanted[] =
    "a Currency: a decimal number with at most four decimals, from -922337203685477.5808 to "
    "922337203685477.5807";
constexpr char kDateTimeWanted[] =
    "a TDateTime: yyyy-mm-dd, yyyy-mm-ddThh:mm[:ss[.zzz]] or hh:mm[:ss[.zzz]]";
constexpr char kVariantWanted[] =
    "an OleVariant: null, hex:HEX, base64:TEXT, @FILE or JSON (true, false, a number, \"text\", "
    "[...], {\"bytes\":HEX}, {\"date\":...}, {\"currency\":...})";

// JSON read into a variant, one value at a time, with `pos` moving on.
class JsonVariantReader {
 public:
  explicit JsonVariantReader(std::string_view text) : text_(text) {}

  // The value that is all of the text, or nothing.
  std::optional<Variant> read_all() {
    auto value = read_value(0);
    skip_blanks();
    if (!value || pos_ != text_.size()) return std::nullopt;
    return value;
  }

 private:
  // Deeper nesting is refused rather than risking the stack.
  static constexpr int kMaxDepth = 64;

  void skip_blanks() {
    while (pos_ < text_.size() &&
           (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\n' || text_[pos_] == '\r')) {
      ++pos_;
    }
  }

  bool take_word(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  std::optional<Variant> read_value(int depth) {
    skip_blanks();
    if (pos_ >= text_.size() || depth > kMaxDepth) return std::nullopt;
    switch (text_[pos_]) {
      case 'n': return take_word("null") ? std::optional(Variant::Null()) : std::nullopt;
      case 't': return take_word("true") ? std::optional(Variant::from_bool(true)) : std::nullopt;
      case 'f': return take_word("false") ? std::optional(Variant::from_bool(false)) : std::nullopt;
      case '"': {
        auto text = read_string();
        if (!text) return std::nullopt;
        return Variant::from_string(std::move(*text));
      }
      case '[': return read_array(depth);
      case '{': return read_object();
      default: return read_number();
    }
  }

  std::optional<Variant> read_array(int depth) {
    ++pos_;
    std::vector<Variant> elements;
    skip_blanks();
    if (pos_ < text_.size() && text_[pos_] == ']') {
      ++pos_;
      return Variant::from_elements(std::move(elements));
    }
    for (;;) {
      auto element = read_value(depth + 1);
      if (!element) return std::nullopt;
      elements.push_back(std::move(*element));
      skip_blanks();
      if (pos_ >= text_.size()) return std::nullopt;
      const char c = text_[pos_++];
      if (c == ']') return Variant::from_elements(std::move(elements));
      if (c != ',') return std::nullopt;
    }
  }

  // {"bytes":"HEX"}, {"date":"..."} or {"currency":"..."}: the values JSON
  // has no form for, written as the call command prints them.
  std::optional<Variant> read_object() {
    ++pos_;
    skip_blanks();
    if (pos_ >= text_.size() || text_[pos_] != '"') return std::nullopt;
    const auto key = read_string();
    skip_blanks();
    if (!key || pos_ >= text_.size() || text_[pos_++] != ':') return std::nullopt;
    skip_blanks();
    if (pos_ >= text_.size() || text_[pos_] != '"') return std::nullopt;
    const auto value = read_string();
    skip_blanks();
    if (!value || pos_ >= text_.size() || text_[pos_++] != '}') return std::nullopt;
    const std::string text = to_utf8(*value);
    if (*key == u"bytes") {
      auto bytes = from_hex(text);
      if (bytes) return Variant::from_bytes(std::move(*bytes));
    } else if (*key == u"date") {
      const auto date = parse_date_time(text);
      if (date.value) return Variant::from_date(*date.value);
    } else if (*key == u"currency") {
      const auto amount = parse_currency(text);
      if (amount.value) return Variant::from_currency(*amount.value);
    }
    return std::nullopt;
  }

  std::optional<UString> read_string() {
    ++pos_;  // the opening quote
    UString out;
    std::size_t run = pos_;  // the start of the characters taken as they stand
    const auto end_run = [&] { out += from_utf8(text_.substr(run, pos_ - run)); };
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
      if (c == '"') {
        end_run();
        ++pos_;
        return out;
      }
      if (c != '\\') {
        ++pos_;
        continue;
      }
      end_run();
      if (++pos_ >= text_.size()) return std::nullopt;
      switch (text_[pos_++]) {
        case '"': out += u'"'; break;
        case '\\': out += u'\\'; break;
        case '/': out += u'/'; break;
        case 'b': out += u'\b'; break;
        case 'f': out += u'\f'; break;
        case 'n': out += u'\n'; break;
        case 'r': out += u'\r'; break;
        case 't': out += u'\t'; break;
        case 'u': {
          // A UTF-16 code unit, as the text holds it: pairs need no joining.
          if (pos_ + 4 > text_.size()) return std::nullopt;
          std::uint32_t unit = 0;
          for (int i = 0; i < 4; ++i) {
            const int digit = hex_digit(text_[pos_++]);
            if (digit < 0) return std::nullopt;
            unit = unit << 4 | static_cast<std::uint32_t>(digit);
          }
          out += static_cast<char16_t>(unit);
          break;
        }
        default: return std::nullopt;
      }
      run = pos_;
    }
    return std::nullopt;
  }

  // -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
  std::optional<Variant> read_number() {
    const std::size_t start = pos_;
    const auto digits = [&] {
      const std::size_t from = pos_;
      while (pos_ < text_.size() && is_digit(text_[pos_])) ++pos_;
      return pos_ - from;
    };
    if (pos_ < text_.size() && text_[pos_] == '-') ++pos_;
    const std::size_t whole_at = pos_;
    const std::size_t whole = digits();
    if (whole == 0 || (whole > 1 && text_[whole_at] == '0')) return std::nullopt;
    bool integral = true;
    if (pos_ < text_.size() && text_[pos_] == '.') {
      ++pos_;
      if (digits() == 0) return std::nullopt;
      integral = false;
    }
    if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
      ++pos_;
      if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) ++pos_;
      if (digits() == 0) return std::nullopt;
      integral = false;
    }
    const char* first = text_.data() + start;
    const char* last = text_.data() + pos_;
    if (integral) {
      std::int64_t number = 0;
      if (std::from_chars(first, last, number).ec == std::errc()) {
        if (number >= std::numeric_limits<std::int32_t>::min() &&
            number <= std::numeric_limits<std::int32_t>::max()) {
          return Variant::from_int32(static_cast<std::int32_t>(number));
        }
        return Variant::from_int64(number);
      }
    }
    double number = 0;
    const auto result = std::from_chars(first, last, number);
    if (result.ec != std::errc() || !std::isfinite(number)) return std::nullopt;
    return Variant::from_double(number);
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

Parsed<UString> parse_text(std::string_view text) { return {from_utf8(text), {}}; }

Parsed<std::int32_t> parse_integer(std::string_view text) {
  std::int32_t number = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), number);
  if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size()) {
    return refused<std::int32_t>(text, kIntegerWanted);
  }
  return {number, {}};
}

Parsed<Currency> parse_currency(std::string_view text) {
  std::string_view rest = text;
  const bool negative = take(rest, '-');
  const std::size_t point = rest.find('.');
  const std::string_view whole = rest.substr(0, point);
  const std::string_view fraction = point == std::string_view::npos ? std::string_view() : rest.substr(point + 1);
  if (!all_digits(whole) || (point != std::string_view::npos && (fraction.size() > 4 || !all_digits(fraction)))) {
    return refused<Currency>(text, kCurrencyWanted);
  }
  // The magnitude in ten-thousandths, kept within what the sign allows.
  const std::uint64_t limit = negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
  std::uint64_t scaled = 0;
  const auto add_digit = [&](char c) {
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (scaled > (limit - digit) / 10) return false;
    scaled = scaled * 10 + digit;
    return true;
  };
  for (const char c : whole) {
    if (!add_digit(c)) return refused<Currency>(text, kCurrencyWanted);
  }
  for (std::size_t i = 0; i < 4; ++i) {
    if (!add_digit(i < fraction.size() ? fraction[i] : '0')) return refused<Currency>(text, kCurrencyWanted);
  }
  // Two's complement keeps the most negative amount exact.
  const std::uint64_t bits = negative ? ~scaled + 1 : scaled;
  return {Currency{static_cast<std::int64_t>(bits)}, {}};
}

Parsed<TDateTime> parse_date_time(std::string_view text) {
  DateTimeParts parts;
  TDateTime value;
  if (!read_date_time(text, parts) || !try_encode_date_time(parts, value)) {
    return refused<TDateTime>(text, kDateTimeWanted);
  }
  return {value, {}};
}

Parsed<Variant> parse_variant(std::string_view text) {
  if (text.starts_with("hex:")) {
    auto bytes = from_hex(text.substr(4));
    if (!bytes) return refused<Variant>(text, "hex:HEX, an even number of hexadecimal digits");
    return {Variant::from_bytes(std::move(*bytes)), {}};
  }
  if (text.starts_with("base64:")) {
    auto bytes = from_base64(text.substr(7));
    if (!bytes) return refused<Variant>(text, "base64:TEXT in the standard alphabet");
    return {Variant::from_bytes(std::move(*bytes)), {}};
  }
  if (text.starts_with("@")) {
    const std::string path(text.substr(1));
    PacketFile file = read_packet_file(path);
    if (!file.error.empty()) return {std::nullopt, join({path, ": ", file.error})};
    return {Variant::from_bytes(std::move(file.bytes)), {}};
  }
  auto value = JsonVariantReader(text).read_all();
  if (!value) return refused<Variant>(text, kVariantWanted);
  return {std::move(*value), {}};
}

Parsed<std::shared_ptr<TClientDataSet>> parse_dataset(std::string_view path_text) {
  const std::string path(path_text);
  PacketFile file = read_packet_file(path);
  if (!file.error.empty()) return {std::nullopt, join({path, ": ", file.error})};
  auto dataset = std::make_shared<TClientDataSet>();
  try {
    dataset->SetData(Variant::from_bytes(std::move(file.bytes)));
  } catch (const Exception& e) {
    return {std::nullopt, join({path, " is not a data packet the dataset loads: ", e.what()})};
  }
  return {std::move(dataset), {}};
}

}  // namespace wardenix
