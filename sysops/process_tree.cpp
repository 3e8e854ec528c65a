#include "sysops/process_tree.h"

namespace wardenix {

std::vector<std::uint32_t> GrowProcessTree(const std::vector<ProcessLink>& table,
                                           std::set<std::uint32_t>& members) {
  std::vector<std::uint32_t> added;
  // Parents may be listed after their children: repeat until nothing joins.
  bool grew = true;
  while (grew) {
    grew = false;
    for (const ProcessLink& p : table) {
      if (p.pid == 0 || members.count(p.pid) != 0) continue;
      if (members.count(p.parent) != 0 || members.count(p.session) != 0) {
        members.insert(p.pid);
        added.push_back(p.pid);
        grew = true;
      }
    }
  }
  return added;
}

}  // namespace wardenix
