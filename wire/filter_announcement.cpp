#include "wire/filter_announcement.h"

#include <string_view>

namespace wardenix {
namespace {

void append_json_string(std::string& out, UStringView text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += '"';
  for (const char16_t c : text) {
    if (c == u'"' || c == u'\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 0xF];
    }
  }
  out += '"';
}

// Recursive descent over the UTF-16 form of the text.
class Parser {
 public:
  explicit Parser(UStringView text) : text_(text) {}

  std::optional<std::vector<FilterAnnouncement>> Announcement() {
    std::vector<FilterAnnouncement> filters;
    if (!Take(u'{')) return std::nullopt;
    if (!Take(u'}')) {
      do {
        FilterAnnouncement filter;
        if (!String(filter.id) || !Take(u':') || !Parameters(filter.parameters)) {
          return std::nullopt;
        }
        filters.push_back(std::move(filter));
      } while (Take(u','));
      if (!Take(u'}')) return std::nullopt;
    }
    SkipBlanks();
    if (at_ != text_.size()) return std::nullopt;
    return filters;
  }

 private:
  bool Parameters(std::vector<std::pair<UString, std::optional<UString>>>& out) {
    if (!Take(u'{')) return false;
    if (Take(u'}')) return true;
    do {
      UString name;
      if (!String(name) || !Take(u':')) return false;
      SkipBlanks();
      if (text_.substr(at_).starts_with(u"null")) {
        at_ += 4;
        out.emplace_back(std::move(name), std::nullopt);
      } else {
        UString value;
        if (!String(value)) return false;
        out.emplace_back(std::move(name), std::move(value));
      }
    } while (Take(u','));
    return Take(u'}');
  }

  bool String(UString& out) {
    if (!Take(u'"')) return false;
    while (at_ < text_.size()) {
      const char16_t c = text_[at_++];
      if (c == u'"') return true;
      if (c != u'\\') {
        out += c;
        continue;
      }
      if (at_ >= text_.size()) return false;
      const char16_t e = text_[at_++];
      switch (e) {
        case u'b': out += u'\b'; break;
        case u'f': out += u'\f'; break;
        case u'n': out += u'\n'; break;
        case u'r': out += u'\r'; break;
        case u't': out += u'\t'; break;
        case u'u': {
          if (at_ + 4 > text_.size()) return false;
          unsigned value = 0;
          for (int i = 0; i < 4; ++i) {
            const char16_t h = text_[at_++];
            unsigned d = 0;
            if (h >= u'0' && h <= u'9') d = h - u'0';
            else if (h >= u'a' && h <= u'f') d = h - u'a' + 10u;
            else if (h >= u'A' && h <= u'F') d = h - u'A' + 10u;
            else return false;
            value = value * 16 + d;
          }
          out += static_cast<char16_t>(value);
          break;
        }
        default: out += e;
      }
    }
    return false;
  }

  void SkipBlanks() {
    while (at_ < text_.size() &&
           (text_[at_] == u' ' || text_[at_] == u'\t' || text_[at_] == u'\n' || text_[at_] == u'\r')) {
      ++at_;
    }
  }

  bool Take(char16_t c) {
    SkipBlanks();
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }

  UStringView text_;
  std::size_t at_ = 0;
};

}  // namespace

std::string WriteFilterAnnouncement(const TTransportFilterCollection& filters) {
  std::string out = "{";
  bool first = true;
  for (const auto& filter : filters) {
    if (!first) out += ',';
    first = false;
    append_json_string(out, filter->Id());
    out += ":{";
    bool first_parameter = true;
    for (const auto& [name, value] : filter->Parameters()) {
      if (!first_parameter) out += ',';
      first_parameter = false;
      append_json_string(out, name);
      out += ':';
      append_json_string(out, value);
    }
    out += '}';
  }
  out += '}';
  return out;
}

std::optional<std::vector<FilterAnnouncement>> ParseFilterAnnouncement(
    std::span<const std::uint8_t> json) {
  const UString text = from_utf8(
      std::string_view(reinterpret_cast<const char*>(json.data()), json.size()));
  return Parser(text).Announcement();
}

}  // namespace wardenix
