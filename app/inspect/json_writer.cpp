#include "app/inspect/json_writer.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace wardenix {

namespace {

// Text is handed to the sink in pieces of about this size.
constexpr std::size_t kPieceBytes = 64 * 1024;

}  // namespace

void JsonWriter::spill() {
  if (sink_ && out_.size() >= kPieceBytes) flush();
}

void JsonWriter::flush() {
  if (!sink_ || out_.empty()) return;
  sink_(out_);
  out_.clear();
}

void JsonWriter::separate() {
  spill();
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (!needs_comma_.empty()) {
    if (needs_comma_.back()) out_.push_back(',');
    needs_comma_.back() = true;
  }
}

JsonWriter& JsonWriter::begin_object() {
  separate();
  out_.push_back('{');
  needs_comma_.push_back(false);
  return *this;
}

JsonWriter& JsonWriter::end_object() {
  out_.push_back('}');
  needs_comma_.pop_back();
  spill();
  return *this;
}

JsonWriter& JsonWriter::begin_array() {
  separate();
  out_.push_back('[');
  needs_comma_.push_back(false);
  return *this;
}

JsonWriter& JsonWriter::end_array() {
  out_.push_back(']');
  needs_comma_.pop_back();
  spill();
  return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
  string(name);
  out_.push_back(':');
  after_key_ = true;
  return *this;
}

JsonWriter& JsonWriter::string(std::string_view utf8) { return begin_string().string_part(utf8).end_string(); }

JsonWriter& JsonWriter::begin_string() {
  separate();
  out_.push_back('"');
  return *this;
}

JsonWriter& JsonWriter::end_string() {
  out_.push_back('"');
  spill();
  return *this;
}

JsonWriter& JsonWriter::string_part(std::string_view utf8) {
  for (const char c : utf8) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out_.push_back('\\');
      out_.push_back(c);
    } else if (u < 0x20) {
      static constexpr char kHex[] = "0123456789abcdef";
      out_ += "\\u00";
      out_.push_back(kHex[u >> 4]);
      out_.push_back(kHex[u & 0xF]);
    } else {
      out_.push_back(c);
    }
    spill();
  }
  return *this;
}

JsonWriter& JsonWriter::integer(std::int64_t value) {
  separate();
  out_ += std::to_string(value);
  return *this;
}

JsonWriter& JsonWriter::unsigned_integer(std::uint64_t value) {
  separate();
  out_ += std::to_string(value);
  return *this;
}

JsonWriter& JsonWriter::number(double value) {
  separate();
  std::array<char, 32> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  out_.append(buffer.data(), result.ptr);
  return *this;
}

JsonWriter& JsonWriter::boolean(bool value) {
  separate();
  out_ += value ? "true" : "false";
  return *this;
}

JsonWriter& JsonWriter::null() {
  separate();
  out_ += "null";
  return *this;
}

void write_hex(JsonWriter& json, std::span<const std::uint8_t> bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  constexpr std::size_t kPiece = 4096;
  json.begin_string();
  std::string text;
  while (!bytes.empty()) {
    const auto piece = bytes.first(std::min(bytes.size(), kPiece));
    text.clear();
    for (const auto b : piece) {
      text.push_back(kHex[b >> 4]);
      text.push_back(kHex[b & 0xF]);
    }
    json.string_part(text);
    bytes = bytes.subspan(piece.size());
  }
  json.end_string();
}

}  // namespace wardenix
