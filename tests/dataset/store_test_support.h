#pragma once
// Shared helpers of the dataset tests.
#include <cstdint>
#include <string>
#include <vector>

#include "dataset/data_store.h"
#include "tests/dataset/packet_writer.h"

namespace wardenix::test {

inline std::int32_t append(DataStore& store, Bytes packet, bool last = true) {
  return store.AppendPacket(Variant::from_bytes(std::move(packet)), last);
}

inline std::int32_t load_status(Bytes packet) {
  DataStore store;
  return append(store, std::move(packet));
}

// `prefix` followed by the number (built with append: the cross compiler
// warns wrongly about "literal" + std::string).
inline std::string numbered(std::string_view prefix, std::size_t n) {
  std::string s(prefix);
  s.append(std::to_string(n));
  return s;
}

inline Bytes bytes_of(std::string_view text) { return Bytes(text.begin(), text.end()); }

inline Bytes bytes_of(std::span<const std::uint8_t> span) { return Bytes(span.begin(), span.end()); }

}  // namespace wardenix::test
