#include "datasnap/callback_request.h"

#include <cctype>
#include <charconv>

namespace wardenix {
namespace {

// Deeper nesting than this is refused rather than followed.
constexpr int kMaxDepth = 64;

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  void Blanks() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' ||
                                  text_[at_] == '\r')) {
      ++at_;
    }
  }
  bool Take(char c) {
    Blanks();
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  std::size_t At() const { return at_; }
  bool AtEnd() {
    Blanks();
    return at_ == text_.size();
  }
  std::string_view Slice(std::size_t from, std::size_t to) const {
    return text_.substr(from, to - from);
  }

  bool Value(int depth) {
    Blanks();
    if (at_ >= text_.size() || depth > kMaxDepth) return false;
    switch (text_[at_]) {
      case '{': return Object(depth);
      case '[': return Array(depth);
      case '"': return String();
      case 't': return Word("true");
      case 'f': return Word("false");
      case 'n': return Word("null");
      default: return Number();
    }
  }

  bool Number() {
    if (at_ < text_.size() && text_[at_] == '-') ++at_;
    if (at_ >= text_.size()) return false;
    if (text_[at_] == '0') {
      ++at_;  // no leading zeros: a 0 stands alone
    } else if (!Digits()) {
      return false;
    }
    if (at_ < text_.size() && text_[at_] == '.') {
      ++at_;
      if (!Digits()) return false;
    }
    if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
      ++at_;
      if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) ++at_;
      if (!Digits()) return false;
    }
    return true;
  }

 private:
  bool Digits() {
    const std::size_t start = at_;
    while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
    return at_ > start;
  }
  bool Word(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }
  bool String() {
    ++at_;  // the opening quote
    while (at_ < text_.size()) {
      const auto c = static_cast<unsigned char>(text_[at_++]);
      if (c == '"') return true;
      if (c < 0x20) return false;
      if (c != '\\') continue;
      if (at_ >= text_.size()) return false;
      const char escaped = text_[at_++];
      if (escaped == 'u') {
        for (int i = 0; i < 4; ++i, ++at_) {
          if (at_ >= text_.size() || !std::isxdigit(static_cast<unsigned char>(text_[at_]))) {
            return false;
          }
        }
      } else if (std::string_view("\"\\/bfnrt").find(escaped) == std::string_view::npos) {
        return false;
      }
    }
    return false;
  }
  bool Array(int depth) {
    ++at_;
    if (Take(']')) return true;
    do {
      if (!Value(depth + 1)) return false;
    } while (Take(','));
    return Take(']');
  }
  bool Object(int depth) {
    ++at_;
    if (Take('}')) return true;
    do {
      Blanks();
      if (at_ >= text_.size() || text_[at_] != '"' || !String()) return false;
      if (!Take(':') || !Value(depth + 1)) return false;
    } while (Take(','));
    return Take('}');
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace

std::optional<CallbackRequest> ParseCallbackRequest(std::string_view json) {
  Scanner scan(json);
  if (!scan.Take('[')) return std::nullopt;
  scan.Blanks();
  const std::size_t ordinal_at = scan.At();
  if (!scan.Number()) return std::nullopt;
  CallbackRequest request;
  const std::string_view ordinal = scan.Slice(ordinal_at, scan.At());
  const auto [end, error] =
      std::from_chars(ordinal.data(), ordinal.data() + ordinal.size(), request.ordinal);
  if (error != std::errc() || end != ordinal.data() + ordinal.size()) return std::nullopt;
  if (!scan.Take(',')) return std::nullopt;
  scan.Blanks();
  const std::size_t argument_at = scan.At();
  if (!scan.Value(1)) return std::nullopt;
  request.argument = std::string(scan.Slice(argument_at, scan.At()));
  if (!scan.Take(']') || !scan.AtEnd()) return std::nullopt;
  return request;
}

}  // namespace wardenix
