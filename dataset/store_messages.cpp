#include "dataset/store_messages.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace wardenix {

namespace {

// Sorted by code. Most entries belong to editing, indexes and change logs;
// the packet reader raises only a few of them.
constexpr std::pair<std::uint16_t, std::string_view> kMessages[] = {
    {8705, "At beginning of table."},
    {8706, "At end of table."},
    {8708, "Record/Key deleted."},
    {8709, "No current record."},
    {8710, "Could not find record."},
    {8712, "Could not find object."},
    {9473, "Insufficient memory for this operation."},
    {9729, "Key violation."},
    {9732, "Field value required."},
    {9734, "Cannot delete master record with details."},
    {9740, "Field is blank."},
    {9985, "Number is out of range."},
    {9986, "Invalid parameter."},
    {9997, "Index does not exist."},
    {10000, "Invalid field type."},
    {10009, "Name not unique in this context."},
    {10010, "Index name required."},
    {10022, "Invalid index/tag name."},
    {10030, "Invalid BLOB handle in record buffer."},
    {10035, "Index is being used to order table."},
    {10038, "Field name can't be null, datapacket may be corrupted"},
    {10502, "Trying to modify read-only field."},
    {10756, "Operation not applicable."},
    {10757, "Data is not indexed."},
    {10763, "Data is read only."},
    {10767, "Index is read only."},
    {11871, "Type mismatch in expression."},
    {11950, "Record or field constraint failed."},
    {12289, "Capability not supported."},
    {16385, "Delta is empty."},
    {16386, "Nothing to undo."},
    {16387, "Datapacket contains no meta data."},
    {16388, "Trying to append data to a non-partial dataset."},
    {16389, "Mismatch in datapacket."},
    {16392, "Newer version required."},
    {16393, "Blob has not been fetched."},
    {16394, "Details has not been fetched."},
    {16395, "No corresponding master record found."},
    {16396, "Linkfields to detail must be unique."},
    {16397, "Special case: wrong order of updates for fly-away!"},
    {16398, "Cascaded updates not enabled."},
    {16399, "Aggregate was not found."},
    {16400, "Fieldtype not supported for XML."},
    {16401, "Delayed fetching not supported for XML."},
};

}  // namespace

std::optional<std::string_view> store_message(std::int32_t status) {
  const auto code = static_cast<std::uint16_t>(static_cast<std::uint32_t>(status) & 0xFFFFu);
  const auto it = std::lower_bound(std::begin(kMessages), std::end(kMessages), code,
                                   [](const auto& entry, std::uint16_t c) { return entry.first < c; });
  if (it == std::end(kMessages) || it->first != code) return std::nullopt;
  return it->second;
}

}  // namespace wardenix
