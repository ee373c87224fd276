#include "controll.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <locale>
#include <unordered_map>

#include "buildLog.h"

namespace {

// Field of a city file line that holds the town's name, counted from 1.
constexpr std::size_t kNameField = 2;

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

// Returns the message for a file that did not open: memory that ran out
// while it was opened (errno ENOMEM, as the C library sets it) is reported as
// such rather than blamed on the file.
const char* openFailure(const char* fileMessage) {
  return errno == ENOMEM ? kMemoryError : fileMessage;
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

// Calls visit with the start of each window of name in position order:
// none for a name of fewer than three bytes.
template <typename Visit>
void forEachWindow(const std::string& name, Visit visit) {
  for (std::size_t at = 0; at + trigram::kLength <= name.size(); ++at) {
    visit(name.data() + at);
  }
}

}  // namespace

controll::controll(std::ostream& out) : out(out) {}

controll::~controll() { clearIndex(); }

void controll::initiateSearch() {
  const std::clock_t start = std::clock();
  try {
    build();
  } catch (const std::bad_alloc&) {
    // Memory ran out before the index was touched (the log's or the city
    // file's buffers).
    out << kMemoryError;
  }
  const std::clock_t end = std::clock();
  const float seconds = static_cast<float>(end - start) / CLOCKS_PER_SEC;
  out << "\ntime to read cities: " << seconds << " seconds\n";
}

controll::townList controll::searchTown(std::string name) {
  normalise(name);
  const std::vector<weightedTrigram> mySearch = queryTrigrams(name);
  const std::uint64_t found = occurrencesOf(mySearch);
  const std::size_t met = tally(mySearch, found);
  std::array<contender, kMaxResults> best;
  const std::size_t ranked = takeContenders(met, best);
  // Room for the contenders' tallies and their list, so that making them
  // needs no memory from the heap.
  std::array<std::max_align_t, kTallyRoom> room;
  std::pmr::monotonic_buffer_resource scratch(room.data(), sizeof(room));
  idList myID = makeTallies(best, ranked, found, &scratch);
  sortByShare(myID);
  return results(myID);
}

const controll::townList& controll::getTowns() const { return myTowns; }

const controll::triList& controll::getTrigrams() const { return myTris; }

// Cuts line at its tabs and returns at most the first `most` fields. An empty
// line, or one without a tab, has one field; a tab at the very end of the
// line starts no further field, while two tabs in a row make an empty one.
controll::slist controll::cutFields(const std::string& line, std::size_t most) {
  slist fields;
  std::size_t begin = 0;
  while (fields.size() < most) {
    const std::size_t tab = line.find('\t', begin);
    if (tab == std::string::npos) {
      fields.push_back(line.substr(begin));
      break;
    }
    fields.push_back(line.substr(begin, tab - begin));
    begin = tab + 1;
    if (begin == line.size()) break;
  }
  return fields;
}

// Normalises name in place, byte by byte: a space becomes '_', then the byte
// is lower-cased by the global (classic) locale, so only A to Z change; any
// other byte, parts of UTF-8 sequences included, stays. Empty stays empty.
void controll::normalise(std::string& name) {
  for (char& c : name) {
    if (c == ' ') c = '_';
  }
  static const auto& ctype = std::use_facet<std::ctype<char>>(std::locale());
  ctype.tolower(name.data(), name.data() + name.size());
}

// Runs one build without the timing: opens both files, reporting a failure
// and leaving the index alone, else rebuilds the index from the city file.
// Throws std::bad_alloc when memory runs out before either file is open.
void controll::build() {
  buildLog log;
  if (!log.open(kLogFile)) {
    out << openFailure(kLogOpenError);
    return;
  }
  std::ifstream cities;
  if (!openCityFile(cities)) {
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
bool controll::replaceIndex(std::istream& cities, buildLog& log) {
  townList towns;
  bool complete = false;
  try {
    complete = readTowns(cities, log, towns);
  } catch (...) {
    for (town* t : towns) delete t;
    throw;
  }
  if (!complete) {
    for (town* t : towns) delete t;
    return false;
  }
  clearIndex();
  myTowns.swap(towns);
  try {
    townByIndex.assign(myTowns.begin(), myTowns.end());
    makeTrigrams(logWindows(log));
  } catch (...) {
    clearIndex();
    throw;
  }
  return true;
}

// Opens the city file for reading. A directory of that name opens on Linux
// and would read as an empty file, so it counts as a file that cannot open.
bool controll::openCityFile(std::ifstream& cities) const {
  errno = 0;  // what errno says after a failure is then of this open
  std::error_code error;
  if (std::filesystem::is_directory(kCityFile, error)) return false;
  cities.open(kCityFile, std::ios::in | std::ios::binary);
  return cities.is_open();
}

// Releases every record of the index and empties both lists and lookups.
void controll::clearIndex() {
  for (town* t : myTowns) delete t;
  for (trigram* t : myTris) delete t;
  myTowns.clear();
  myTris.clear();
  entryPool.reset();
  trigramByWindow.clear();
  townByIndex.clear();
  // Assigned anew, not cleared, so that their memory goes with the index.
  postings = std::vector<unsigned int>();
  postingStart = std::vector<std::size_t>();
  hitsOfTown = std::vector<std::uint64_t>();
  townsMet = std::vector<unsigned int>();
  slotOfTrigram = std::vector<std::uint32_t>();
}

// Town pass: appends to towns a new town per line of cities with a name
// field, numbered from 0 in file order, and logs it. Lines with fewer than
// two fields are skipped and use no number. Returns false when a read failed
// before the end of the file; throws std::bad_alloc when memory runs out,
// also while a line is read. Every town made is in towns either way.
bool controll::readTowns(std::istream& cities, buildLog& log, townList& towns) {
  // A failed read rethrows what the read met: std::bad_alloc from a line
  // too long for memory, std::ios_base::failure from the file.
  cities.exceptions(std::ios::badbit);
  unsigned int counter = 0;
  std::string line;
  try {
    while (std::getline(cities, line)) {
      slist fields = cutFields(line, kNameField);
      if (fields.size() < kNameField) continue;
      std::string& name = fields.back();
      normalise(name);
      log.newTown(name, counter);
      towns.push_back(nullptr);  // room first, so the new town cannot leak
      towns.back() = new town(counter, std::move(name));
      ++counter;
    }
  } catch (const std::ios_base::failure&) {
    return false;
  }
  return true;
}

// First walk, over every window of every town in town order and then
// position order: enters new windows into the table, with their position in
// order of first appearance, and writes the log. Returns each position's
// window and how many entries its list will have.
std::vector<controll::windowCount> controll::logWindows(buildLog& log) {
  std::vector<windowCount> windows;
  for (const town* t : myTowns) {
    const unsigned int index = t->getIndex();
    forEachWindow(t->getName(), [&](const char* window) {
      const std::string_view text(window, trigram::kLength);
      const std::uint32_t key = trigramTable::keyOf(window);
      std::uint32_t& position = trigramByWindow.slot(key);
      if (position != trigramTable::kNone) {
        ++windows[position].count;
        log.knownTrigram(text, index);
        return;
      }
      position = static_cast<std::uint32_t>(windows.size());
      windows.push_back({key, 1});
      if (position == 0) {
        log.firstTrigram(text, index);
      } else {
        log.newTrigram(text, index);
      }
    });
  }
  return windows;
}

// Second walk, in the same order: returns the town index of every window,
// sorted into one group per position (a counting sort, so each group keeps
// town order, an index once per occurrence of the window in the name). Group
// p runs from groupStart[p] to groupStart[p + 1].
std::vector<unsigned int> controll::groupTowns(
    const std::vector<windowCount>& windows,
    std::vector<std::size_t>& groupStart) {
  groupStart.assign(windows.size() + 1, 0);
  for (std::size_t p = 0; p < windows.size(); ++p) {
    groupStart[p + 1] = groupStart[p] + windows[p].count;
  }
  std::vector<unsigned int> grouped(groupStart.back());
  std::vector<std::size_t> next(groupStart.begin(), groupStart.end() - 1);
  for (const town* t : myTowns) {
    const unsigned int index = t->getIndex();
    forEachWindow(t->getName(), [&](const char* window) {
      grouped[next[trigramByWindow.find(trigramTable::keyOf(window))]++] =
          index;
    });
  }
  return grouped;
}

// Makes the trigrams in position order, which is the order of first
// appearance, each list filled from its group in one go, and keeps the
// groups as the postings.
void controll::makeTrigrams(const std::vector<windowCount>& windows) {
  std::vector<std::size_t> groupStart;
  std::vector<unsigned int> grouped = groupTowns(windows, groupStart);
  // One block for all entries: blocks that grow step by step would be
  // handed back to the system and taken anew by every build. A count whose
  // size overflows gets blocks that grow.
  const std::size_t entries = std::max<std::size_t>(grouped.size(), 1);
  entryPool = entries <= std::numeric_limits<std::size_t>::max() / kEntryBytes
                  ? std::make_unique<std::pmr::monotonic_buffer_resource>(
                        entries * kEntryBytes)
                  : std::make_unique<std::pmr::monotonic_buffer_resource>();
  for (std::size_t p = 0; p < windows.size(); ++p) {
    myTris.push_back(nullptr);  // room first, so the new trigram cannot leak
    trigram* tri = new trigram(trigramTable::windowOf(windows[p].key),
                               grouped[groupStart[p]], entryPool.get());
    myTris.back() = tri;
    for (std::size_t k = groupStart[p] + 1; k < groupStart[p + 1]; ++k) {
      tri->addIndex(grouped[k]);
    }
  }
  // The groups stay as the postings that searches walk.
  postings = std::move(grouped);
  postingStart = std::move(groupStart);
}

// Returns the windows of the normalised query that the index holds, each
// once, in order of first occurrence, with how often it occurs in the query.
// Under three bytes, or no window known: none. A town meets a repeated
// window first at its first occurrence, so counting each list once,
// weighted, gives the same tallies in the same order as counting it once
// per occurrence, in time bounded by the index rather than by the query.
std::vector<controll::weightedTrigram> controll::queryTrigrams(
    const std::string& query) {
  std::vector<weightedTrigram> mySearch;
  if (query.size() < trigram::kLength || postingStart.empty()) return mySearch;
  const std::size_t trigrams = postingStart.size() - 1;
  slotOfTrigram.resize(trigrams, kNoSlot);
  // Room for every distinct window first, so that no push_back can fail
  // with slots marked.
  mySearch.reserve(std::min(query.size() - trigram::kLength + 1, trigrams));
  forEachWindow(query, [&](const char* window) {
    const std::uint32_t position =
        trigramByWindow.find(trigramTable::keyOf(window));
    if (position == trigramTable::kNone) return;
    std::uint32_t& slot = slotOfTrigram[position];
    if (slot == kNoSlot) {
      slot = static_cast<std::uint32_t>(mySearch.size());
      mySearch.push_back({position, 1});
    } else {
      ++mySearch[slot].occurrences;
    }
  });
  for (const weightedTrigram& query : mySearch) {
    slotOfTrigram[query.position] = kNoSlot;
  }
  return mySearch;
}

// Returns the number of query windows found in the index, repeats counted:
// the denominator of every share.
std::uint64_t controll::occurrencesOf(
    const std::vector<weightedTrigram>& mySearch) {
  std::uint64_t found = 0;
  for (const weightedTrigram& query : mySearch) found += query.occurrences;
  return found;
}

// Counts the hits of every town in the postings of mySearch into hitsOfTown,
// each capped at found (a share never counts more), and lists the towns in
// townsMet in the order they are first met; returns how many were met. Every
// entry of a trigram's postings adds one hit per query occurrence of its
// window. Empty mySearch: none met. Throws std::bad_alloc only when the
// counters are first sized for an index, before any is set.
std::size_t controll::tally(const std::vector<weightedTrigram>& mySearch,
                            std::uint64_t found) {
  if (mySearch.empty()) return 0;
  hitsOfTown.resize(townByIndex.size(), 0);
  townsMet.resize(townByIndex.size());
  std::uint64_t* hits = hitsOfTown.data();
  unsigned int* met = townsMet.data();
  std::size_t metCount = 0;
  for (const weightedTrigram& query : mySearch) {
    const unsigned int* entry = postings.data() + postingStart[query.position];
    const unsigned int* end =
        postings.data() + postingStart[query.position + 1];
    for (; entry != end; ++entry) {
      std::uint64_t& count = hits[*entry];
      if (count == 0) met[metCount++] = *entry;
      // Both terms are at most found, so the sum cannot wrap.
      count = std::min(count + query.occurrences, found);
    }
  }
  return metCount;
}

// Takes the first ten of the met towns by hits, highest first and equal hits
// in the order they were met, into best, and returns how many; best keeps
// them in the order they were met. Sets every counter back to 0. Needs no
// memory.
std::size_t controll::takeContenders(std::size_t met,
                                     std::array<contender, kMaxResults>& best) {
  // The ten highest counts, highest first: the least of them is the cut.
  std::array<std::uint64_t, kMaxResults> top{};
  std::size_t filled = 0;
  for (std::size_t i = 0; i < met; ++i) {
    const std::uint64_t hits = hitsOfTown[townsMet[i]];
    if (filled == kMaxResults && hits <= top[kMaxResults - 1]) continue;
    std::size_t at = filled < kMaxResults ? filled++ : kMaxResults - 1;
    for (; at > 0 && top[at - 1] < hits; --at) top[at] = top[at - 1];
    top[at] = hits;
  }
  const std::uint64_t cut = filled == 0 ? 0 : top[filled - 1];
  // Towns above the cut all rank; the places left go to the first met of
  // those at the cut.
  std::size_t atCut = static_cast<std::size_t>(
      std::count(top.begin(), top.begin() + filled, cut));
  std::size_t taken = 0;
  for (std::size_t i = 0; i < met; ++i) {
    std::uint64_t& hits = hitsOfTown[townsMet[i]];
    const bool ranks = hits > cut || (hits == cut && atCut > 0);
    if (ranks) {
      if (hits == cut) --atCut;
      best[taken++] = {townsMet[i], hits};
    }
    hits = 0;
  }
  return taken;
}

// Returns a tally with its share of found for each of the first `ranked`
// contenders in best, in their order; the tallies and the list's entries come
// from scratch.
controll::idList controll::makeTallies(
    const std::array<contender, kMaxResults>& best, std::size_t ranked,
    std::uint64_t found, std::pmr::memory_resource* scratch) {
  idList myID(scratch);
  std::pmr::polymorphic_allocator<idCount> tallyAllocator(scratch);
  for (std::size_t i = 0; i < ranked; ++i) {
    idCount* count = tallyAllocator.allocate(1);
    tallyAllocator.construct(count, best[i].town);
    count->increaseAmount(best[i].hits - 1);
    count->calcPercantage(found);
    myID.push_back(count);
  }
  return myID;
}

// Returns a new result record for each tally of ranked (at most ten), with
// its rank as index; none give an empty list.
controll::townList controll::results(const idList& ranked) const {
  townList townsDetected;
  try {
    unsigned int rank = 0;
    for (const idCount* count : ranked) {
      townsDetected.push_back(nullptr);  // room first, so no record can leak
      townsDetected.back() = new town(rank++, nameOfTown(count->getID()));
      townsDetected.back()->setPercent(count->getPercent());
    }
  } catch (...) {
    for (town* t : townsDetected) delete t;
    throw;
  }
  return townsDetected;
}

// Returns the normalised name of the town with the given index, or an empty
// name when the index holds no such town.
std::string controll::nameOfTown(unsigned int index) const {
  if (index >= townByIndex.size()) return std::string();
  return townByIndex[index]->getName();
}
