// The search's lookups and the two walks over the towns' windows that build
// them.

#include "postingIndex.h"

#include <string_view>

#include "buildLog.h"
#include "trigram.h"

postingIndex::postingIndex() = default;

void postingIndex::build(const std::list<town*>& towns, buildLog& log) {
  townByIndex.assign(towns.begin(), towns.end());
  groupTowns(enterWindows(towns, log));
}

void postingIndex::clear() {
  positionOfWindow.clear();
  // Assigned anew, not cleared, so that their memory goes too.
  windows = std::vector<std::uint32_t>();
  townByIndex = std::vector<const town*>();
  postings = std::vector<unsigned int>();
  postingStart = std::vector<std::size_t>();
}

std::uint32_t postingIndex::windowCount() const {
  return static_cast<std::uint32_t>(windows.size());
}

std::size_t postingIndex::townCount() const { return townByIndex.size(); }

std::size_t postingIndex::entryCount() const { return postings.size(); }

std::string postingIndex::windowAt(std::uint32_t position) const {
  return windowTable::windowOf(windows[position]);
}

std::uint32_t postingIndex::find(const char* window) const {
  return positionOfWindow.find(windowTable::keyOf(window));
}

postingIndex::townRange postingIndex::townsHolding(
    std::uint32_t position) const {
  const unsigned int* all = postings.data();
  return {all + postingStart[position], all + postingStart[position + 1]};
}

const town& postingIndex::townAt(unsigned int index) const {
  return *townByIndex[index];
}

// First walk, over every window of every town in town order and then
// position order: enters each window into the table, a new one at the next
// position, writes its log entry, and returns how many entries each
// position's postings will have.
std::vector<std::size_t> postingIndex::enterWindows(
    const std::list<town*>& towns, buildLog& log) {
  std::vector<std::size_t> counts;
  for (const town* t : towns) {
    const unsigned int index = t->getIndex();
    trigram::forEachWindow(t->getName(), [&](const char* window) {
      const std::string_view text(window, trigram::kLength);
      const std::uint32_t key = windowTable::keyOf(window);
      std::uint32_t& position = positionOfWindow.slot(key);
      if (position != kNoPosition) {
        ++counts[position];
        log.knownTrigram(text, index);
        return;
      }
      position = static_cast<std::uint32_t>(windows.size());
      windows.push_back(key);
      counts.push_back(1);
      if (position == 0) {
        log.firstTrigram(text, index);
      } else {
        log.newTrigram(text, index);
      }
    });
  }
  return counts;
}

// Second walk, in the same order: sorts the town index of every window into
// its position's group, so each group keeps town order.
void postingIndex::groupTowns(const std::vector<std::size_t>& counts) {
  postingStart.assign(counts.size() + 1, 0);
  for (std::size_t p = 0; p < counts.size(); ++p) {
    postingStart[p + 1] = postingStart[p] + counts[p];
  }
  postings.resize(postingStart.back());
  std::vector<std::size_t> next(postingStart.begin(), postingStart.end() - 1);
  for (const town* t : townByIndex) {
    const unsigned int index = t->getIndex();
    trigram::forEachWindow(t->getName(), [&](const char* window) {
      postings[next[find(window)]++] = index;
    });
  }
}
