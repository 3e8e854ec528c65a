#pragma once
// Compact JSON text, written as it is built. Given a sink, the writer hands
// the text on in pieces as it grows, so that a report of any length takes
// little memory; without one it keeps the whole text.
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace wardenix {

class JsonWriter {
 public:
  using Sink = std::function<void(std::string_view)>;

  JsonWriter() = default;
  explicit JsonWriter(Sink sink) : sink_(std::move(sink)) {}

  JsonWriter& begin_object();
  JsonWriter& end_object();
  JsonWriter& begin_array();
  JsonWriter& end_array();
  JsonWriter& key(std::string_view name);
  JsonWriter& string(std::string_view utf8);
  // One string written in parts, for values too long to build whole.
  JsonWriter& begin_string();
  JsonWriter& string_part(std::string_view utf8);
  JsonWriter& end_string();
  JsonWriter& integer(std::int64_t value);
  JsonWriter& unsigned_integer(std::uint64_t value);
  // Shortest text that reads back as the same double; finite values only.
  JsonWriter& number(double value);
  JsonWriter& boolean(bool value);
  JsonWriter& null();

  // Hands the text not yet handed on to the sink.
  void flush();
  // The text kept: all of it without a sink, what is not yet handed on with one.
  const std::string& text() const { return out_; }

 private:
  void separate();
  void spill();

  Sink sink_;
  std::string out_;
  // Per open container: whether the next member needs a comma first.
  std::vector<bool> needs_comma_;
  bool after_key_ = false;
};

// Bytes as one string of lower-case hexadecimal digits, two a byte, written in
// pieces so that a long value costs little more than a piece.
void write_hex(JsonWriter& json, std::span<const std::uint8_t> bytes);

}  // namespace wardenix
