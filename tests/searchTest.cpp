// Ranked search on small indexes: the share and its cap, repeated windows,
// windows missing from the index, ties, ranks and the cut at ten.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "controll.h"
#include "testSupport.h"

namespace {

struct searchCase {
  const char* label;
  std::vector<std::string> towns;  // raw names, in file order
  std::string query;
  std::string expected;  // "rank percent name" lines, best first
};

std::vector<std::string> twelveAbcTowns() {
  std::vector<std::string> towns;
  for (char last = 'a'; last < 'a' + 12; ++last) {
    towns.push_back("abc" + std::string(1, last));
  }
  return towns;
}

// Seventeen towns in three bands for the query "abcde": every third holds all
// three of its windows, the next two of them, the next one only.
std::vector<std::string> threeBandTowns() {
  const char* bands[] = {"abcde", "abcdq", "abcqq"};
  std::vector<std::string> towns;
  for (int i = 0; i < 17; ++i) {
    towns.push_back(bands[i % 3] + std::string(1, static_cast<char>('a' + i)));
  }
  return towns;
}

const std::vector<searchCase> kSearchCases = {
    {"full and partial matches; equal shares in order of first appearance",
     {"Erlangen", "Berlin", "Bern"},
     "Berlin",
     "0 100 berlin\n1 25 bern\n2 25 erlangen\n"},
    {"windows missing from the index do not lower the share",
     {"Erlangen", "Berlin", "Bern"},
     "berlinqq",
     "0 100 berlin\n1 25 bern\n2 25 erlangen\n"},
    {"a window twice in the query counts twice; the share is capped at 1",
     {"aaa", "aaaa", "xaax"},
     "aaaa",
     "0 100 aaa\n1 100 aaaa\n"},
    {"a name holding a window twice is capped at 1",
     {"aaaa", "aaa"},
     "aaa",
     "0 100 aaaa\n1 100 aaa\n"},
    {"thirds; order by share, not by first appearance",
     {"abcde", "abcxx", "xbcde"},
     "abcde",
     "0 100 abcde\n1 66.6667 xbcde\n2 33.3333 abcxx\n"},
    {"half of the windows found",
     {"Ulm", "Ulmen"},
     "ulme",
     "0 100 ulmen\n1 50 ulm\n"},
    {"at most ten results, ranked 0 to 9", twelveAbcTowns(), "abc",
     "0 100 abca\n1 100 abcb\n2 100 abcc\n3 100 abcd\n4 100 abce\n"
     "5 100 abcf\n6 100 abcg\n7 100 abch\n8 100 abci\n9 100 abcj\n"},
    {"the tenth place falls within a band; bands below it never rank",
     threeBandTowns(), "abcde",
     "0 100 abcdea\n1 100 abcded\n2 100 abcdeg\n3 100 abcdej\n4 100 abcdem\n"
     "5 100 abcdep\n6 66.6667 abcdqb\n7 66.6667 abcdqe\n8 66.6667 abcdqh\n"
     "9 66.6667 abcdqk\n"},
    {"a query with spaces and capitals is normalised",
     {"New York", "York"},
     "New York",
     "0 100 new_york\n1 33.3333 york\n"},
    {"queries shorter than three bytes find nothing", {"ab", "abc"}, "ab", ""},
    {"an empty query finds nothing", {"abc"}, "", ""},
    {"no window of the query in the index", {"Paris"}, "xyz", ""},
    {"an empty index", {}, "Berlin", ""},
};

std::string describeResults(const controll::townList& found) {
  std::ostringstream text;
  for (const town* t : found) {
    text << t->getIndex() << ' ' << t->getPercent() * 100 << ' ' << t->getName()
         << '\n';
  }
  return text.str();
}

}  // namespace

TEST(Search, RanksTownsByShareOfQueryWindows) {
  for (const searchCase& c : kSearchCases) {
    SCOPED_TRACE(c.label);
    scratchDir dir;
    std::string cityFile;
    for (std::size_t i = 0; i < c.towns.size(); ++i) {
      cityFile += std::to_string(1000 + i) + "\t" + c.towns[i] + "\tx\n";
    }
    writeFile(controll::kCityFile, cityFile);
    std::ostringstream out;
    controll index(out);
    if (!c.towns.empty()) index.initiateSearch();
    const std::string before = describeIndex(index);

    const std::string query = c.query;
    controll::townList found = index.searchTown(query);
    EXPECT_EQ(describeResults(found), c.expected);
    EXPECT_EQ(query, c.query);
    EXPECT_EQ(describeIndex(index), before);
    for (town* t : found) delete t;
  }
}
