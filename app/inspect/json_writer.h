#pragma once
// Compact JSON text, written as it is built.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace wardenix {

class JsonWriter {
 public:
  JsonWriter& begin_object();
  JsonWriter& end_object();
  JsonWriter& begin_array();
  JsonWriter& end_array();
  JsonWriter& key(std::string_view name);
  JsonWriter& string(std::string_view utf8);
  JsonWriter& integer(std::int64_t value);
  JsonWriter& unsigned_integer(std::uint64_t value);
  // Shortest text that reads back as the same double; finite values only.
  JsonWriter& number(double value);
  JsonWriter& boolean(bool value);
  JsonWriter& null();

  const std::string& text() const { return out_; }

 private:
  void separate();

  std::string out_;
  // Per open container: whether the next member needs a comma first.
  std::vector<bool> needs_comma_;
  bool after_key_ = false;
};

}  // namespace wardenix
