#include "dataset/xml_document.h"

#include <algorithm>

#include "runtime/ustring.h"

namespace wardenix {

namespace {

bool same_ci(std::string_view a, std::string_view b) {
  const auto up = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return up(x) == up(y); });
}

bool is_space(std::uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool is_name_char(std::uint8_t c) {
  return !is_space(c) && c != '/' && c != '>' && c != '=' && c != '<' && c != '"' && c != '\'' &&
         c != '?';
}

class Parser {
 public:
  explicit Parser(std::span<const std::uint8_t> bytes) : s_(bytes) {}

  bool document(XmlElement& root) {
    while (i_ < s_.size() && s_[i_] >= 1 && s_[i_] <= 32) ++i_;
    if (s_.size() - i_ >= 3 && s_[i_] == 0xEF && s_[i_ + 1] == 0xBB && s_[i_ + 2] == 0xBF) {
      i_ += 3;
      utf8_ = true;
    }
    if (i_ >= s_.size() || s_[i_] != '<') return false;
    for (;;) {
      skip_space();
      if (starts("<?")) {
        if (!declaration_or_instruction()) return false;
      } else if (starts("<!--")) {
        if (!skip_past("-->")) return false;
      } else if (starts("<")) {
        return element(root, 0);
      } else {
        return false;
      }
    }
  }

 private:
  bool starts(std::string_view text) const {
    return s_.size() - i_ >= text.size() &&
           std::equal(text.begin(), text.end(), s_.begin() + static_cast<std::ptrdiff_t>(i_),
                      [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
  }
  bool skip_past(std::string_view end) {
    while (i_ < s_.size()) {
      if (starts(end)) {
        i_ += end.size();
        return true;
      }
      ++i_;
    }
    return false;
  }
  void skip_space() {
    while (i_ < s_.size() && is_space(s_[i_])) ++i_;
  }
  std::string name() {
    const std::size_t start = i_;
    while (i_ < s_.size() && is_name_char(s_[i_])) ++i_;
    return std::string(s_.begin() + static_cast<std::ptrdiff_t>(start),
                       s_.begin() + static_cast<std::ptrdiff_t>(i_));
  }

  // "<?xml ... ?>" may say the encoding; any other instruction is skipped.
  bool declaration_or_instruction() {
    i_ += 2;
    const std::string target = name();
    if (target != "xml") return skip_past("?>");
    XmlElement declaration;
    if (!attributes(declaration)) return false;
    skip_space();
    if (!starts("?>")) return false;
    i_ += 2;
    if (const auto* encoding = declaration.attribute("encoding"); encoding && same_ci(*encoding, "UTF-8")) {
      utf8_ = true;
    }
    return true;
  }

  bool attributes(XmlElement& element) {
    for (;;) {
      skip_space();
      if (i_ >= s_.size()) return false;
      if (!is_name_char(s_[i_])) return true;
      std::string key = name();
      skip_space();
      if (i_ >= s_.size() || s_[i_] != '=') return false;
      ++i_;
      skip_space();
      if (i_ >= s_.size() || (s_[i_] != '"' && s_[i_] != '\'')) return false;
      const std::uint8_t quote = s_[i_++];
      std::string value;
      while (i_ < s_.size() && s_[i_] != quote) {
        if (s_[i_] == '&') {
          if (!entity(value)) return false;
        } else if (s_[i_] == '<') {
          return false;
        } else {
          const std::uint8_t c = s_[i_++];
          if (utf8_ || c < 0x80) {
            value.push_back(static_cast<char>(c));
          } else {
            append_utf8(value, c);
          }
        }
      }
      if (i_ >= s_.size()) return false;
      ++i_;
      element.attributes.emplace_back(std::move(key), std::move(value));
    }
  }

  bool entity(std::string& out) {
    const std::size_t start = ++i_;
    while (i_ < s_.size() && s_[i_] != ';' && i_ - start < 12) ++i_;
    if (i_ >= s_.size() || s_[i_] != ';') return false;
    const std::string ref(s_.begin() + static_cast<std::ptrdiff_t>(start),
                          s_.begin() + static_cast<std::ptrdiff_t>(i_));
    ++i_;
    if (ref == "lt") return out.push_back('<'), true;
    if (ref == "gt") return out.push_back('>'), true;
    if (ref == "amp") return out.push_back('&'), true;
    if (ref == "quot") return out.push_back('"'), true;
    if (ref == "apos") return out.push_back('\''), true;
    if (ref.size() < 2 || ref[0] != '#') return false;
    const bool hex = ref[1] == 'x' || ref[1] == 'X';
    std::uint32_t cp = 0;
    const std::size_t digits_from = hex ? 2 : 1;
    if (ref.size() == digits_from) return false;
    for (std::size_t k = digits_from; k < ref.size(); ++k) {
      const char c = ref[k];
      std::uint32_t digit = 0;
      if (c >= '0' && c <= '9') {
        digit = static_cast<std::uint32_t>(c - '0');
      } else if (hex && c >= 'a' && c <= 'f') {
        digit = static_cast<std::uint32_t>(c - 'a' + 10);
      } else if (hex && c >= 'A' && c <= 'F') {
        digit = static_cast<std::uint32_t>(c - 'A' + 10);
      } else {
        return false;
      }
      cp = cp * (hex ? 16u : 10u) + digit;
      if (cp > 0x10FFFF) return false;
    }
    if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    append_utf8(out, cp);
    return true;
  }

  bool element(XmlElement& out, int depth) {
    if (depth >= kMaxXmlDepth) return false;
    ++i_;  // '<'
    out.name = name();
    if (out.name.empty() || !attributes(out)) return false;
    if (starts("/>")) {
      i_ += 2;
      return true;
    }
    if (!starts(">")) return false;
    ++i_;
    for (;;) {
      while (i_ < s_.size() && s_[i_] != '<') ++i_;  // text is not read
      if (i_ >= s_.size()) return false;
      if (starts("</")) {
        i_ += 2;
        if (name() != out.name) return false;
        skip_space();
        if (!starts(">")) return false;
        ++i_;
        return true;
      }
      if (starts("<!--")) {
        if (!skip_past("-->")) return false;
      } else if (starts("<![CDATA[")) {
        if (!skip_past("]]>")) return false;
      } else if (starts("<?")) {
        if (!skip_past("?>")) return false;
      } else {
        out.children.emplace_back();
        if (!element(out.children.back(), depth + 1)) return false;
      }
    }
  }

  std::span<const std::uint8_t> s_;
  std::size_t i_ = 0;
  bool utf8_ = false;
};

}  // namespace

const std::string* XmlElement::attribute(std::string_view attribute_name) const {
  for (const auto& [key, value] : attributes) {
    if (key == attribute_name) return &value;
  }
  return nullptr;
}

const std::string* XmlElement::attribute_ci(std::string_view attribute_name) const {
  for (const auto& [key, value] : attributes) {
    if (same_ci(key, attribute_name)) return &value;
  }
  return nullptr;
}

bool parse_xml_document(std::span<const std::uint8_t> bytes, XmlElement& root) {
  return Parser(bytes).document(root);
}

}  // namespace wardenix
