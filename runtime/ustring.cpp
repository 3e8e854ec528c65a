#include "runtime/ustring.h"

#include <vector>

namespace wardenix {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void append_code_point(UString& out, char32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(cp));
  }
}

// Decodes one UTF-8 sequence at `i`; returns its length or 0 when it is not
// well formed (overlong forms, surrogates and values past U+10FFFF included).
std::size_t decode_utf8_at(std::string_view s, std::size_t i, char32_t& cp) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b0 = byte(i);
  std::size_t len = 0;
  char32_t min = 0;
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  } else if ((b0 & 0xE0) == 0xC0) {
    len = 2, cp = b0 & 0x1Fu, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, cp = b0 & 0x0Fu, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, cp = b0 & 0x07u, min = 0x10000;
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3Fu);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

}  // namespace

UString from_utf8(std::string_view text) {
  UString out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    const std::size_t len = decode_utf8_at(text, i, cp);
    if (len == 0) {
      append_code_point(out, kReplacement);
      ++i;
    } else {
      append_code_point(out, cp);
      i += len;
    }
  }
  return out;
}

bool is_valid_utf8(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    char32_t cp = 0;
    const std::size_t len = decode_utf8_at(bytes, i, cp);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

std::string to_utf8(UStringView text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    append_utf8(out, cp);
  }
  return out;
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

UString from_latin1(std::string_view text) {
  UString out(text.size(), u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(text[i]));
  }
  return out;
}

char16_t ascii_upper(char16_t c) {
  return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - (u'a' - u'A')) : c;
}

UString ascii_upper(UStringView text) {
  UString out(text);
  for (auto& c : out) c = ascii_upper(c);
  return out;
}

bool equals_ascii_ci(UStringView a, UStringView b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ascii_upper(a[i]) != ascii_upper(b[i])) return false;
  }
  return true;
}

UString to_ustring(std::int64_t value) {
  const std::uint64_t magnitude =
      value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  UString digits = to_ustring_unsigned(magnitude);
  return value < 0 ? u"-" + digits : digits;
}

UString to_ustring_unsigned(std::uint64_t value) {
  char16_t buffer[24];
  std::size_t pos = sizeof buffer / sizeof buffer[0];
  do {
    buffer[--pos] = static_cast<char16_t>(u'0' + value % 10);
    value /= 10;
  } while (value != 0);
  return UString(buffer + pos, buffer + sizeof buffer / sizeof buffer[0]);
}

UString trim(UStringView text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && text[begin] <= u' ') ++begin;
  while (end > begin && text[end - 1] <= u' ') --end;
  return UString(text.substr(begin, end - begin));
}

UString format_message(UStringView pattern, std::initializer_list<UStringView> args) {
  UString out;
  out.reserve(pattern.size() + 16);
  auto next = args.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char16_t c = pattern[i];
    if (c == u'%' && i + 1 < pattern.size()) {
      const char16_t conversion = pattern[i + 1];
      if (conversion == u'%') {
        out.push_back(u'%');
        ++i;
        continue;
      }
      if ((conversion == u's' || conversion == u'd') && next != args.end()) {
        out.append(*next++);
        ++i;
        continue;
      }
    }
    out.push_back(c);
  }
  return out;
}

}  // namespace wardenix
