#include "bench/heap_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> g_live{0};
std::atomic<std::size_t> g_peak{0};

void* counted_alloc(std::size_t size) {
  auto* block = static_cast<std::size_t*>(std::malloc(size + sizeof(std::max_align_t)));
  if (!block) throw std::bad_alloc();
  *block = size;
  const std::size_t live = g_live.fetch_add(size) + size;
  std::size_t peak = g_peak.load();
  while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
  }
  return reinterpret_cast<char*>(block) + sizeof(std::max_align_t);
}

void counted_free(void* p) {
  if (!p) return;
  auto* block = reinterpret_cast<std::size_t*>(static_cast<char*>(p) - sizeof(std::max_align_t));
  g_live.fetch_sub(*block);
  std::free(block);
}

}  // namespace

void* operator new(std::size_t size) { return counted_alloc(size); }
void* operator new[](std::size_t size) { return counted_alloc(size); }
void operator delete(void* p) noexcept { counted_free(p); }
void operator delete[](void* p) noexcept { counted_free(p); }
void operator delete(void* p, std::size_t) noexcept { counted_free(p); }
void operator delete[](void* p, std::size_t) noexcept { counted_free(p); }

namespace wardenix::bench {

std::size_t heap_live() { return g_live.load(); }
std::size_t heap_peak() { return g_peak.load(); }
std::size_t reset_heap_peak() {
  const std::size_t live = g_live.load();
  g_peak.store(live);
  return live;
}

}  // namespace wardenix::bench
