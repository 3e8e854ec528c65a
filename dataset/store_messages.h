#pragma once
// The data store's statuses and the texts that go with them. A status is a
// 32-bit value whose low 16 bits are the code; 0 is success.
#include <cstdint>
#include <optional>
#include <string_view>

namespace wardenix {

namespace store_status {
inline constexpr std::int32_t kOk = 0;
inline constexpr std::int32_t kCouldNotFindObject = 8712;
inline constexpr std::int32_t kInsufficientMemory = 9473;
inline constexpr std::int32_t kInvalidParameter = 9986;
inline constexpr std::int32_t kInvalidFieldType = 10000;
inline constexpr std::int32_t kFieldNameNull = 10038;
inline constexpr std::int32_t kNotApplicable = 10756;
inline constexpr std::int32_t kNoMetadata = 16387;
inline constexpr std::int32_t kNonPartialAppend = 16388;
inline constexpr std::int32_t kMismatch = 16389;
}  // namespace store_status

// The text of a status (looked up by its low 16 bits), or nothing for a code
// the store has no text for.
std::optional<std::string_view> store_message(std::int32_t status);

}  // namespace wardenix
