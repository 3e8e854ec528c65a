#pragma once
// What reading one data packet may cost in memory. Whatever its form, a
// packet is read into at most as much memory again as its own size, so that a
// reply never costs more than twice its size while it is loaded; a packet
// that would need more is refused as one the store has no memory for.
#include <algorithm>
#include <cstddef>

namespace wardenix {

// The largest packet a store reads, binary or XML: as large as the largest
// reply the DataSnap client takes in.
inline constexpr std::size_t kMaxPacketBytes = std::size_t{32} << 20;

// Every packet may take this much whatever its size, so that a small packet
// with wide metadata still loads.
inline constexpr std::size_t kPacketBudgetFloor = std::size_t{1} << 20;

class PacketBudget {
 public:
  explicit PacketBudget(std::size_t packet_size)
      : left_(std::max(packet_size, kPacketBudgetFloor)) {}

  // Takes `bytes` from what is left; false, taking nothing, when less is left.
  bool take(std::size_t bytes) {
    if (bytes > left_) return false;
    left_ -= bytes;
    return true;
  }
  std::size_t left() const { return left_; }

 private:
  std::size_t left_;
};

}  // namespace wardenix
