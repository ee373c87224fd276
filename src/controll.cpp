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
  build();
  const std::clock_t end = std::clock();
  const float seconds = static_cast<float>(end - start) / CLOCKS_PER_SEC;
  out << "\ntime to read cities: " << seconds << " seconds\n";
}

controll::townList controll::searchTown(std::string name) {
  normalise(name);
  const triList mySearch = queryTrigrams(name);
  // The tallies and their lists live for this search only; they come from
  // one growing buffer rather than one allocation each.
  std::pmr::monotonic_buffer_resource scratch;
  idList myID = tally(mySearch, &scratch);
  const auto found = static_cast<unsigned int>(mySearch.size());
  idList contenders = takeContenders(myID, found);
  for (idCount* count : contenders) count->calcPercantage(found);
  // std::list::sort is a stable merge sort: equal shares keep the order in
  // which their towns were first met.
  contenders.sort([](const idCount* a, const idCount* b) {
    return a->getPercent() > b->getPercent();
  });
  townList townsDetected = results(contenders);
  releaseTallies(contenders, &scratch);
  releaseTallies(myID, &scratch);
  return townsDetected;
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

// Runs one build without the timing: opens both files and reads the towns,
// reporting a failure and leaving the index alone, else rebuilds the index
// from the city file.
void controll::build() {
  buildLog log;
  if (!log.open(kLogFile)) {
    out << "\nError while opening createlog.tri";
    return;
  }
  std::ifstream cities;
  if (!openCityFile(cities)) {
    out << "Error while opening file: cities1500.txt";
    log.close();
    return;
  }
  townList towns;
  const bool complete = readTowns(cities, log, towns);
  cities.close();
  if (!complete) {
    for (town* t : towns) delete t;
    out << "\nError while reading cities15000.txt";
    log.close();
    return;
  }
  clearIndex();
  myTowns.swap(towns);
  townByIndex.assign(myTowns.begin(), myTowns.end());
  makeTrigrams(logWindows(log));
  if (!log.close()) out << "\nError while writing createlog.tri";
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
// before the end of the file.
bool controll::readTowns(std::istream& cities, buildLog& log, townList& towns) {
  unsigned int counter = 0;
  std::string line;
  while (std::getline(cities, line)) {
    slist fields = cutFields(line, kNameField);
    if (fields.size() < kNameField) continue;
    std::string& name = fields.back();
    normalise(name);
    log.newTown(name, counter);
    towns.push_back(new town(counter, std::move(name)));
    ++counter;
  }
  return !cities.bad();
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
    trigram* tri = new trigram(trigramTable::windowOf(windows[p].key),
                               grouped[groupStart[p]], entryPool.get());
    for (std::size_t k = groupStart[p] + 1; k < groupStart[p + 1]; ++k) {
      tri->addIndex(grouped[k]);
    }
    myTris.push_back(tri);
    trigramByPosition.push_back(tri);
  }
}

// Returns the trigram of each window of the normalised query that the index
// holds, in position order, repeats included. Under three bytes: none.
controll::triList controll::queryTrigrams(const std::string& query) const {
  triList mySearch;
  forEachWindow(query, [&](const char* window) {
    const std::uint32_t position =
        trigramByWindow.find(trigramTable::keyOf(window));
    if (position != trigramTable::kNone) {
      mySearch.push_back(trigramByPosition[position]);
    }
  });
  return mySearch;
}

// Returns the trigrams of found once each, in order of first occurrence, with
// how often each occurs. A town meets a repeated trigram first at its first
// occurrence, so counting each list once, weighted, gives the same tallies in
// the same order as counting it once per occurrence, in time bounded by the
// index rather than by the length of the query.
std::vector<controll::weightedTrigram> controll::distinctTrigrams(
    const triList& found) {
  std::vector<weightedTrigram> distinct;
  std::unordered_map<const trigram*, std::size_t> position;
  for (const trigram* t : found) {
    const auto [slot, isNew] = position.try_emplace(t, distinct.size());
    if (isNew) {
      distinct.push_back({t, 1});
    } else {
      ++distinct[slot->second].occurrences;
    }
  }
  return distinct;
}

// Returns one tally per town in the lists of mySearch, in the order the towns
// are first met; each entry of a list adds one hit per query occurrence of
// its trigram. Empty mySearch: no tallies. The tallies come from scratch.
// Every town index in a list is below townByIndex.size(), so tallyByTown
// (sized to it on first use, and null between searches) covers them all.
controll::idList controll::tally(const triList& mySearch,
                                 std::pmr::memory_resource* scratch) {
  idList myID(scratch);
  std::pmr::polymorphic_allocator<idCount> tallyAllocator(scratch);
  tallyByTown.resize(townByIndex.size(), nullptr);
  for (const weightedTrigram& query : distinctTrigrams(mySearch)) {
    const unsigned int amount = query.tri->getAmountOfIndex();
    const unsigned int* all = query.tri->getAllIndex();
    for (unsigned int k = 0; k < amount; ++k) {
      idCount*& count = tallyByTown[all[k]];
      if (count != nullptr) {
        count->increaseAmount(query.occurrences);
        continue;
      }
      count = tallyAllocator.allocate(1);
      tallyAllocator.construct(count, all[k]);
      count->increaseAmount(query.occurrences - 1);
      myID.push_back(count);
    }
    delete[] all;
  }
  for (const idCount* count : myID) tallyByTown[count->getID()] = nullptr;
  return myID;
}

// Takes out of myID, keeping their order, the tallies that can rank among
// the first ten and returns them: those with as many hits (capped at found,
// the number of query trigrams) as the tenth best has, or more. Shares are
// hits / found, so the sort of these puts the same ten first as a sort of
// all would; the rest stay in myID, unranked. Ten or fewer tallies: all are
// taken.
controll::idList controll::takeContenders(idList& myID, unsigned int found) {
  idList contenders(myID.get_allocator());
  if (myID.size() <= kMaxResults) {
    contenders.swap(myID);
    return contenders;
  }
  const auto hits = [found](const idCount* count) {
    return std::min(count->getAmount(), found);
  };
  std::vector<std::size_t> withHits(std::size_t{found} + 1, 0);
  for (const idCount* count : myID) ++withHits[hits(count)];
  unsigned int needed = found;
  for (std::size_t atLeast = withHits[found]; atLeast < kMaxResults;) {
    atLeast += withHits[--needed];
  }
  for (auto it = myID.begin(); it != myID.end();) {
    const auto next = std::next(it);
    if (hits(*it) >= needed) contenders.splice(contenders.end(), myID, it);
    it = next;
  }
  return contenders;
}

// Ends the life of every tally in tallies, made by tally() from scratch.
void controll::releaseTallies(idList& tallies,
                              std::pmr::memory_resource* scratch) {
  std::pmr::polymorphic_allocator<idCount> tallyAllocator(scratch);
  for (idCount* count : tallies) {
    tallyAllocator.destroy(count);
    tallyAllocator.deallocate(count, 1);
  }
  tallies.clear();
}

// Returns new result records for the first ten tallies of ranked, with their
// rank as index. Fewer tallies give fewer records; none give an empty list.
controll::townList controll::results(const idList& ranked) const {
  townList townsDetected;
  unsigned int rank = 0;
  for (auto it = ranked.begin(); it != ranked.end() && rank < kMaxResults;
       ++it, ++rank) {
    town* result = new town(rank, nameOfTown((*it)->getID()));
    result->setPercent((*it)->getPercent());
    townsDetected.push_back(result);
  }
  return townsDetected;
}

// Returns the normalised name of the town with the given index, or an empty
// name when the index holds no such town.
std::string controll::nameOfTown(unsigned int index) const {
  if (index >= townByIndex.size()) return std::string();
  return townByIndex[index]->getName();
}
