#include "trigramTable.h"

#include <utility>

namespace {

// A key that no window packs to: windows use the low 24 bits only.
constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;

// Slots of a fresh table: 2^kInitialBits.
constexpr unsigned int kInitialBits = 12;
constexpr std::size_t kInitialSlots = std::size_t{1} << kInitialBits;

// Fibonacci hashing: the top bits of key times 2^32 / golden ratio.
constexpr std::uint32_t kMultiplier = 2654435769u;

}  // namespace

trigramTable::trigramTable()
    : entries(kInitialSlots, {kEmpty, kNone}),
      used(0),
      shift(32 - kInitialBits) {}

trigramTable::~trigramTable() = default;

std::uint32_t trigramTable::keyOf(const char* window) {
  const auto byte = [window](int i) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(window[i]));
  };
  return byte(0) << 16 | byte(1) << 8 | byte(2);
}

std::string trigramTable::windowOf(std::uint32_t key) {
  const auto byte = [key](int shift) {
    return static_cast<char>(static_cast<unsigned char>(key >> shift));
  };
  return std::string{byte(16), byte(8), byte(0)};
}

std::uint32_t trigramTable::find(std::uint32_t key) const {
  const std::size_t mask = entries.size() - 1;
  for (std::size_t at = home(key);; at = (at + 1) & mask) {
    if (entries[at].key == key) return entries[at].position;
    if (entries[at].key == kEmpty) return kNone;
  }
}

std::uint32_t& trigramTable::slot(std::uint32_t key) {
  // Keep at most half the slots in use, so probes stay short.
  if (2 * (used + 1) > entries.size()) grow();
  const std::size_t mask = entries.size() - 1;
  std::size_t at = home(key);
  while (entries[at].key != key && entries[at].key != kEmpty) {
    at = (at + 1) & mask;
  }
  if (entries[at].key == kEmpty) {
    entries[at].key = key;
    ++used;
  }
  return entries[at].position;
}

void trigramTable::clear() {
  entries.assign(kInitialSlots, {kEmpty, kNone});
  used = 0;
  shift = 32 - kInitialBits;
}

std::size_t trigramTable::home(std::uint32_t key) const {
  return static_cast<std::uint32_t>(key * kMultiplier) >> shift;
}

// Doubles the slots and enters every key anew. There are at most 2^24 keys,
// so at half load the table never needs more than 2^25 slots and shift
// stays above 0.
void trigramTable::grow() {
  std::vector<entry> old(entries.size() * 2, {kEmpty, kNone});
  std::swap(old, entries);
  --shift;
  used = 0;
  for (const entry& e : old) {
    if (e.key != kEmpty) slot(e.key) = e.position;
  }
}
