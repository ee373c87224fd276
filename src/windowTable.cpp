// The window table: a directory, nodes and leaves of a fixed-depth radix tree
// over the 24 bits of a window's key.

#include "windowTable.h"

namespace {

// Bits of a key that pick a slot at each level: directory, node, leaf.
constexpr unsigned int kDirectoryBits = 14;
constexpr unsigned int kBlockBits = 5;

constexpr std::size_t kDirectorySlots = std::size_t{1} << kDirectoryBits;
constexpr std::uint32_t kBlockSlots = std::uint32_t{1} << kBlockBits;
constexpr std::uint32_t kSlotMask = kBlockSlots - 1;

// A directory or node slot that leads to no block. It is the value of
// kNoPosition too, so one fill empties a node or a leaf.
constexpr std::uint32_t kNoBlock = windowTable::kNoPosition;

// The directory slot of key, and its slot in a node and in a leaf.
std::size_t directorySlot(std::uint32_t key) { return key >> (2 * kBlockBits); }
std::uint32_t nodeSlot(std::uint32_t key) {
  return key >> kBlockBits & kSlotMask;
}
std::uint32_t leafSlot(std::uint32_t key) { return key & kSlotMask; }

}  // namespace

windowTable::windowTable() : directory(kDirectorySlots, kNoBlock) {}

std::uint32_t windowTable::keyOf(const char* window) {
  const auto byte = [window](int i) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(window[i]));
  };
  return byte(0) << 16 | byte(1) << 8 | byte(2);
}

std::string windowTable::windowOf(std::uint32_t key) {
  const auto byte = [key](int shift) {
    return static_cast<char>(static_cast<unsigned char>(key >> shift));
  };
  return std::string{byte(16), byte(8), byte(0)};
}

std::uint32_t windowTable::find(std::uint32_t key) const {
  const std::uint32_t node = directory[directorySlot(key)];
  if (node == kNoBlock) return kNoPosition;
  const std::uint32_t leaf = blocks[node + nodeSlot(key)];
  if (leaf == kNoBlock) return kNoPosition;
  return blocks[leaf + leafSlot(key)];
}

std::uint32_t& windowTable::slot(std::uint32_t key) {
  std::uint32_t& node = directory[directorySlot(key)];
  if (node == kNoBlock) node = newBlock();
  const std::uint32_t linkAt = node + nodeSlot(key);
  if (blocks[linkAt] == kNoBlock) {
    // Made first: making it moves the blocks.
    const std::uint32_t leaf = newBlock();
    blocks[linkAt] = leaf;
  }
  return blocks[blocks[linkAt] + leafSlot(key)];
}

void windowTable::clear() {
  directory.assign(kDirectorySlots, kNoBlock);
  // Assigned anew, not cleared, so that their memory goes too.
  blocks = std::vector<std::uint32_t>();
}

// Appends an empty block to blocks and returns its offset. There are at most
// 2^14 nodes and 2^19 leaves, so offsets stay below 2^25.
std::uint32_t windowTable::newBlock() {
  const auto offset = static_cast<std::uint32_t>(blocks.size());
  blocks.resize(blocks.size() + kBlockSlots, kNoBlock);
  return offset;
}
