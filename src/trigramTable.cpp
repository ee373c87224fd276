// The window table: open addressing with linear probing over 8-byte slots.

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
  return entries[probe(key)].position;
}

std::uint32_t& trigramTable::slot(std::uint32_t key) {
  std::size_t at = probe(key);
  if (entries[at].key == key) return entries[at].position;
  // A new key: keep at most half the slots in use, so probes stay short.
  if (2 * (used + 1) > entries.size()) {
    grow();
    at = probe(key);
  }
  entries[at].key = key;
  ++used;
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

// Returns the slot that holds key, or the free slot where it would go.
std::size_t trigramTable::probe(std::uint32_t key) const {
  const std::size_t mask = entries.size() - 1;
  std::size_t at = home(key);
  while (entries[at].key != key && entries[at].key != kEmpty) {
    at = (at + 1) & mask;
  }
  return at;
}

// Doubles the slots and enters every key anew. It grows only when a new key
// goes in, and there are at most 2^24 keys, so at half load the table never
// needs more than 2^25 slots and shift stays above 0.
void trigramTable::grow() {
  std::vector<entry> old(entries.size() * 2, {kEmpty, kNone});
  std::swap(old, entries);
  --shift;
  used = 0;
  for (const entry& e : old) {
    if (e.key != kEmpty) slot(e.key) = e.position;
  }
}
