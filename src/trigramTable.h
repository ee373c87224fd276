// The lookup from a window's three bytes to the position of its trigram in
// the index's trigram list, beside that list.
//
// An open-addressing table with linear probing: key and position sit side by
// side in one flat array of 8-byte slots, so a lookup costs one cache line
// rather than the bucket, node and record visits of std::unordered_map,
// which made it the largest cost of a build after the log.

#ifndef FARWANDER_SRC_TRIGRAMTABLE_H_
#define FARWANDER_SRC_TRIGRAMTABLE_H_

#include <cstdint>
#include <string>
#include <vector>

class trigramTable {
 public:
  // The position of a window not in the table.
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

  trigramTable();

  trigramTable(const trigramTable&) = delete;
  trigramTable& operator=(const trigramTable&) = delete;

  virtual ~trigramTable();

  // Returns the key of the three bytes at window (any byte values).
  static std::uint32_t keyOf(const char* window);

  // Returns the three bytes that key was made of.
  static std::string windowOf(std::uint32_t key);

  // Returns the position stored under key, or kNone.
  std::uint32_t find(std::uint32_t key) const;

  // Returns the position slot of key, holding kNone when the key is new; the
  // caller stores a position there before the next call. Only a new key can
  // make the table grow.
  std::uint32_t& slot(std::uint32_t key);

  // Forgets every key.
  void clear();

 private:
  struct entry {
    std::uint32_t key;
    std::uint32_t position;
  };

  std::size_t home(std::uint32_t key) const;
  std::size_t probe(std::uint32_t key) const;
  void grow();

  std::vector<entry> entries;  // 2^k slots; kEmpty keys are free
  std::size_t used;            // slots holding a key
  unsigned int shift;          // 32 - k: a hash's top k bits pick the slot
};

#endif  // FARWANDER_SRC_TRIGRAMTABLE_H_
