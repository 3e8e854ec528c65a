#pragma once
// The text form of row values: code units up to FE as one byte each; at the
// first unit above FE a byte FF, and from there on every unit as two bytes
// big-endian.
#include <cstdint>
#include <span>

#include "runtime/ustring.h"

namespace wardenix {

class TDBXStringEncoder {
 public:
  static std::size_t EncodedLength(UStringView text);
  // Writes the EncodedLength(text) bytes to `out`.
  static void Encode(UStringView text, std::uint8_t* out);
};

// Decodes segment after segment; a two-byte unit may be split across two.
class TDBXCharDecoder {
 public:
  void Decode(std::span<const std::uint8_t> bytes, UString& out);

 private:
  bool wide_ = false;
  bool has_pending_ = false;
  std::uint8_t pending_ = 0;
};

// The whole text of complete encoded bytes, held in exactly its length.
UString DecodeText(std::span<const std::uint8_t> bytes);

}  // namespace wardenix
