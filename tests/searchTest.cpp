// Ranked search: the answers against a plain model of the metric on many
// small random indexes, a few rows that show the metric to a reader, what a
// search leaves when memory runs out, and what its cost grows with.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "controll.h"
#include "recordList.h"
#include "testSupport.h"

namespace {

// An index in a scratch directory of its own, built from a city file of
// towns (raw names, in file order) by rebuild.
struct builtIndex {
  explicit builtIndex(const std::vector<std::string>& towns) { rebuild(towns); }
  void rebuild(const std::vector<std::string>& towns) {
    std::string cityFile;
    for (std::size_t i = 0; i < towns.size(); ++i) {
      cityFile += std::to_string(1000 + i) + "\t" + towns[i] + "\tx\n";
    }
    cities(cityFile);
    index.initiateSearch();
  }
  scratchDir dir;
  std::ostringstream out;
  controll index{out};
};

// The metric as plainly as it can be said, read from the index's lists: each
// window of the normalised query in order, found by scanning the trigrams;
// each entry of their town lists tallied, a tally found by scanning the
// tallies; a share of min(hits, found) / found, where found counts the
// windows found; a stable sort by share; the first ten, each named by the
// last town in the town list with its index.
std::string modelAnswer(const controll& index, std::string query) {
  for (char& c : query) {
    c = c == ' ' ? '_' : c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
  }
  std::vector<const trigram*> mySearch;
  for (std::size_t at = 0; at + 3 <= query.size(); ++at) {
    for (const trigram* t : index.getTrigrams()) {
      if (t->getName() == query.substr(at, 3)) mySearch.push_back(t);
    }
  }
  std::vector<std::pair<unsigned int, double>> myID;  // town index, hits
  for (const trigram* t : mySearch) {
    const std::unique_ptr<unsigned int[]> all(t->getAllIndex());
    for (unsigned int k = 0; k < t->getAmountOfIndex(); ++k) {
      auto tally = std::find_if(myID.begin(), myID.end(),
                                [&](auto& c) { return c.first == all[k]; });
      if (tally == myID.end()) tally = myID.insert(myID.end(), {all[k], 0});
      ++tally->second;
    }
  }
  const double found = static_cast<double>(mySearch.size());
  for (auto& tally : myID) tally.second = std::min(tally.second, found) / found;
  std::stable_sort(myID.begin(), myID.end(),
                   [](auto& a, auto& b) { return a.second > b.second; });
  std::ostringstream text;
  for (std::size_t rank = 0; rank < myID.size() && rank < 10; ++rank) {
    std::string name;
    for (const town* t : index.getTowns()) {
      if (t->getIndex() == myID[rank].first) name = t->getName();
    }
    text << rank << ' ' << myID[rank].second * 100 << ' ' << name << '\n';
  }
  return text.str();
}

}  // namespace

TEST(Search, AnswersAsThePlainModelOfTheMetric) {
  // Few letters, so that names share windows, repeat them and tie often;
  // the blank and the capital are normalised.
  const std::string letters = "abA ";
  std::mt19937 random(20261209);
  const auto word = [&](unsigned int longest) {
    std::string text(random() % (longest + 1), ' ');
    for (char& c : text) c = letters[random() % letters.size()];
    return text;
  };
  builtIndex built({});  // rebuilt for every round
  for (int round = 0; round < 200; ++round) {
    std::vector<std::string> towns(random() % 40);
    for (std::string& name : towns) name = word(8);
    built.rebuild(towns);
    for (int q = 0; q < 30; ++q) {
      const std::string query = word(12);
      ASSERT_EQ(answerOf(built.index, query), modelAnswer(built.index, query))
          << "round " << round << ", query '" << query << "'";
    }
  }
}

namespace {

struct searchCase {
  const char* label;
  std::vector<std::string> towns;  // raw names, in file order
  std::string query;
  std::string expected;  // as answerOf writes it
};

const std::vector<searchCase> kSearchCases = {
    {"walla_walla holds wal, all and lla twice each: six hits of five, "
     "capped at 100%; equal shares in the order first met",
     {"Wallasey", "Llallagua", "Walla Walla", "Lacey"},
     "Wallace",
     "0 100 walla_walla\n1 60 wallasey\n2 60 llallagua\n3 40 lacey\n"},
    {"a window twice in the query counts twice, in the share and in the "
     "hits",
     {"aaa", "aab"},
     "aaaab",
     "0 66.6667 aaa\n1 33.3333 aab\n"},
    {"hits are capped before the ten are taken: abcabcabc, with three of "
     "abc's two, ties with the ten before it and is left out",
     {"abcda", "abcdb", "abcdc", "abcdd", "abcde", "abcdf", "abcdg", "abcdh",
      "abcdi", "abcdj", "abcabcabc"},
     "abcd",
     "0 100 abcda\n1 100 abcdb\n2 100 abcdc\n3 100 abcdd\n4 100 abcde\n"
     "5 100 abcdf\n6 100 abcdg\n7 100 abcdh\n8 100 abcdi\n9 100 abcdj\n"},
    {"nine hold both windows; the tenth place goes to the first town met of "
     "those holding one, which is not the first in the file",
     {"xbcd", "abcx", "abcda", "abcdb", "abcdc", "abcdd", "abcde", "abcdf",
      "abcdg", "abcdh", "abcdi"},
     "abcd",
     "0 100 abcda\n1 100 abcdb\n2 100 abcdc\n3 100 abcdd\n4 100 abcde\n"
     "5 100 abcdf\n6 100 abcdg\n7 100 abcdh\n8 100 abcdi\n9 50 abcx\n"},
};

}  // namespace

TEST(Search, RanksTownsByShareOfQueryWindows) {
  for (const searchCase& c : kSearchCases) {
    SCOPED_TRACE(c.label);
    builtIndex built(c.towns);
    const std::string held = describeIndex(built.index);
    EXPECT_EQ(answerOf(built.index, c.query), c.expected);
    EXPECT_EQ(describeIndex(built.index), held);
  }
}

TEST(Search, LeavesNothingBehindWhereverMemoryRunsOut) {
  builtIndex built({"Berlin", "Bern", "Erlangen"});
  controll& index = built.index;
  const std::string whole = answerOf(index, "Berlin");
  controll::townList found;
  long long live = 0;  // allocations not released before the search
  failEachAllocationInTurn([&] { live = allocationsLive(); },
                           [&] {
                             try {
                               found = index.searchTown("Berlin");
                             } catch (const std::bad_alloc&) {
                             }
                           },
                           [&](bool failed) {
                             EXPECT_EQ(describeResults(std::move(found)),
                                       failed ? "" : whole);
                             EXPECT_EQ(allocationsLive(), live);
                             EXPECT_EQ(answerOf(index, "Berlin"), whole);
                           });
}

namespace {

// What a search on an index of a number of towns costs, all of which hold
// every window of the queries.
struct searchCost {
  unsigned long long allocations;  // of a search for a short query
  double seconds;                  // least processor time for a long query
};

searchCost costOn(std::size_t towns) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < towns; ++i) {
    names.push_back("abab" + std::to_string(i));
  }
  builtIndex built(names);
  controll& index = built.index;
  answerOf(index, "abab");  // the first search sizes its counters
  const unsigned long long before = allocationsMade();
  { const recordList<town> found(index.searchTown("abab")); }
  const unsigned long long allocations = allocationsMade() - before;
  const std::string query = repeat("ab", 1 << 16);
  return {allocations, leastSecondsOf([&] {
            const recordList<town> found(index.searchTown(query));
          })};
}

}  // namespace

TEST(Search, CostGrowsNeitherWithTheTownsMetNorWithRepeatedWindows) {
  // An allocation per town met, or a walk of a window's towns per occurrence
  // of the window in the query, makes 2,600 towns cost a hundred times 26.
  const searchCost few = costOn(26);
  const searchCost many = costOn(2600);
  EXPECT_EQ(many.allocations, few.allocations);
  EXPECT_LE(few.allocations, 64u);
  EXPECT_LT(many.seconds, 10 * few.seconds);
}
