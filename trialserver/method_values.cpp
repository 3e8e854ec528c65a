#include "trialserver/method_values.h"

#include <memory>

namespace wardenix::trial {

ParameterSpec text_parameter(UString name, std::int32_t direction) {
  return {dbx_type::kWideString, 0, direction, 0, 0, std::move(name), 0, 0};
}
ParameterSpec int_parameter(UString name, std::int32_t direction) {
  return {dbx_type::kInt32, 0, direction, 10, 0, std::move(name), 4, 0};
}
ParameterSpec variant_parameter(UString name, std::int32_t direction) {
  return {dbx_type::kVariant, 0, direction, 0, 0, std::move(name), 0, 0};
}

UString read_text(TDBXRowBuffer& row, std::int32_t ordinal) {
  return row.GetNull(ordinal) ? UString() : row.ReadString(ordinal);
}

std::int32_t read_int(TDBXRowBuffer& row, std::int32_t ordinal) {
  return row.GetNull(ordinal) ? 0 : row.ReadInt32(ordinal);
}

void write_stream(TDBXRowBuffer& out, std::int32_t ordinal, std::vector<std::uint8_t> bytes,
                  MethodResult& result) {
  auto source = std::make_unique<MemoryByteSource>(std::move(bytes));
  out.WriteBytes(*source);
  if (!source->AtEnd()) result.rest[ordinal] = std::move(source);
}

void write_text(TDBXRowBuffer& out, std::int32_t ordinal, UStringView text, MethodResult& result) {
  if (auto rest = out.WriteString(text)) result.rest[ordinal] = std::move(rest);
}

void echo_stream(TDBXRowBuffer& in, TDBXRowBuffer& out, std::int32_t ordinal,
                 MethodResult& result) {
  const auto source = in.ReadBytes(ordinal);
  if (!source) {
    out.WriteNull();
    return;
  }
  write_stream(out, ordinal, ReadAll(*source), result);
}

MethodResult failure(UString name, UString message) {
  MethodResult result;
  result.error = ServerError{std::move(name), 0, std::move(message)};
  return result;
}

}  // namespace wardenix::trial
