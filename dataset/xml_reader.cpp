#include "dataset/xml_reader.h"

#include <algorithm>
#include <utility>

#include "runtime/ustring.h"

namespace wardenix {

namespace {

bool is_space(std::uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool is_name_char(std::uint8_t c) {
  return !is_space(c) && c != '/' && c != '>' && c != '=' && c != '<' && c != '"' && c != '\'' &&
         c != '?';
}

}  // namespace

bool xml_equals_ci(std::string_view a, std::string_view b) {
  const auto up = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return up(x) == up(y); });
}

XmlReader::XmlReader(std::span<const std::uint8_t> text, bool keep_values)
    : s_(text), keep_values_(keep_values) {}

XmlReader::Token XmlReader::fail() {
  failed_ = true;
  return Token::Error;
}

XmlReader::Token XmlReader::next() {
  if (failed_) return Token::Error;
  if (pending_end_) {
    pending_end_ = false;
    name_ = open_[--open_count_];
    done_ = open_count_ == 0;
    return Token::End;
  }
  if (done_) return Token::Done;
  if (!started_) {
    started_ = true;
    return prolog();
  }
  return content();
}

bool XmlReader::skip_element() {
  const std::size_t outside = open_count_ - 1;
  for (;;) {
    const Token token = next();
    if (token == Token::Error || token == Token::Done) return false;
    if (token == Token::End && open_count_ == outside) return true;
  }
}

std::optional<std::string_view> XmlReader::attribute(std::string_view attribute_name) const {
  for (const auto& [key, value] : attributes()) {
    if (key == attribute_name) return value;
  }
  return std::nullopt;
}

XmlReader::Token XmlReader::prolog() {
  while (i_ < s_.size() && s_[i_] >= 1 && s_[i_] <= 32) ++i_;
  if (s_.size() - i_ >= 3 && s_[i_] == 0xEF && s_[i_ + 1] == 0xBB && s_[i_ + 2] == 0xBF) {
    i_ += 3;
    utf8_ = true;
  }
  if (i_ >= s_.size() || s_[i_] != '<') return fail();
  for (;;) {
    skip_space();
    if (starts("<?")) {
      if (!declaration_or_instruction()) return fail();
    } else if (starts("<!--")) {
      if (!skip_past("-->")) return fail();
    } else if (starts("<")) {
      return start_tag();
    } else {
      return fail();
    }
  }
}

XmlReader::Token XmlReader::content() {
  for (;;) {
    while (i_ < s_.size() && s_[i_] != '<') ++i_;  // text is not read
    if (i_ >= s_.size()) return fail();
    if (starts("</")) {
      i_ += 2;
      name_ = read_name();
      if (name_ != open_[open_count_ - 1]) return fail();
      skip_space();
      if (!starts(">")) return fail();
      ++i_;
      done_ = --open_count_ == 0;
      return Token::End;
    }
    if (starts("<!--")) {
      if (!skip_past("-->")) return fail();
    } else if (starts("<![CDATA[")) {
      if (!skip_past("]]>")) return fail();
    } else if (starts("<?")) {
      if (!skip_past("?>")) return fail();
    } else {
      return start_tag();
    }
  }
}

XmlReader::Token XmlReader::start_tag() {
  if (open_count_ >= static_cast<std::size_t>(kMaxXmlDepth)) return fail();
  ++i_;  // '<'
  name_ = read_name();
  if (name_.empty() || !read_attributes()) return fail();
  if (starts("/>")) {
    i_ += 2;
    pending_end_ = true;
  } else if (starts(">")) {
    ++i_;
  } else {
    return fail();
  }
  if (open_count_ == open_.size()) open_.emplace_back();
  open_[open_count_++] = name_;
  return Token::Start;
}

bool XmlReader::starts(std::string_view text) const {
  return s_.size() - i_ >= text.size() &&
         std::equal(text.begin(), text.end(), s_.begin() + static_cast<std::ptrdiff_t>(i_),
                    [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
}

bool XmlReader::skip_past(std::string_view end) {
  while (i_ < s_.size()) {
    if (starts(end)) {
      i_ += end.size();
      return true;
    }
    ++i_;
  }
  return false;
}

void XmlReader::skip_space() {
  while (i_ < s_.size() && is_space(s_[i_])) ++i_;
}

std::string_view XmlReader::read_name() {
  const std::size_t start = i_;
  while (i_ < s_.size() && is_name_char(s_[i_])) ++i_;
  return {reinterpret_cast<const char*>(s_.data()) + start, i_ - start};
}

// "<?xml ... ?>" may say the encoding; any other instruction is skipped.
bool XmlReader::declaration_or_instruction() {
  i_ += 2;
  if (read_name() != "xml") return skip_past("?>");
  const bool keep_values = std::exchange(keep_values_, true);  // the encoding is needed all the same
  const bool read = read_attributes();
  keep_values_ = keep_values;
  if (!read) return false;
  skip_space();
  if (!starts("?>")) return false;
  i_ += 2;
  if (const auto encoding = attribute("encoding"); encoding && xml_equals_ci(*encoding, "UTF-8")) utf8_ = true;
  return true;
}

bool XmlReader::read_attributes() {
  attribute_count_ = 0;
  decoded_count_ = 0;
  for (;;) {
    skip_space();
    if (i_ >= s_.size()) return false;
    if (!is_name_char(s_[i_])) return true;
    if (attribute_count_ == attributes_.size()) attributes_.emplace_back();
    auto& attribute = attributes_[attribute_count_];
    attribute.name = read_name();
    skip_space();
    if (i_ >= s_.size() || s_[i_] != '=') return false;
    ++i_;
    skip_space();
    if (!read_value(attribute.value)) return false;
    ++attribute_count_;
  }
}

// A quoted value. It stays a view of the text unless an entity or a Latin-1
// character has to be decoded.
bool XmlReader::read_value(std::string_view& value) {
  if (i_ >= s_.size() || (s_[i_] != '"' && s_[i_] != '\'')) return false;
  const std::uint8_t quote = s_[i_++];
  const std::size_t start = i_;
  bool plain = true;
  for (; i_ < s_.size() && s_[i_] != quote; ++i_) {
    if (s_[i_] == '<') return false;
    if (s_[i_] == '&' || (!utf8_ && s_[i_] >= 0x80)) plain = false;
  }
  if (i_ >= s_.size()) return false;
  const std::size_t end = i_++;
  if (plain || !keep_values_) {
    value = keep_values_ ? std::string_view(reinterpret_cast<const char*>(s_.data()) + start, end - start)
                         : std::string_view();
    if (plain) return true;
  }
  std::string* out = nullptr;
  if (keep_values_) {
    if (decoded_count_ == decoded_.size()) decoded_.emplace_back();
    out = &decoded_[decoded_count_++];
    out->clear();
  }
  const std::size_t after = i_;
  for (i_ = start; i_ < end;) {
    if (s_[i_] == '&') {
      if (!entity(out)) return false;
      if (i_ > end) return false;  // the reference ran past the quote
    } else {
      const std::uint8_t c = s_[i_++];
      if (!out) continue;
      if (utf8_ || c < 0x80) {
        out->push_back(static_cast<char>(c));
      } else {
        append_utf8(*out, c);
      }
    }
  }
  i_ = after;
  if (out) value = *out;
  return true;
}

bool XmlReader::entity(std::string* out) {
  const std::size_t start = ++i_;
  while (i_ < s_.size() && s_[i_] != ';' && i_ - start < 12) ++i_;
  if (i_ >= s_.size() || s_[i_] != ';') return false;
  const std::string_view ref(reinterpret_cast<const char*>(s_.data()) + start, i_ - start);
  ++i_;
  const auto put = [&](char c) {
    if (out) out->push_back(c);
    return true;
  };
  if (ref == "lt") return put('<');
  if (ref == "gt") return put('>');
  if (ref == "amp") return put('&');
  if (ref == "quot") return put('"');
  if (ref == "apos") return put('\'');
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
  if (out) append_utf8(*out, cp);
  return true;
}

}  // namespace wardenix
