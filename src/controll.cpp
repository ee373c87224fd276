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
#include <new>
#include <optional>
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
constexpr const char* kBuildMemoryError =
    "\nError while building the index: not enough memory";

// Bytes of one entry of a trigram's town list: std::list's node of two links
// and an int. It sizes the block for a build's entries; should it fall
// short, the rest comes from a further block.
constexpr std::size_t kEntryBytes = 3 * sizeof(void*);

// Room for the tallies of one search and the entries of their two lists, in
// units of std::max_align_t: ten of each need well under it.
constexpr std::size_t kTallyRoom = 64;

// Most symbolic links followed from one name; a longer chain is a loop, as
// the system's own limit has it.
constexpr int kMostLinks = 40;

// Returns the message for a file that did not open: memory that ran out
// while it was opened (errno ENOMEM, as the C library sets it) is reported as
// such rather than blamed on the file.
const char* openFailure(const char* fileMessage) {
  return errno == ENOMEM ? kBuildMemoryError : fileMessage;
}

// Returns the absolute, normal path that opening name would reach: its
// symbolic links followed as far as they lead, also to a file that is not
// there yet, which opening for writing would create. Nothing when a link or
// folder cannot be read, or the links go round in a loop.
std::optional<std::filesystem::path> destination(const char* name) {
  namespace fs = std::filesystem;
  std::error_code error;
  std::error_code absent;  // a name not there yet is no error here
  fs::path path = fs::absolute(name, error);
  for (int hop = 0; !error; ++hop) {
    const fs::path folder = fs::weakly_canonical(path.parent_path(), error);
    path = folder / path.filename();
    if (error || !fs::is_symlink(fs::symlink_status(path, absent))) break;
    if (hop == kMostLinks) return std::nullopt;
    const fs::path target = fs::read_symlink(path, error);
    path = target.is_absolute() ? target : folder / target;
  }
  if (error) return std::nullopt;
  // The folder has no links left, so ".." in the name can be taken away.
  return path.lexically_normal();
}

// Returns whether the build log is, or would become, the city file: one
// file under two names (a hard link too), or two names whose links lead to
// one path, there or not yet. Emptying the log would then lose the city
// file, or create it empty.
bool logIsCityFile() {
  std::error_code error;
  if (std::filesystem::equivalent(controll::kLogFile, controll::kCityFile,
                                  error)) {
    return true;
  }
  const auto log = destination(controll::kLogFile);
  const auto city = destination(controll::kCityFile);
  return log && city && *log == *city;
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
    // Memory ran out before the index was touched: while the files' names
    // were followed, before the log was emptied, or for the city file's
    // buffer, after the log was begun.
    out << kBuildMemoryError;
  }
  const std::clock_t end = std::clock();
  const float seconds = static_cast<float>(end - start) / CLOCKS_PER_SEC;
  out << "\ntime to read cities: " << seconds << " seconds\n";
}

controll::townList controll::searchTown(std::string name) {
  town::normalise(name);
  const ranking::contenders ranked = rankings.rank(postings, name);
  // Room for the tallies and their lists, so that making them needs no
  // memory from the heap.
  std::array<std::max_align_t, kTallyRoom> room;
  std::pmr::monotonic_buffer_resource scratch(room.data(), sizeof(room));
  // Owns the tallies, which go when the search ends; myID points at them.
  std::pmr::list<idCount> tallies(&scratch);
  idList myID = makeTallies(ranked, tallies);
  sortByShare(myID);
  return results(myID);
}

const controll::townList& controll::getTowns() const { return myTowns; }

const controll::triList& controll::getTrigrams() const { return myTris; }

// Runs one build without the timing: opens the log, then the city file,
// reporting a failure and leaving the index alone (a log that is or would
// become the city file counts as one that does not open), else rebuilds the
// index from the city file. Throws std::bad_alloc when memory runs out while
// the files' names are followed, the log not yet touched, or while the city
// file is opened, the log then holding its opening text, as when the city
// file does not open.
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
    failure = kBuildMemoryError;
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
  // handed back to the system and taken anew by every build. The postings
  // hold every entry in 4 bytes already, so the product fits in size_t
  // wherever the entries' nodes would fit in memory.
  const std::size_t entries = std::max<std::size_t>(postings.entryCount(), 1);
  entryPool = std::make_unique<std::pmr::monotonic_buffer_resource>(
      entries * kEntryBytes);
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

// Makes in tallies a tally with its share for each town of ranked, in their
// order, and returns the list of them; its entries come from the memory of
// tallies, which owns the tallies and must outlive the list.
controll::idList controll::makeTallies(const ranking::contenders& ranked,
                                       std::pmr::list<idCount>& tallies) {
  idList myID(tallies.get_allocator().resource());
  for (std::size_t i = 0; i < ranked.count; ++i) {
    idCount& count = tallies.emplace_back(ranked.towns[i].townIndex);
    count.increaseAmount(ranked.towns[i].hits - count.getAmount());
    count.calcPercantage(ranked.windowsFound);
    myID.push_back(&count);
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
