#include "dataset/packet_budget.h"

#include <algorithm>

namespace wardenix {

PacketBudget::PacketBudget(std::size_t packet_size) : left_(std::max(packet_size, kPacketBudgetFloor)) {}

bool PacketBudget::take(std::size_t bytes) {
  if (bytes > left_) return false;
  left_ -= bytes;
  return true;
}

}  // namespace wardenix
