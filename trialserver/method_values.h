#pragma once
// The parts every server method is built of: the descriptions of its
// parameters, reading the client's parameter row and writing the reply row,
// in which every parameter's value stands in ordinal order.
#include <cstdint>
#include <vector>

#include "runtime/ustring.h"
#include "trialserver/server_methods.h"
#include "wire/row_buffer.h"

namespace wardenix::trial {

// Parameter directions.
inline constexpr std::int32_t kIn = 1;
inline constexpr std::int32_t kInOut = 3;
inline constexpr std::int32_t kReturn = 4;

ParameterSpec text_parameter(UString name, std::int32_t direction = kIn);
ParameterSpec int_parameter(UString name, std::int32_t direction = kIn);
ParameterSpec variant_parameter(UString name, std::int32_t direction);

// Null reads as empty text and as 0.
UString read_text(TDBXRowBuffer& row, std::int32_t ordinal);
std::int32_t read_int(TDBXRowBuffer& row, std::int32_t ordinal);

// Write a stream or a text value; what does not fit stays in `result.rest`.
void write_stream(TDBXRowBuffer& out, std::int32_t ordinal, std::vector<std::uint8_t> bytes,
                  MethodResult& result);
void write_text(TDBXRowBuffer& out, std::int32_t ordinal, UStringView text, MethodResult& result);
// An input or input/output variant goes back as the client sent it.
void echo_stream(TDBXRowBuffer& in, TDBXRowBuffer& out, std::int32_t ordinal, MethodResult& result);

// The answer of a method that fails: an error object.
MethodResult failure(UString name, UString message);

}  // namespace wardenix::trial
