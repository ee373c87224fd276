#include "controll.h"

#include <algorithm>
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

// Most result records a search returns.
constexpr unsigned int kMaxResults = 10;

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
  // The tallies and their lists live for this search only; they come from
  // one growing buffer rather than one allocation each.
  std::pmr::monotonic_buffer_resource scratch;
  idList myID = tally(mySearch, &scratch);
  const std::uint64_t found = occurrencesOf(mySearch);
  idList contenders = takeContenders(myID, found);
  for (idCount* count : contenders) count->calcPercantage(found);
  // std::list::sort is a stable merge sort: equal shares keep the order in
  // which their towns were first met.
  contenders.sort([](const idCount* a, const idCount* b) {
    return a->getPercent() > b->getPercent();
  });
  return results(contenders);
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
    out << kLogOpenError;
    return;
  }
  std::ifstream cities;
  if (!openCityFile(cities)) {
    out << kCityOpenError;
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
  trigramByPosition.clear();
  townByIndex.clear();
  tallyByTown.clear();
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
// appearance, each list filled from its group in one go.
void controll::makeTrigrams(const std::vector<windowCount>& windows) {
  std::vector<std::size_t> groupStart;
  const std::vector<unsigned int> grouped = groupTowns(windows, groupStart);
  // One block for all entries: blocks that grow step by step would be
  // handed back to the system and taken anew by every build. A count whose
  // size overflows gets blocks that grow.
  const std::size_t entries = std::max<std::size_t>(grouped.size(), 1);
  entryPool = entries <= std::numeric_limits<std::size_t>::max() / kEntryBytes
                  ? std::make_unique<std::pmr::monotonic_buffer_resource>(
                        entries * kEntryBytes)
                  : std::make_unique<std::pmr::monotonic_buffer_resource>();
  trigramByPosition.reserve(windows.size());
  for (std::size_t p = 0; p < windows.size(); ++p) {
    myTris.push_back(nullptr);  // room first, so the new trigram cannot leak
    trigram* tri = new trigram(trigramTable::windowOf(windows[p].key),
                               grouped[groupStart[p]], entryPool.get());
    myTris.back() = tri;
    trigramByPosition.push_back(tri);  // reserved: cannot fail
    for (std::size_t k = groupStart[p] + 1; k < groupStart[p + 1]; ++k) {
      tri->addIndex(grouped[k]);
    }
  }
}

// Returns the trigrams of the windows of the normalised query that the
// index holds, each once, in order of first occurrence, with how often its
// window occurs in the query. Under three bytes, or no window known: none.
// A town meets a repeated trigram first at its first occurrence, so counting
// each list once, weighted, gives the same tallies in the same order as
// counting it once per occurrence, in memory and time bounded by the index
// rather than by the length of the query.
std::vector<controll::weightedTrigram> controll::queryTrigrams(
    const std::string& query) const {
  std::vector<weightedTrigram> mySearch;
  std::unordered_map<std::uint32_t, std::size_t> slotOf;  // position -> slot
  forEachWindow(query, [&](const char* window) {
    const std::uint32_t position =
        trigramByWindow.find(trigramTable::keyOf(window));
    if (position == trigramTable::kNone) return;
    const auto [slot, isNew] = slotOf.try_emplace(position, mySearch.size());
    if (isNew) {
      mySearch.push_back({trigramByPosition[position], 1});
    } else {
      ++mySearch[slot->second].occurrences;
    }
  });
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

// Returns one tally per town in the lists of mySearch, in the order the towns
// are first met; each entry of a list adds one hit per query occurrence of
// its trigram. Empty mySearch: no tallies. The tallies come from scratch.
// Every town index in a list is below townByIndex.size(), so tallyByTown
// (sized to it on first use, and null between searches, also after a
// failure) covers them all.
controll::idList controll::tally(const std::vector<weightedTrigram>& mySearch,
                                 std::pmr::memory_resource* scratch) {
  idList myID(scratch);
  std::pmr::polymorphic_allocator<idCount> tallyAllocator(scratch);
  tallyByTown.resize(townByIndex.size(), nullptr);
  try {
    for (const weightedTrigram& query : mySearch) {
      const unsigned int amount = query.tri->getAmountOfIndex();
      const std::unique_ptr<unsigned int[]> all(query.tri->getAllIndex());
      for (unsigned int k = 0; k < amount; ++k) {
        idCount*& count = tallyByTown[all[k]];
        if (count != nullptr) {
          count->increaseAmount(query.occurrences);
          continue;
        }
        idCount* made = tallyAllocator.allocate(1);
        tallyAllocator.construct(made, all[k]);
        made->increaseAmount(query.occurrences - 1);
        myID.push_back(made);
        count = made;
      }
    }
  } catch (...) {
    forgetTallies(myID);
    throw;
  }
  forgetTallies(myID);
  return myID;
}

// Sets the lookup entry of every tally in myID back to null.
void controll::forgetTallies(const idList& myID) {
  for (const idCount* count : myID) tallyByTown[count->getID()] = nullptr;
}

// Takes out of myID, keeping their order, the tallies that can rank among
// the first ten and returns them: those with as many hits (capped at found,
// the number of query windows found) as the tenth best has, or more. Shares
// are hits / found, so the sort of these puts the same ten first as a sort
// of all would; the rest stay in myID, unranked. Ten or fewer tallies: all
// are taken.
controll::idList controll::takeContenders(idList& myID, std::uint64_t found) {
  idList contenders(myID.get_allocator());
  if (myID.size() <= kMaxResults) {
    contenders.swap(myID);
    return contenders;
  }
  // Hits are capped at found, and further at one value per tally, however
  // long the query: a tally above that top counts as the top, which can only
  // lower the cut and so never drops a tally that ranks.
  const std::uint64_t top = std::min<std::uint64_t>(found, myID.size());
  const auto hits = [top](const idCount* count) {
    return std::min(count->getAmount(), top);
  };
  std::vector<std::size_t> withHits(top + 1, 0);
  for (const idCount* count : myID) ++withHits[hits(count)];
  std::uint64_t needed = top;
  for (std::size_t atLeast = withHits[top]; atLeast < kMaxResults;) {
    atLeast += withHits[--needed];
  }
  for (auto it = myID.begin(); it != myID.end();) {
    const auto next = std::next(it);
    if (hits(*it) >= needed) contenders.splice(contenders.end(), myID, it);
    it = next;
  }
  return contenders;
}

// Returns new result records for the first ten tallies of ranked, with their
// rank as index. Fewer tallies give fewer records; none give an empty list.
controll::townList controll::results(const idList& ranked) const {
  townList townsDetected;
  try {
    unsigned int rank = 0;
    for (auto it = ranked.begin(); it != ranked.end() && rank < kMaxResults;
         ++it, ++rank) {
      townsDetected.push_back(nullptr);  // room first, so no record can leak
      townsDetected.back() = new town(rank, nameOfTown((*it)->getID()));
      townsDetected.back()->setPercent((*it)->getPercent());
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
