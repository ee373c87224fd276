// The search controller: owns the index's town and trigram lists, builds
// them from the city file, and answers ranked searches. It coordinates the
// units that do the work, and calls go one way, down to them:
//   cityFile reads the towns into a new list and logs each town;
//   postingIndex is built from them and logs each of their windows;
//   the trigram list is made from its postings;
//   ranking picks a query's best ten from the postings, which controll turns
//   into idCount tallies, sorts, and returns as new result records.
// The lists keep the orders that the build log shows; searches read the
// postings, which hold the same orders, never the lists.

#ifndef FARWANDER_SRC_CONTROLL_H_
#define FARWANDER_SRC_CONTROLL_H_

#include <iostream>
#include <list>
#include <memory>
#include <memory_resource>
#include <string>

#include "cityFile.h"
#include "idCount.h"
#include "postingIndex.h"
#include "ranking.h"
#include "town.h"
#include "trigram.h"

class buildLog;

class controll {
 public:
  using townList = std::list<town*>;
  using triList = std::list<trigram*>;
  using idList = std::pmr::list<idCount*>;
  using slist = cityFile::slist;

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
  // reports the processor time taken. When either file cannot be opened,
  // the log is or would become the city file, or the city file cannot be
  // read to its end, it says so and the index stays as it was. When memory
  // runs out it says so, and the index is the old one or, once that was
  // released, empty; the log keeps what was written before.
  void initiateSearch();

  // Returns up to ten new result records, best match first, for the query
  // name (any bytes; shorter than three bytes finds nothing). The caller
  // owns the records. The index is unchanged; throws std::bad_alloc when
  // memory runs out, leaving nothing behind, so the next search is exact.
  townList searchTown(std::string name);

  // Returns the towns of the index in file order; the controller owns them.
  const townList& getTowns() const;

  // Returns the trigrams of the index in order of first appearance; the
  // controller owns them.
  const triList& getTrigrams() const;

 private:
  void build();
  bool replaceIndex(cityFile& cities, buildLog& log);
  void clearIndex();
  void makeTrigrams();
  static idList makeTallies(const ranking::contenders& ranked,
                            std::pmr::list<idCount>& tallies);
  townList results(const idList& myID) const;

  std::ostream& out;  // console reports of the build

  // The index; the controller owns every record in both lists.
  triList myTris;
  townList myTowns;

  // Memory for the entries of every trigram's town list, made by each build
  // in one block sized for its entries and released with the index: entries
  // are only ever added, never removed one by one.
  std::unique_ptr<std::pmr::monotonic_buffer_resource> entryPool;

  postingIndex postings;  // lookups beside the lists, read by searches
  ranking rankings;       // a search's counters, reused from search to search
};

#endif  // FARWANDER_SRC_CONTROLL_H_
