#include "wire/string_coder.h"

namespace wardenix {

std::size_t TDBXStringEncoder::EncodedLength(UStringView text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] > 0xFE) return i + 1 + 2 * (text.size() - i);
  }
  return text.size();
}

void TDBXStringEncoder::Encode(UStringView text, std::uint8_t* out) {
  std::size_t i = 0;
  for (; i < text.size() && text[i] <= 0xFE; ++i) *out++ = static_cast<std::uint8_t>(text[i]);
  if (i == text.size()) return;
  *out++ = 0xFF;
  for (; i < text.size(); ++i) {
    *out++ = static_cast<std::uint8_t>(text[i] >> 8);
    *out++ = static_cast<std::uint8_t>(text[i]);
  }
}

void TDBXCharDecoder::Decode(std::span<const std::uint8_t> bytes, UString& out) {
  std::size_t i = 0;
  if (!wide_) {
    const std::size_t start = out.size();
    std::size_t n = 0;
    while (n < bytes.size() && bytes[n] != 0xFF) ++n;
    out.resize(start + n);
    for (std::size_t k = 0; k < n; ++k) out[start + k] = bytes[k];
    i = n;
    if (i == bytes.size()) return;
    wide_ = true;
    ++i;  // the FF
  }
  if (has_pending_ && i < bytes.size()) {
    out += static_cast<char16_t>((pending_ << 8) | bytes[i++]);
    has_pending_ = false;
  }
  for (; i + 1 < bytes.size(); i += 2) {
    out += static_cast<char16_t>((bytes[i] << 8) | bytes[i + 1]);
  }
  if (i < bytes.size()) {
    pending_ = bytes[i];
    has_pending_ = true;
  }
}

UString DecodeText(std::span<const std::uint8_t> bytes) {
  // One unit per byte up to the FF, one per two bytes after it.
  std::size_t narrow = 0;
  while (narrow < bytes.size() && bytes[narrow] != 0xFF) ++narrow;
  const std::size_t wide = narrow < bytes.size() ? (bytes.size() - narrow - 1) / 2 : 0;
  UString text;
  text.reserve(narrow + wide);
  TDBXCharDecoder().Decode(bytes, text);
  return text;
}

}  // namespace wardenix
