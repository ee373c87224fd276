// The lookups that a search reads: for every distinct window of the towns'
// names, the towns that hold it (its postings), and the towns by index.
//
// They sit beside the controller's lists rather than replacing them: the
// lists keep the orders that the build log and the search's tie-break show,
// but finding a window or a town in them means scanning from the front,
// seconds on a real city file, and their nodes lie apart in memory. Here a
// window's three bytes find its position through the window table, and the
// postings of every window lie in one array of 32-bit town indices, in file
// order, an index once per occurrence of the window in the name.
//
// The build walks the towns' windows twice. The first walk writes the log
// and counts each window's entries; the second sorts the town indices into
// one group per window (a counting sort). Filling a growing list per window
// during the first walk was the alternative: it writes far from the last
// write at every window, and on a large city file those cache and TLB misses
// cost more than the rest of the build.

#ifndef FARWANDER_SRC_POSTINGINDEX_H_
#define FARWANDER_SRC_POSTINGINDEX_H_

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "town.h"
#include "windowTable.h"

class buildLog;

class postingIndex {
 public:
  // The position of a window that no town holds.
  static constexpr std::uint32_t kNoPosition = windowTable::kNoPosition;

  // The town indices of one window's postings, in file order.
  struct townRange {
    const unsigned int* first;
    const unsigned int* last;
    const unsigned int* begin() const { return first; }
    const unsigned int* end() const { return last; }
  };

  postingIndex();

  postingIndex(const postingIndex&) = delete;
  postingIndex& operator=(const postingIndex&) = delete;

  // Makes the lookups for towns, numbered 0, 1, ... in list order, and
  // writes the log entry of every window, in town order and then position
  // order; the lookups must be empty before. Positions follow the windows'
  // first appearance. The towns must outlive the lookups. Throws
  // std::bad_alloc when memory runs out; clear() then makes it whole again.
  void build(const std::list<town*>& towns, buildLog& log);

  // Forgets every window and town and releases the memory.
  void clear();

  // Returns the number of distinct windows; positions run below it.
  std::uint32_t windowCount() const;

  // Returns the number of towns.
  std::size_t townCount() const;

  // Returns the number of postings entries of all windows.
  std::size_t entryCount() const;

  // Returns the window at position, below windowCount().
  std::string windowAt(std::uint32_t position) const;

  // Returns the position of the three bytes at window, or kNoPosition.
  std::uint32_t find(const char* window) const;

  // Returns the towns that hold the window at position, below
  // windowCount(): never empty.
  townRange townsHolding(std::uint32_t position) const;

  // Returns the town with the given index, below townCount(); the
  // controller owns it.
  const town& townAt(unsigned int index) const;

 private:
  std::vector<std::size_t> enterWindows(const std::list<town*>& towns,
                                        buildLog& log);
  void groupTowns(const std::vector<std::size_t>& counts);

  windowTable positionOfWindow;          // window key -> position
  std::vector<std::uint32_t> windows;    // position -> window key
  std::vector<const town*> townByIndex;  // town index -> the town

  // The postings of window p: postings[postingStart[p]] up to, and not
  // including, postings[postingStart[p + 1]].
  std::vector<unsigned int> postings;
  std::vector<std::size_t> postingStart;
};

#endif  // FARWANDER_SRC_POSTINGINDEX_H_
