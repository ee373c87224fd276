// The controller's build and search: the files opened and their failures
// reported, the index replaced whole or not at all, and a query's ranked
// towns turned into tallies and result records.

#include "controll.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <limits>
#include <new>
#include <utility>

#include "buildLog.h"
#include "recordList.h"

namespace {

// Console messages of a build that failed.
constexpr const char* kLogOpenError = "\nError while opening createlog.tri";
constexpr const char* kCityOpenError =
    "Error while opening file: cities1500.txt";
constexpr const char* kCityReadError = "\nError while reading cities15000.txt";
constexpr const char* kLogWriteError = "\nError while writing createlog.tri";
constexpr const char* kMemoryError =
    "\nError while building the index: not enough memory";

// Bytes of one entry of a trigram's town list: std::list's node of two links
// and an int. It sizes the block for a build's entries; should it fall
// short, the rest comes from a further block.
constexpr std::size_t kEntryBytes = 3 * sizeof(void*);

// Room for the tallies of one search and their list's entries, in units of
// std::max_align_t: ten tallies and ten list nodes need well under it.
constexpr std::size_t kTallyRoom = 64;

// Returns the message for a file that did not open: memory that ran out
// while it was opened (errno ENOMEM, as the C library sets it) is reported as
// such rather than blamed on the file.
const char* openFailure(const char* fileMessage) {
  return errno == ENOMEM ? kMemoryError : fileMessage;
}

// Returns whether the build log is the city file under a second name (a
// symbolic or a hard link), which emptying the log would lose.
bool logIsCityFile() {
  std::error_code error;
  return std::filesystem::equivalent(controll::kLogFile, controll::kCityFile,
                                     error);
}

// Sorts myID by share, highest first, equal shares keeping their order,
// which is the order in which their towns were first met: a stable
// insertion sort, as a search ranks at most ten tallies (std::list::sort
// would set up sixty-four lists to sort them). Empty stays empty.
void sortByShare(controll::idList& myID) {
  controll::idList sorted(myID.get_allocator());
  while (!myID.empty()) {
    const double share = myID.front()->getPercent();
    auto place = sorted.end();
    while (place != sorted.begin() &&
           (*std::prev(place))->getPercent() < share) {
      --place;
    }
    sorted.splice(place, myID, myID.begin());
  }
  myID.swap(sorted);
}

}  // namespace

controll::controll(std::ostream& out) : out(out) {}

controll::~controll() { clearIndex(); }

void controll::initiateSearch() {
  const std::clock_t start = std::clock();
  try {
    build();
  } catch (const std::bad_alloc&) {
    // Memory ran out before the index was touched: for the log's block or
    // the city file's buffer.
    out << kMemoryError;
  }
  const std::clock_t end = std::clock();
  const float seconds = static_cast<float>(end - start) / CLOCKS_PER_SEC;
  out << "\ntime to read cities: " << seconds << " seconds\n";
}

controll::townList controll::searchTown(std::string name) {
  town::normalise(name);
  const ranking::contenders ranked = rankings.rank(postings, name);
  // Room for the tallies and their list, so that making them needs no
  // memory from the heap.
  std::array<std::max_align_t, kTallyRoom> room;
  std::pmr::monotonic_buffer_resource scratch(room.data(), sizeof(room));
  idList myID = makeTallies(ranked, &scratch);
  sortByShare(myID);
  return results(myID);
}

const controll::townList& controll::getTowns() const { return myTowns; }

const controll::triList& controll::getTrigrams() const { return myTris; }

// Runs one build without the timing: opens both files, reporting a failure
// and leaving the index alone (a log that is the city file under a second
// name counts as one that does not open), else rebuilds the index from the
// city file.
// Throws std::bad_alloc when memory runs out while a file is opened; the log
// then keeps its opening text, as it does when the city file does not open.
void controll::build() {
  if (logIsCityFile()) {
    out << kLogOpenError;
    return;
  }
  buildLog log;
  if (!log.open(kLogFile)) {
    out << openFailure(kLogOpenError);
    return;
  }
  cityFile cities;
  if (!cities.open(kCityFile)) {
    out << openFailure(kCityOpenError);
    log.close();
    return;
  }
  const char* failure = nullptr;
  try {
    if (!replaceIndex(cities, log)) failure = kCityReadError;
  } catch (const std::bad_alloc&) {
    failure = kMemoryError;
  }
  cities.close();
  // The log keeps every entry written before a failure.
  const bool logged = log.close();
  if (failure == nullptr && !logged) failure = kLogWriteError;
  if (failure != nullptr) out << failure;
}

// Reads the towns of cities and, when every line was read, replaces the
// index by one built from them. Returns false, the index as it was, when a
// read failed. Throws std::bad_alloc when memory runs out: the index is then
// the old one while the towns are read, and empty once the old one is gone.
bool controll::replaceIndex(cityFile& cities, buildLog& log) {
  recordList<town> towns;
  if (!cities.readTowns(log, towns)) return false;
  clearIndex();
  myTowns = towns.release();
  try {
    postings.build(myTowns, log);
    makeTrigrams();
  } catch (...) {
    clearIndex();
    throw;
  }
  return true;
}

// Releases every record of the index and empties both lists and lookups.
void controll::clearIndex() {
  {
    // The trigrams go before the pool that holds their lists' entries.
    const recordList<trigram> trigrams(std::move(myTris));
    const recordList<town> towns(std::move(myTowns));
  }
  entryPool.reset();
  postings.clear();
  rankings.clear();
}

// Makes the trigrams from the postings, in position order, which is the
// order of first appearance, each list filled in one go.
void controll::makeTrigrams() {
  // One block for all entries: blocks that grow step by step would be
  // handed back to the system and taken anew by every build. A count whose
  // size overflows gets blocks that grow.
  const std::size_t entries = std::max<std::size_t>(postings.entryCount(), 1);
  entryPool = entries <= std::numeric_limits<std::size_t>::max() / kEntryBytes
                  ? std::make_unique<std::pmr::monotonic_buffer_resource>(
                        entries * kEntryBytes)
                  : std::make_unique<std::pmr::monotonic_buffer_resource>();
  recordList<trigram> trigrams;
  for (std::uint32_t p = 0; p < postings.windowCount(); ++p) {
    const postingIndex::townRange holders = postings.townsHolding(p);
    trigram* tri =
        trigrams.make(postings.windowAt(p), *holders.begin(), entryPool.get());
    for (auto next = holders.begin() + 1; next != holders.end(); ++next) {
      tri->addIndex(*next);
    }
  }
  myTris = trigrams.release();
}

// Returns a tally with its share for each town of ranked, in their order;
// the tallies and the list's entries come from scratch.
controll::idList controll::makeTallies(const ranking::contenders& ranked,
                                       std::pmr::memory_resource* scratch) {
  idList myID(scratch);
  std::pmr::polymorphic_allocator<idCount> tallyAllocator(scratch);
  for (std::size_t i = 0; i < ranked.count; ++i) {
    idCount* count = tallyAllocator.allocate(1);
    tallyAllocator.construct(count, ranked.towns[i].town);
    count->increaseAmount(ranked.towns[i].hits - 1);
    count->calcPercantage(ranked.windowsFound);
    myID.push_back(count);
  }
  return myID;
}

// Returns a new result record for each tally of myID (at most ten), with its
// rank as index and the name of its town; none give an empty list.
controll::townList controll::results(const idList& myID) const {
  recordList<town> townsDetected;
  unsigned int rank = 0;
  for (const idCount* count : myID) {
    town* result =
        townsDetected.make(rank++, postings.townAt(count->getID()).getName());
    result->setPercent(count->getPercent());
  }
  return townsDetected.release();
}
