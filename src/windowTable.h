// The window table: from a window's key, its three bytes packed into 24 bits,
// to the window's position in the index, for postingIndex.
//
// A radix tree of fixed depth, whose slots no two keys share: the key's top
// 14 bits pick a slot of the directory, its next 5 bits a slot of a node, its
// last 5 bits a slot of a leaf, which holds the position. Nodes and leaves
// have 32 slots each and are made only where windows occur: a lowercase
// letter's five low bits fill one leaf, so on real names one block serves
// many windows. A lookup is three reads and an insert makes at most two
// blocks, whatever windows a city file holds.
//
// A hash table with open addressing was the alternative: a read or two on
// real names, but a city file can choose windows whose hashes collide, and
// the probes then make a build grow with the square of the file. A seed that
// no file can know would make such files unlikely, not impossible; here
// there are none.

#ifndef FARWANDER_SRC_WINDOWTABLE_H_
#define FARWANDER_SRC_WINDOWTABLE_H_

#include <cstdint>
#include <string>
#include <vector>

class windowTable {
 public:
  // The position of a window not in the table.
  static constexpr std::uint32_t kNoPosition = 0xFFFFFFFFu;

  // Makes an empty table: its directory, and no node or leaf.
  windowTable();

  windowTable(const windowTable&) = delete;
  windowTable& operator=(const windowTable&) = delete;

  // Returns the key of the three bytes at window (any byte values).
  static std::uint32_t keyOf(const char* window);

  // Returns the three bytes that key, below 2^24, was made of.
  static std::string windowOf(std::uint32_t key);

  // Returns the position stored under key, below 2^24, or kNoPosition.
  std::uint32_t find(std::uint32_t key) const;

  // Returns the position slot of key, below 2^24, holding kNoPosition when
  // the key is new; the reference holds until the next call. Only a new key
  // makes blocks. Throws std::bad_alloc when memory runs out, the keys that
  // were in the table still found.
  std::uint32_t& slot(std::uint32_t key);

  // Forgets every key and releases the nodes and leaves.
  void clear();

 private:
  std::uint32_t newBlock();

  // Top 14 bits of a key -> offset of its node in blocks, or kNoBlock.
  std::vector<std::uint32_t> directory;
  // Nodes and leaves, one after the other, 32 slots each. A node slot holds
  // the offset of a leaf, or kNoBlock; a leaf slot a position, or
  // kNoPosition.
  std::vector<std::uint32_t> blocks;
};

#endif  // FARWANDER_SRC_WINDOWTABLE_H_
