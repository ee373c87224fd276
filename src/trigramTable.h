// The lookup from a window's three bytes to its trigram record, beside the
// index's trigram list.
//
// An open-addressing table with linear probing: key and record pointer sit
// side by side in one flat array, so a lookup of a window costs one cache
// line rather than the bucket, node and record visits of std::unordered_map,
// which made it the largest cost of a build after the log. It never owns
// the records it points at.

#ifndef FARWANDER_SRC_TRIGRAMTABLE_H_
#define FARWANDER_SRC_TRIGRAMTABLE_H_

#include <cstdint>
#include <vector>

class trigram;

class trigramTable {
 public:
  trigramTable();

  trigramTable(const trigramTable&) = delete;
  trigramTable& operator=(const trigramTable&) = delete;

  virtual ~trigramTable();

  // Returns the packed key of the three bytes at window (any byte values).
  static std::uint32_t keyOf(const char* window);

  // Returns the trigram stored under key, or nullptr.
  trigram* find(std::uint32_t key) const;

  // Returns the slot for key, holding nullptr when the key is new; the
  // caller stores a non-null record there before the next call.
  trigram*& slot(std::uint32_t key);

  // Forgets every entry (the records themselves are not touched).
  void clear();

 private:
  struct entry {
    std::uint32_t key;
    trigram* value;
  };

  std::size_t home(std::uint32_t key) const;
  void grow();

  std::vector<entry> entries;  // 2^k slots; kEmpty keys are free
  std::size_t used;            // slots holding a key
  unsigned int shift;          // 32 - k: a hash's top k bits pick the slot
};

#endif  // FARWANDER_SRC_TRIGRAMTABLE_H_
