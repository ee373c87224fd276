#include "compactIndex.h"

#include <algorithm>
#include <fstream>

namespace {

constexpr std::size_t kResults = 10;

std::string normalised(std::string name) {
  for (char& c : name) {
    if (c == ' ') c = '_';
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return name;
}

std::uint32_t keyAt(const std::string& name, std::size_t at) {
  const auto byte = [&](std::size_t i) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(name[i]));
  };
  return byte(at) << 16 | byte(at + 1) << 8 | byte(at + 2);
}

}  // namespace

compactIndex::compactIndex(const std::string& path) {
  std::ifstream cities(path, std::ios::binary);
  std::string line;
  while (std::getline(cities, line)) {
    const std::size_t tab = line.find('\t');
    if (tab == std::string::npos || tab + 1 == line.size()) continue;
    const std::size_t end = line.find('\t', tab + 1);
    names.push_back(normalised(
        line.substr(tab + 1, end == std::string::npos ? end : end - tab - 1)));
    const std::string& name = names.back();
    const auto town = static_cast<std::uint32_t>(names.size() - 1);
    for (std::size_t at = 0; at + 3 <= name.size(); ++at) {
      postings[keyAt(name, at)].push_back(town);
    }
  }
  hits.assign(names.size(), 0);
  touched.reserve(names.size());
  ranked.reserve(names.size());
}

std::vector<std::pair<const std::vector<std::uint32_t>*, std::uint32_t>>
compactIndex::windowsOf(const std::string& query) const {
  const std::string name = normalised(query);
  std::vector<std::pair<const std::vector<std::uint32_t>*, std::uint32_t>>
      windows;
  for (std::size_t at = 0; at + 3 <= name.size(); ++at) {
    const auto list = postings.find(keyAt(name, at));
    if (list == postings.end()) continue;
    const auto same =
        std::find_if(windows.begin(), windows.end(),
                     [&](const auto& w) { return w.first == &list->second; });
    if (same == windows.end()) {
      windows.emplace_back(&list->second, 1);
    } else {
      ++same->second;
    }
  }
  return windows;
}

std::size_t compactIndex::entriesWalked(const std::string& query) const {
  std::size_t entries = 0;
  for (const auto& window : windowsOf(query)) entries += window.first->size();
  return entries;
}

std::vector<std::pair<double, std::string>> compactIndex::search(
    const std::string& query) {
  const auto windows = windowsOf(query);
  std::uint32_t found = 0;
  for (const auto& window : windows) found += window.second;
  for (const auto& window : windows) {
    for (const std::uint32_t town : *window.first) {
      if (hits[town] == 0) touched.push_back(town);
      hits[town] = std::min(hits[town] + window.second, found);
    }
  }
  // Order of first appearance breaks ties: the place in touched.
  const std::size_t best = std::min(kResults, touched.size());
  ranked.clear();
  for (std::uint32_t place = 0; place < touched.size(); ++place) {
    ranked.emplace_back(hits[touched[place]], place);
    hits[touched[place]] = 0;
  }
  std::partial_sort(ranked.begin(), ranked.begin() + best, ranked.end(),
                    [](const auto& a, const auto& b) {
                      return a.first != b.first ? a.first > b.first
                                                : a.second < b.second;
                    });
  std::vector<std::pair<double, std::string>> results;
  for (std::size_t r = 0; r < best; ++r) {
    results.emplace_back(static_cast<double>(ranked[r].first) / found,
                         names[touched[ranked[r].second]]);
  }
  touched.clear();
  return results;
}
