#pragma once
// UTF-16 text, the program's one text type, and the conversions at its edges.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace wardenix {

using UString = std::u16string;
using UStringView = std::u16string_view;

// Invalid UTF-8 sequences decode to U+FFFD; nothing is rejected.
UString from_utf8(std::string_view text);
// Unpaired surrogates encode as U+FFFD.
std::string to_utf8(UStringView text);
// Appends one code point (up to U+10FFFF) in UTF-8.
void append_utf8(std::string& out, char32_t code_point);
// Every byte becomes the character of the same number.
UString from_latin1(std::string_view text);
// True when `bytes` is well-formed UTF-8.
bool is_valid_utf8(std::string_view bytes);

// Upper-casing that touches only the 26 ASCII letters.
char16_t ascii_upper(char16_t c);
UString ascii_upper(UStringView text);
bool equals_ascii_ci(UStringView a, UStringView b);

UString to_ustring(std::int64_t value);
UString to_ustring_unsigned(std::uint64_t value);

// Strips characters up to and including the blank from both ends.
UString trim(UStringView text);

// Replaces the placeholders %s and %d, in order, by the arguments; "%%" is a
// percent sign. Missing arguments leave the placeholder as it stands.
UString format_message(UStringView pattern, std::initializer_list<UStringView> args);

}  // namespace wardenix
