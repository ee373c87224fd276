// The ranking of one query: which towns hold the most of its windows, and
// how many hits each collected. Only the ten that rank leave it; the
// controller turns them into tallies and result records.
//
// Hits are counted by value, in one counter per town that lives from search
// to search, while the postings of each distinct query window are walked
// once, weighted by the window's occurrences in the query. A tally record
// per town met, found by scanning the tallies, was the alternative: the
// tally step then grows with the square of the towns met, and every town
// met costs an allocation.

#ifndef FARWANDER_SRC_RANKING_H_
#define FARWANDER_SRC_RANKING_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class postingIndex;

class ranking {
 public:
  // Most towns that rank.
  static constexpr std::size_t kMaxResults = 10;

  // A town that ranks, by its town index, with its hits.
  struct contender {
    unsigned int townIndex;
    std::uint64_t hits;
  };

  // The towns that rank for one query, in the order the search first met
  // them, and the number of query windows found in the index, repeats
  // counted: the denominator of every share, and the cap of every count.
  struct contenders {
    std::array<contender, kMaxResults> towns;
    std::size_t count;
    std::uint64_t windowsFound;
  };

  ranking();

  ranking(const ranking&) = delete;
  ranking& operator=(const ranking&) = delete;

  // Returns the at most ten towns of postings with the most hits for the
  // normalised query, equal hits in the order they were first met: by the
  // first query window whose postings hold the town, then in file order. A
  // town collects one hit per occurrence of a found window in the query and
  // in its name, capped at windowsFound. A query under three bytes, or with
  // no window in the index: none. Throws std::bad_alloc when memory runs out
  // for the list of the query's windows, or while the counters are first
  // sized for an index; the counters are then as they were between
  // searches.
  contenders rank(const postingIndex& postings, const std::string& query);

  // Releases the counters, sized for an index that is being replaced.
  void clear();

 private:
  // A distinct query window, by its position in the index, with the number
  // of times it occurs in the query.
  struct weightedWindow {
    std::uint32_t position;
    std::uint64_t occurrences;
  };

  std::vector<weightedWindow> windowsOf(const postingIndex& postings,
                                        const std::string& query);
  std::size_t tally(const postingIndex& postings,
                    const std::vector<weightedWindow>& mySearch,
                    std::uint64_t windowsFound);
  void takeContenders(std::size_t metCount, contenders& ranked);

  // The counters of a search. Between searches every hit count is 0 and
  // every slot kNoSlot: a search sets them and puts them back before it
  // returns, and nothing else touches them.
  std::vector<std::uint64_t> hitsOfTown;    // town index -> hits
  std::vector<unsigned int> townsMet;       // in order of first meeting
  std::vector<std::uint32_t> slotOfWindow;  // position -> place in mySearch
};

#endif  // FARWANDER_SRC_RANKING_H_
