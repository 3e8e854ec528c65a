#pragma once
// Field definitions of a dataset, one per column descriptor of a packet
// table, in descriptor order (members of structured columns and array
// elements in their place).
#include <cstdint>
#include <vector>

#include "dataset/packet_metadata.h"
#include "runtime/ustring.h"

namespace wardenix {

struct TFieldDef {
  UString Name;
  std::uint32_t DataType = 0;  // the packet's type code
  std::uint32_t Size = 0;      // the low 16 bits of the type word
  std::uint16_t Attributes = 0;
  std::vector<TFieldDef> ChildDefs;  // the columns of a nested table
};

// Names are the stored names decoded as UTF-8, the "FIELDNAME" option in
// place of a name cut at 31 bytes, and "%s_%d" with 1, 2, ... for a name
// already taken in the same table (compared without regard to case).
std::vector<TFieldDef> BuildFieldDefs(const PacketTable& table);

}  // namespace wardenix
