// The index build against small city files: the towns and trigrams it holds
// afterwards, the exact bytes of the build log, and the console report.

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

#include "buildLog.h"
#include "controll.h"
#include "testSupport.h"
#include "trigramTable.h"

namespace fs = std::filesystem;

namespace {

// Log entries, spelled as the log spells them.
std::string townEntry(const std::string& name, unsigned int index) {
  return "\nnew town: " + name + " index: " + std::to_string(index);
}
std::string firstEntry(const std::string& window, unsigned int index) {
  return "\nmyTris was empty. " + window + " with index " +
         std::to_string(index) + " was inserted";
}
std::string knownEntry(const std::string& window, unsigned int index) {
  return "\n" + window + " was already in the list. index " +
         std::to_string(index) + " has been added";
}
std::string newEntry(const std::string& window, unsigned int index) {
  return "\n" + window + " wasn't in the list. it has been added with index " +
         std::to_string(index);
}

struct buildCase {
  const char* label;
  std::string cityFile;
  std::string index;  // as describeIndex writes it
  std::string log;
};

const std::vector<buildCase> kBuildCases = {
    {"spaces and capitals; fields beyond the name ignored",
     "2950159\tNew York\tNew York City\t40.7\n",
     "0 new_york\nnew: 0\new_: 0\nw_y: 0\n_yo: 0\nyor: 0\nork: 0\n",
     "logging is active\nnew town: new_york index: 0"
     "\nmyTris was empty. new with index 0 was inserted"
     "\new_ wasn't in the list. it has been added with index 0"
     "\nw_y wasn't in the list. it has been added with index 0"
     "\n_yo wasn't in the list. it has been added with index 0"
     "\nyor wasn't in the list. it has been added with index 0"
     "\nork wasn't in the list. it has been added with index 0"},
    {"a window twice in one name enters the town twice", "7\tAAAA\n",
     "0 aaaa\naaa: 0 0\n",
     kLogStart + townEntry("aaaa", 0) + firstEntry("aaa", 0) +
         knownEntry("aaa", 0)},
    {"towns numbered from 0 in file order; lists in file order",
     "1\tAbc\n2\tXabc\n3\tabc\n", "0 abc\n1 xabc\n2 abc\nabc: 0 1 2\nxab: 1\n",
     kLogStart + townEntry("abc", 0) + townEntry("xabc", 1) +
         townEntry("abc", 2) + firstEntry("abc", 0) + newEntry("xab", 1) +
         knownEntry("abc", 1) + knownEntry("abc", 2)},
    {"UTF-8 bytes pass unchanged and windows may cut them", "1\t\xC3\x84RHUS\n",
     "0 \xC3\x84rhus\n\xC3\x84r: 0\n\x84rh: 0\nrhu: 0\nhus: 0\n",
     kLogStart + townEntry("\xC3\x84rhus", 0) + firstEntry("\xC3\x84r", 0) +
         newEntry("\x84rh", 0) + newEntry("rhu", 0) + newEntry("hus", 0)},
    {"a carriage return stays in the last field of its line",
     "1\tOslo\r\n2\tRIGA\tLV\r\n",
     "0 oslo\r\n1 riga\nosl: 0\nslo: 0\nlo\r: 0\nrig: 1\niga: 1\n",
     kLogStart + townEntry("oslo\r", 0) + townEntry("riga", 1) +
         firstEntry("osl", 0) + newEntry("slo", 0) + newEntry("lo\r", 0) +
         newEntry("rig", 1) + newEntry("iga", 1)},
    {"lines of fewer than two fields are skipped and use no number; short "
     "and empty names are towns without windows; no final newline",
     "\n123\n123\t\n4\tab\n5\t\tx\n6\tabc", "0 ab\n1 \n2 abc\nabc: 2\n",
     kLogStart + townEntry("ab", 0) + townEntry("", 1) + townEntry("abc", 2) +
         firstEntry("abc", 2)},
    {"an empty file", "", "", kLogStart},
};

}  // namespace

TEST(IndexBuild, FillsIndexAndWritesLogExactly) {
  for (const buildCase& c : kBuildCases) {
    SCOPED_TRACE(c.label);
    scratchDir dir;
    writeFile(controll::kCityFile, c.cityFile);
    std::ostringstream out;
    controll index(out);
    const std::clock_t start = std::clock();
    index.initiateSearch();
    const double most =
        static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    EXPECT_EQ(describeIndex(index), c.index);
    EXPECT_EQ(readFile(controll::kLogFile), c.log);
    EXPECT_EQ(maskTiming(out.str()), kBuilt);
    // The report counts the build's processor time: never 0, as opening
    // files alone takes some, and never more than the time around the call.
    EXPECT_GT(reportedSeconds(out.str()), 0.0);
    EXPECT_LE(reportedSeconds(out.str()), most * 1.0001);
  }
}

namespace {

struct tableCase {
  const char* label;
  unsigned int keys;   // distinct keys entered, in a scattered order
  std::uint32_t step;  // key k is (k * step) mod 2^24; odd, so keys differ
};

const std::vector<tableCase> kTableCases = {
    {"fewer keys than a fresh table holds, some sharing slots", 1500, 40503},
    {"keys far apart, past two doublings of the table", 9000, 4097},
};

}  // namespace

TEST(WindowTable, FindsEveryKeyAtItsPosition) {
  for (const tableCase& c : kTableCases) {
    SCOPED_TRACE(c.label);
    trigramTable table;
    const auto keyOf = [&c](unsigned int k) { return (k * c.step) & 0xFFFFFF; };
    // The second round fills the table again after clear().
    for (int round = 0; round < 2; ++round) {
      for (unsigned int k = 0; k < c.keys; ++k) {
        std::uint32_t& position = table.slot(keyOf(k));
        ASSERT_EQ(position, trigramTable::kNone);
        position = k;
      }
      unsigned int wrong = 0;
      for (unsigned int k = 0; k < c.keys; ++k) {
        wrong += table.find(keyOf(k)) != k;
        wrong += table.slot(keyOf(k)) != k;
      }
      for (unsigned int k = c.keys; k < 2 * c.keys; ++k) {
        wrong += table.find(keyOf(k)) != trigramTable::kNone;  // absent keys
      }
      EXPECT_EQ(wrong, 0u);
      table.clear();
    }
  }
}

TEST(IndexBuild, LogWritesTheLargestIndexInFull) {
  scratchDir dir;
  buildLog log;
  ASSERT_TRUE(log.open(controll::kLogFile));
  log.newTown("x", UINT_MAX);
  log.knownTrigram("xyz", UINT_MAX);
  ASSERT_TRUE(log.close());
  EXPECT_EQ(readFile(controll::kLogFile),
            kLogStart + townEntry("x", UINT_MAX) + knownEntry("xyz", UINT_MAX));
}
