#include "entrySlab.h"

#include <memory>

entrySlab::entrySlab(void* region, std::size_t size,
                     std::pmr::memory_resource* overflow)
    : next(region), left(size), overflow(overflow) {}

void* entrySlab::do_allocate(std::size_t bytes, std::size_t alignment) {
  if (std::align(alignment, bytes, next, left) == nullptr) {
    return overflow->allocate(bytes, alignment);
  }
  void* entry = next;
  next = static_cast<char*>(next) + bytes;
  left -= bytes;
  return entry;
}

// Entries live until the whole index is released; freeing one is a no-op,
// as it is for the monotonic overflow the controller gives.
void entrySlab::do_deallocate(void*, std::size_t, std::size_t) {}

bool entrySlab::do_is_equal(const memory_resource& other) const noexcept {
  return this == &other;
}
