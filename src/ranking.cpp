// A query's hits counted per town, and the ten towns that rank taken at the
// cut.

#include "ranking.h"

#include <algorithm>

#include "postingIndex.h"
#include "trigram.h"

namespace {

// A window position with no place in the query being cut.
constexpr std::uint32_t kNoSlot = 0xFFFFFFFFu;

}  // namespace

ranking::ranking() = default;

ranking::contenders ranking::rank(const postingIndex& postings,
                                  const std::string& query) {
  contenders ranked{};
  const std::vector<weightedWindow> mySearch = windowsOf(postings, query);
  for (const weightedWindow& window : mySearch) {
    ranked.windowsFound += window.occurrences;
  }
  takeContenders(tally(postings, mySearch, ranked.windowsFound), ranked);
  return ranked;
}

void ranking::clear() {
  // Assigned anew, not cleared, so that their memory goes with the index.
  hitsOfTown = std::vector<std::uint64_t>();
  townsMet = std::vector<unsigned int>();
  slotOfWindow = std::vector<std::uint32_t>();
}

// Returns the windows of query that the index holds, each once, in order of
// first occurrence, with how often it occurs in the query; takes time linear
// in the query. A town meets a repeated window first at its first
// occurrence, so walking each window's postings once, weighted, gives the
// same counts in the same order as walking them once per occurrence, and
// bounds the walk by the index however long the query is.
std::vector<ranking::weightedWindow> ranking::windowsOf(
    const postingIndex& postings, const std::string& query) {
  std::vector<weightedWindow> mySearch;
  if (query.size() < trigram::kLength || postings.windowCount() == 0) {
    return mySearch;
  }
  slotOfWindow.resize(postings.windowCount(), kNoSlot);
  // Room for every distinct window first, so that no push_back can fail
  // with slots marked.
  mySearch.reserve(std::min<std::size_t>(query.size() - trigram::kLength + 1,
                                         postings.windowCount()));
  trigram::forEachWindow(query, [&](const char* window) {
    const std::uint32_t position = postings.find(window);
    if (position == postingIndex::kNoPosition) return;
    std::uint32_t& slot = slotOfWindow[position];
    if (slot == kNoSlot) {
      slot = static_cast<std::uint32_t>(mySearch.size());
      mySearch.push_back({position, 1});
    } else {
      ++mySearch[slot].occurrences;
    }
  });
  for (const weightedWindow& window : mySearch) {
    slotOfWindow[window.position] = kNoSlot;
  }
  return mySearch;
}

// Counts the hits of every town in the postings of mySearch into hitsOfTown,
// each capped at windowsFound, and lists the towns in townsMet in the order
// they are first met; returns how many were met. Empty mySearch: none.
std::size_t ranking::tally(const postingIndex& postings,
                           const std::vector<weightedWindow>& mySearch,
                           std::uint64_t windowsFound) {
  if (mySearch.empty()) return 0;
  hitsOfTown.resize(postings.townCount(), 0);
  townsMet.resize(postings.townCount());
  std::uint64_t* hits = hitsOfTown.data();
  unsigned int* met = townsMet.data();
  std::size_t metCount = 0;
  for (const weightedWindow& window : mySearch) {
    for (const unsigned int townIndex :
         postings.townsHolding(window.position)) {
      std::uint64_t& count = hits[townIndex];
      if (count == 0) met[metCount++] = townIndex;
      // Both terms are at most windowsFound, so the sum cannot wrap.
      count = std::min(count + window.occurrences, windowsFound);
    }
  }
  return metCount;
}

// Puts into ranked the ten of the metCount towns met that rank, in the
// order they were met: the ten with the most hits, where towns of equal hits
// at the cut are taken in the order they were met. Sets every counter back
// to 0. Needs no memory.
void ranking::takeContenders(std::size_t metCount, contenders& ranked) {
  // The ten highest counts, highest first: the least of them is the cut.
  std::array<std::uint64_t, kMaxResults> top{};
  std::size_t filled = 0;
  for (std::size_t i = 0; i < metCount; ++i) {
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
  for (std::size_t i = 0; i < metCount; ++i) {
    std::uint64_t& hits = hitsOfTown[townsMet[i]];
    if (hits > cut || (hits == cut && atCut > 0)) {
      if (hits == cut) --atCut;
      ranked.towns[ranked.count++] = {townsMet[i], hits};
    }
    hits = 0;
  }
}
