#pragma once
// Which processes belong to the trees of some root processes.
#include <cstdint>
#include <set>
#include <vector>

namespace wardenix {

struct ProcessLink {
  std::uint32_t pid = 0;
  std::uint32_t parent = 0;
  std::uint32_t session = 0;
};

// Adds to `members` every process of `table` that descends from a member
// through parent links, or whose session is led by a member (a descendant
// whose parent ended was handed to another parent but stays in the
// session). Returns the processes added.
std::vector<std::uint32_t> GrowProcessTree(const std::vector<ProcessLink>& table,
                                           std::set<std::uint32_t>& members);

}  // namespace wardenix
