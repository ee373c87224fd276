// The search controller: owns the trigram index, builds it from the city file
// and answers ranked searches against it.
//
// The index is two linked lists of records, myTowns in file order and myTris
// in order of first appearance, and every trigram keeps its town indices in a
// linked list. Those orders are what the build log and the search's
// tie-break show, so the lists stay. Finding a window or a town by scanning
// the lists from the front costs seconds on a real city file, though, so
// lookups sit beside the lists: a hash table from the window's three bytes to
// the trigram's position, and a vector from town index to town. They point at
// the listed records and never own them. Replacing the lists by the lookups
// was rejected: the lookups keep no order.
//
// A search walks postings rather than the lists: every trigram's town
// indices again, in the same order, as 32-bit numbers in one array. It
// counts hits in one counter per town that lives from search to search, and
// makes tally records only for the ten towns that rank. Walking the lists,
// with a tally record for every town met, cost several times as much: the
// nodes lie apart in memory and every town met took two allocations.
//
// A build walks the towns' windows twice. The first walk writes the log and
// counts each trigram's entries; the second sorts the town indices into one
// group per trigram. Then each trigram is made and its list filled in one
// go, and the groups are kept as the postings. Filling the lists during the
// first walk was the alternative: it writes far from the last write at every
// window, and on a large city file those cache and TLB misses cost more than
// the rest of the build.

#ifndef FARWANDER_SRC_CONTROLL_H_
#define FARWANDER_SRC_CONTROLL_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <iostream>
#include <list>
#include <memory>
#include <memory_resource>
#include <string>
#include <vector>

#include "idCount.h"
#include "town.h"
#include "trigram.h"
#include "trigramTable.h"

class buildLog;

class controll {
 public:
  using townList = std::list<town*>;
  using triList = std::list<trigram*>;
  using idList = std::pmr::list<idCount*>;
  using slist = std::list<std::string>;

  // The city file and the build log, in the working directory.
  static constexpr const char* kCityFile = "cities15000.txt";
  static constexpr const char* kLogFile = "createlog.tri";

  // Makes a controller with an empty index that reports to out, which must
  // outlive it.
  explicit controll(std::ostream& out = std::cout);

  controll(const controll&) = delete;
  controll& operator=(const controll&) = delete;

  // Releases every town and trigram of the index.
  virtual ~controll();

  // Builds the index afresh from the city file, writes the build log and
  // reports the processor time taken. When either file cannot be opened, or
  // the city file cannot be read to its end, it says so and the index stays
  // as it was. When memory runs out it says so, and the index is the old
  // one or, once that was released, empty.
  void initiateSearch();

  // Returns up to ten new result records, best match first, for the query
  // name (any bytes; shorter than three bytes finds nothing). The caller
  // owns the records and releases them with delete. The index is unchanged;
  // throws std::bad_alloc when memory runs out, leaving nothing behind, so
  // the next search is exact.
  townList searchTown(std::string name);

  // Returns the towns of the index in file order; the controller owns them.
  const townList& getTowns() const;

  // Returns the trigrams of the index in order of first appearance; the
  // controller owns them.
  const triList& getTrigrams() const;

 private:
  // A distinct window of a build, and how many entries its list will get.
  struct windowCount {
    std::uint32_t key;
    std::size_t count;
  };

  // A query trigram, by its position in myTris, with the number of times its
  // window occurs in the query.
  struct weightedTrigram {
    std::uint32_t position;
    std::uint64_t occurrences;
  };

  // A town that can rank in a search, with its hits.
  struct contender {
    unsigned int town;
    std::uint64_t hits;
  };

  // Most result records a search returns.
  static constexpr std::size_t kMaxResults = 10;

  // Room for the tallies of one search and their list's entries, in units of
  // std::max_align_t: ten tallies and ten list nodes need well under it.
  static constexpr std::size_t kTallyRoom = 64;

  // A trigram position with no slot in the query being cut.
  static constexpr std::uint32_t kNoSlot = 0xFFFFFFFFu;

  static slist cutFields(const std::string& line, std::size_t most);
  static void normalise(std::string& name);

  void build();
  bool replaceIndex(std::istream& cities, buildLog& log);
  bool openCityFile(std::ifstream& cities) const;
  void clearIndex();
  bool readTowns(std::istream& cities, buildLog& log, townList& towns);
  std::vector<windowCount> logWindows(buildLog& log);
  std::vector<unsigned int> groupTowns(const std::vector<windowCount>& windows,
                                       std::vector<std::size_t>& groupStart);
  void makeTrigrams(const std::vector<windowCount>& windows);

  std::vector<weightedTrigram> queryTrigrams(const std::string& query);
  static std::uint64_t occurrencesOf(
      const std::vector<weightedTrigram>& mySearch);
  std::size_t tally(const std::vector<weightedTrigram>& mySearch,
                    std::uint64_t found);
  std::size_t takeContenders(std::size_t met,
                             std::array<contender, kMaxResults>& best);
  static idList makeTallies(const std::array<contender, kMaxResults>& best,
                            std::size_t ranked, std::uint64_t found,
                            std::pmr::memory_resource* scratch);
  townList results(const idList& ranked) const;
  std::string nameOfTown(unsigned int index) const;

  std::ostream& out;  // console reports of the build

  // The index; the controller owns every record in both lists.
  triList myTris;
  townList myTowns;

  // Memory for the entries of every trigram's town list, made by each build
  // in one block sized for its entries and released with the index: entries
  // are only ever added, never removed one by one.
  std::unique_ptr<std::pmr::monotonic_buffer_resource> entryPool;

  // Lookups beside the lists, pointing at their records.
  trigramTable trigramByWindow;    // window -> position in myTris
  std::vector<town*> townByIndex;  // town index i at position i

  // The postings: every trigram's town indices in list order, in one array,
  // the trigram at position p holding postings[postingStart[p]] up to
  // postings[postingStart[p + 1]]. Searches walk these, not the lists.
  std::vector<unsigned int> postings;
  std::vector<std::size_t> postingStart;

  // A search's working state, sized with the index at its first search and
  // reused by every later one; between searches every counter is 0 and
  // every slot kNoSlot.
  std::vector<std::uint64_t> hitsOfTown;     // town index -> hits
  std::vector<unsigned int> townsMet;        // in order of first meeting
  std::vector<std::uint32_t> slotOfTrigram;  // position -> slot in mySearch
};

#endif  // FARWANDER_SRC_CONTROLL_H_
