// Ranked search on small indexes: the share and its cap, repeated windows,
// windows missing from the index, ties, ranks and the cut at ten.

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "controll.h"
#include "idCount.h"
#include "testSupport.h"

namespace {

struct searchCase {
  const char* label;
  std::vector<std::string> towns;  // raw names, in file order
  std::string query;
  std::string expected;  // "rank percent name" lines, best first
};

// Towns for the query "abcde", one per character of bands (at most 26): '3'
// holds all three of its windows, '2' two of them, '1' one. Each name ends in
// a letter of its own, 'a' for the first town.
std::vector<std::string> bandTowns(const std::string& bands) {
  const char* names[] = {"abcqq", "abcdq", "abcde"};
  std::vector<std::string> towns;
  for (std::size_t i = 0; i < bands.size(); ++i) {
    towns.push_back(names[bands[i] - '1'] +
                    std::string(1, static_cast<char>('a' + i)));
  }
  return towns;
}

// Twelve towns holding the window "abc", every second one twice: for the
// query "abc" all hold the one window found, and the repeats count no more.
std::vector<std::string> repeatedAbcTowns() {
  std::vector<std::string> towns;
  for (char last = 'a'; last < 'a' + 12; ++last) {
    towns.push_back(((last - 'a') % 2 == 0 ? "abc" : "abcabc") +
                    std::string(1, last));
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
    {"thirds; order by share, not by first appearance",
     {"abcde", "abcxx", "xbcde"},
     "abcde",
     "0 100 abcde\n1 66.6667 xbcde\n2 33.3333 abcxx\n"},
    {"half of the windows found",
     {"Ulm", "Ulmen"},
     "ulme",
     "0 100 ulmen\n1 50 ulm\n"},
    {"the tenth place falls within a band; bands below it never rank",
     bandTowns("32132132132132132"), "abcde",
     "0 100 abcdea\n1 100 abcded\n2 100 abcdeg\n3 100 abcdej\n4 100 abcdem\n"
     "5 100 abcdep\n6 66.6667 abcdqb\n7 66.6667 abcdqe\n8 66.6667 abcdqh\n"
     "9 66.6667 abcdqk\n"},
    {"a better tenth met after ten towns raises the cut",
     bandTowns(repeat("3", 9) + "12"), "abcde",
     "0 100 abcdea\n1 100 abcdeb\n2 100 abcdec\n3 100 abcded\n4 100 abcdee\n"
     "5 100 abcdef\n6 100 abcdeg\n7 100 abcdeh\n8 100 abcdei\n"
     "9 66.6667 abcdqk\n"},
    {"nine in the top band: the tenth is the first town met of the next, "
     "however many ties the sort sees",
     bandTowns("2" + repeat("32", 9) + "2222222"), "abcde",
     "0 100 abcdeb\n1 100 abcded\n2 100 abcdef\n3 100 abcdeh\n4 100 abcdej\n"
     "5 100 abcdel\n6 100 abcden\n7 100 abcdep\n8 100 abcder\n"
     "9 66.6667 abcdqa\n"},
    {"at most ten, ranked 0 to 9; hits above the cap tie with capped ones, "
     "in order of first appearance",
     repeatedAbcTowns(), "abc",
     "0 100 abca\n1 100 abcabcb\n2 100 abcc\n3 100 abcabcd\n4 100 abce\n"
     "5 100 abcabcf\n6 100 abcg\n7 100 abcabch\n8 100 abci\n"
     "9 100 abcabcj\n"},
    {"twenty-six equal shares keep the order in which the towns were met",
     bandTowns(repeat("3", 26)), "abcde",
     "0 100 abcdea\n1 100 abcdeb\n2 100 abcdec\n3 100 abcded\n4 100 abcdee\n"
     "5 100 abcdef\n6 100 abcdeg\n7 100 abcdeh\n8 100 abcdei\n"
     "9 100 abcdej\n"},
    {"a repeated query window weighs twice for a town counted before it",
     {"Qxab", "xabxa"},
     "qxabxab",
     "0 80 xabxa\n1 60 qxab\n"},
    {"a long query costs by its distinct windows, not by its length",
     {"Abab"},
     repeat("ab", 100000),
     "0 100 abab\n"},
    {"a query with spaces and capitals is normalised",
     {"New York", "York"},
     "New York",
     "0 100 new_york\n1 33.3333 york\n"},
    {"queries shorter than three bytes find nothing", {"ab", "abc"}, "ab", ""},
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
    const std::string held = describeIndex(index);

    const unsigned long long before = allocationsMade();
    controll::townList found = index.searchTown(c.query);
    EXPECT_LE(allocationsMade() - before, 64u);
    EXPECT_EQ(describeResults(found), c.expected);
    EXPECT_EQ(describeIndex(index), held);
    for (town* t : found) delete t;
  }
}

TEST(Search, LeavesNothingBehindWhereverMemoryRunsOut) {
  scratchDir dir;
  writeFile(controll::kCityFile, "1\tBerlin\n2\tBern\n3\tErlangen\n");
  std::ostringstream out;
  controll index(out);
  index.initiateSearch();
  const std::string expected = "0 100 berlin\n1 25 bern\n2 25 erlangen\n";
  for (long long nth = 0;; ++nth) {
    SCOPED_TRACE("allocation " + std::to_string(nth));
    controll::townList found;
    failAllocations(nth);
    try {
      found = index.searchTown("Berlin");
    } catch (const std::bad_alloc&) {
    }
    const bool failed = stopFailingAllocations();
    EXPECT_EQ(describeResults(found), failed ? "" : expected);
    for (town* t : found) delete t;
    found = index.searchTown("Berlin");
    EXPECT_EQ(describeResults(found), expected);
    for (town* t : found) delete t;
    if (!failed) break;
  }
}

TEST(Search, TallyCountsHitsOneByOneAndSaturates) {
  idCount count(7);
  count.increaseAmount();
  EXPECT_EQ(count.getAmount(), 2u);
  count.increaseAmount(UINT64_MAX);  // saturates rather than wrapping
  EXPECT_EQ(count.getAmount(), UINT64_MAX);
}
