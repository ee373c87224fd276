// A compact reference for the search benchmarks: the same match share and
// order as the program's search, with nothing of the program's records.
//
// Postings are arrays of 32-bit town numbers, one entry per window
// occurrence, in file order; a search counts hits in a dense per-town
// counter that it reuses and resets through the list of towns it touched,
// which is also the order of first appearance, and partially sorts the
// touched towns for the ten best. The benchmarks hold the program's search
// against it: a plain way to the same answers, with no records to make.

#ifndef FARWANDER_BENCH_COMPACTINDEX_H_
#define FARWANDER_BENCH_COMPACTINDEX_H_

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class compactIndex {
 public:
  // Reads the city file at path (the name in field 2 of each line with one).
  explicit compactIndex(const std::string& path);

  compactIndex(const compactIndex&) = delete;
  compactIndex& operator=(const compactIndex&) = delete;

  // Returns the ten best towns for query as (share, normalised name), best
  // first, equal shares in order of first appearance.
  std::vector<std::pair<double, std::string>> search(const std::string& query);

  // Returns how many postings entries a search of query walks.
  std::size_t entriesWalked(const std::string& query) const;

 private:
  // The distinct windows of the normalised query found in the index, in
  // order of first occurrence, with their number of occurrences.
  std::vector<std::pair<const std::vector<std::uint32_t>*, std::uint32_t>>
  windowsOf(const std::string& query) const;

  std::vector<std::string> names;  // normalised, by town number
  std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> postings;
  std::vector<std::uint32_t> hits;     // per town; 0 between searches
  std::vector<std::uint32_t> touched;  // towns met, in order of meeting
  std::vector<std::pair<std::uint32_t, std::uint32_t>> ranked;  // hits, place
};

#endif  // FARWANDER_BENCH_COMPACTINDEX_H_
