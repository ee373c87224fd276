// The index build against city files, ordinary and hostile: the towns and
// trigrams it holds afterwards, the exact bytes of the build log and the
// console report, also where memory runs out; the window table; the log's
// largest numbers.

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "buildLog.h"
#include "controll.h"
#include "recordList.h"
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

// The index that every row starts from: a build replaces it, or keeps it.
const std::string kIndexBefore = "0 old\nold: 0\n";

// One hostile city file: how it is laid out and what the build answers.
// The log is checked only where a row says so, through logStarts (its first
// bytes, and its size if given) or logIs; failingAbove plants failures of
// large allocations.
struct cityCase {
  const char* label;
  std::function<void()> setUp;  // lays out the city file and the log
  std::string console;          // what the build prints, timing masked
  std::string index;            // describeIndex afterwards
  std::optional<std::string> logStart = std::nullopt;
  std::optional<std::size_t> logSize = std::nullopt;
  std::size_t failAbove = SIZE_MAX;

  cityCase logStarts(std::string bytes,
                     std::optional<std::size_t> size = {}) const {
    cityCase c = *this;
    c.logStart = std::move(bytes);
    c.logSize = size;
    return c;
  }
  cityCase logIs(const std::string& bytes) const {
    return logStarts(bytes, bytes.size());
  }
  cityCase failingAbove(std::size_t size) const {
    cityCase c = *this;
    c.failAbove = size;
    return c;
  }
};

// Returns a set-up that writes bytes as the city file.
std::function<void()> file(const std::string& bytes) {
  return [bytes] { cities(bytes); };
}

const std::vector<cityCase> kCityCases = {
    cityCase{"spaces and capitals; fields beyond the name ignored",
             file("2950159\tNew York\tNew York City\t40.7\n"), kBuilt,
             "0 new_york\nnew: 0\new_: 0\nw_y: 0\n_yo: 0\nyor: 0\nork: 0\n"}
        .logIs(kLogStart + townEntry("new_york", 0) + firstEntry("new", 0) +
               newEntry("ew_", 0) + newEntry("w_y", 0) + newEntry("_yo", 0) +
               newEntry("yor", 0) + newEntry("ork", 0)),
    cityCase{"a window twice in one name enters the town twice",
             file("7\tAAAA\n"), kBuilt, "0 aaaa\naaa: 0 0\n"}
        .logIs(kLogStart + townEntry("aaaa", 0) + firstEntry("aaa", 0) +
               knownEntry("aaa", 0)),
    cityCase{"towns numbered from 0 in file order; lists in file order",
             file("1\tAbc\n2\tXabc\n3\tabc\n"), kBuilt,
             "0 abc\n1 xabc\n2 abc\nabc: 0 1 2\nxab: 1\n"}
        .logIs(kLogStart + townEntry("abc", 0) + townEntry("xabc", 1) +
               townEntry("abc", 2) + firstEntry("abc", 0) + newEntry("xab", 1) +
               knownEntry("abc", 1) + knownEntry("abc", 2)),
    cityCase{"UTF-8 bytes pass unchanged and windows may cut them",
             file("1\t\xC3\x84RHUS\n"), kBuilt,
             "0 \xC3\x84rhus\n\xC3\x84r: 0\n\x84rh: 0\nrhu: 0\nhus: 0\n"}
        .logIs(kLogStart + townEntry("\xC3\x84rhus", 0) +
               firstEntry("\xC3\x84r", 0) + newEntry("\x84rh", 0) +
               newEntry("rhu", 0) + newEntry("hus", 0)),
    cityCase{"a carriage return stays in the last field of its line",
             file("1\tOslo\r\n2\tRIGA\tLV\r\n"), kBuilt,
             "0 oslo\r\n1 riga\nosl: 0\nslo: 0\nlo\r: 0\nrig: 1\niga: 1\n"}
        .logIs(kLogStart + townEntry("oslo\r", 0) + townEntry("riga", 1) +
               firstEntry("osl", 0) + newEntry("slo", 0) + newEntry("lo\r", 0) +
               newEntry("rig", 1) + newEntry("iga", 1)),
    cityCase{"lines of fewer than two fields are skipped and use no number; "
             "short and empty names are towns without windows; no final "
             "newline",
             file("\n123\n123\t\n4\tab\n5\t\tx\n6\tabc"), kBuilt,
             "0 ab\n1 \n2 abc\nabc: 2\n"}
        .logIs(kLogStart + townEntry("ab", 0) + townEntry("", 1) +
               townEntry("abc", 2) + firstEntry("abc", 2)),
    cityCase{"an empty file", file(""), kBuilt, ""}.logIs(kLogStart),
    cityCase{
        "binary garbage and NUL bytes",
        file(std::string("\0\0\0\n1\tA\0B\xff\xfe\tx\n\x01\x02", 17)), kBuilt,
        std::string("0 a\0b\xff\xfe\na\0b: 0\n\0b\xff: 0\nb\xff\xfe: 0\n", 29)}
        .logStarts(kLogStart +
                   std::string("\nnew town: a\0b\xff\xfe index: 0", 25)),
    cityCase{"invalid UTF-8 is kept byte for byte", file("1\t\xC3\x28\xA0Z\n"),
             kBuilt, "0 \xC3\x28\xA0z\n\xC3\x28\xA0: 0\n\x28\xA0z: 0\n"},
    cityCase{"a 10 MB line",
             file("1\tUlm\t" + repeat("x", 10 << 20) + "\n2\tUlmen\n"), kBuilt,
             "0 ulm\n1 ulmen\nulm: 0 1\nlme: 1\nmen: 1\n"},
    // The log: the opening, the town, one "myTris was empty" entry of 48
    // bytes and an "already in the list" entry of 52 bytes for each later
    // window.
    cityCase{"a name of one million bytes",
             file("1\t" + repeat("A", 1 << 20) + "\n"), kBuilt,
             "0 " + repeat("a", 1 << 20) +
                 "\naaa: " + repeat("0 ", (1 << 20) - 3) + "0\n"}
        .logStarts(kLogStart, kLogStart.size() + 11 + (1 << 20) + 9 + 48 +
                                  ((1 << 20) - 3) * 52),
    cityCase{
        "100,000 tabs after a name, and a line of tabs only",
        file("1\tRiga" + repeat("\t", 100000) + "\n" + repeat("\t", 100000)),
        kBuilt, "0 riga\n1 \nrig: 0\niga: 0\n"},
    cityCase{"only newlines", file(repeat("\n", 1000)), kBuilt, ""}.logIs(
        kLogStart),
    cityCase{"a missing city file", [] {}, kOpenCityError + kBuilt,
             kIndexBefore}
        .logIs(kLogStart),
    cityCase{"a city file that is a directory",
             [] { fs::create_directory(controll::kCityFile); },
             kOpenCityError + kBuilt, kIndexBefore}
        .logIs(kLogStart),
    cityCase{"a city file that is a dangling link",
             [] { fs::create_symlink("nowhere.txt", controll::kCityFile); },
             kOpenCityError + kBuilt, kIndexBefore}
        .logIs(kLogStart),
    cityCase{"a city file whose reads fail",
             [] { fs::create_symlink("/proc/self/mem", controll::kCityFile); },
             "\nError while reading cities15000.txt" + kBuilt, kIndexBefore}
        .logIs(kLogStart),
    cityCase{"a build log that is a directory",
             [] {
               cities("1\tRome\n");
               fs::create_directory(controll::kLogFile);
             },
             "\nError while opening createlog.tri" + kBuilt, kIndexBefore},
    cityCase{"a build log that is a symbolic link to the city file: neither "
             "is emptied",
             [] {
               cities("1\tRome\n");
               fs::create_symlink(controll::kCityFile, controll::kLogFile);
             },
             "\nError while opening createlog.tri" + kBuilt, kIndexBefore}
        .logIs("1\tRome\n"),
    cityCase{"a build log that is a hard link to the city file",
             [] {
               cities("1\tRome\n");
               fs::create_hard_link(controll::kCityFile, controll::kLogFile);
             },
             "\nError while opening createlog.tri" + kBuilt, kIndexBefore}
        .logIs("1\tRome\n"),
    cityCase{"a build log whose writes fail",
             [] {
               cities("1\tRome\n");
               fs::create_symlink("/dev/full", controll::kLogFile);
             },
             "\nError while writing createlog.tri" + kBuilt,
             "0 rome\nrom: 0\nome: 0\n"},
    cityCase{"a line too long for memory: the old index stays, the log keeps "
             "the towns read",
             file("1\tUlm\n2\t" + repeat("x", 2 << 20) + "\n"),
             kBuildMemory + kBuilt, kIndexBefore}
        .logIs(kLogStart + "\nnew town: ulm index: 0")
        .failingAbove(1 << 20),
    cityCase{"memory runs out once the old index is released: an empty index",
             file("1\t" + repeat("a", 300000) + "\n"), kBuildMemory + kBuilt,
             ""}
        .logStarts(kLogStart + "\nnew town: aaa")
        .failingAbove(1 << 20),
};

}  // namespace

TEST(IndexBuild, AnswersExactlyAndKeepsWhatItHeld) {
  for (const cityCase& c : kCityCases) {
    SCOPED_TRACE(c.label);
    scratchDir dir;
    std::ostringstream out;
    controll index(out);
    cities("1\tOld\n");
    index.initiateSearch();
    fs::remove(controll::kCityFile);
    fs::remove(controll::kLogFile);
    out.str("");

    c.setUp();
    failAllocations(-1, c.failAbove);
    const std::clock_t start = std::clock();
    index.initiateSearch();
    const double most =
        static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    stopFailingAllocations();
    EXPECT_EQ(maskTiming(out.str()), c.console);
    EXPECT_TRUE(describeIndex(index) == c.index) << "index differs";
    // The report counts the build's processor time: never 0, as opening
    // files alone takes some, and never more than the time around the call.
    EXPECT_GT(reportedSeconds(out.str()), 0.0);
    EXPECT_LE(reportedSeconds(out.str()), most * 1.0001);
    if (!c.logStart) continue;  // a log that may be endless
    const std::string log = readFile(controll::kLogFile);
    EXPECT_EQ(log.substr(0, c.logStart->size()), *c.logStart);
    EXPECT_EQ(log.size(), c.logSize.value_or(log.size()));
  }
}

TEST(OutOfMemory, BuildLeavesTheOldIndexOrAnEmptyOneWhereverItFails) {
  scratchDir dir;
  const std::string fresh = "0 ulm\n1 aaaa\nulm: 0\naaa: 1 1\n";
  std::unique_ptr<controll> index;
  std::unique_ptr<roomyStream> out;
  std::size_t before = 0;  // bytes of out before the build
  int builds = 0;
  failEachAllocationInTurn(
      [&] {
        index.reset();
        out = std::make_unique<roomyStream>();
        index = std::make_unique<controll>(*out);
        cities("1\tOld\n");
        index->initiateSearch();
        cities("1\tUlm\n2\tAAAA\n");
        before = out->written().size();
      },
      [&] { index->initiateSearch(); },
      [&](bool failed) {
        ++builds;
        const std::string now = describeIndex(*index);
        EXPECT_EQ(maskTiming(out->written().substr(before)),
                  failed ? kBuildMemory + kBuilt : kBuilt);
        EXPECT_TRUE(now == (failed ? kIndexBefore : fresh) ||
                    (failed && now.empty()))
            << now;
        // Emptied or not, the log begins as a log does.
        EXPECT_EQ(readFile(controll::kLogFile).substr(0, kLogStart.size()),
                  kLogStart);
        const recordList<town> found(index->searchTown("old"));
        EXPECT_EQ(found.get().size(), now == kIndexBefore ? 1u : 0u);
      });
  EXPECT_GT(builds, 20);  // the sweep met the build's allocations
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
      // A key already in the table never makes it grow.
      const unsigned long long before = allocationsMade();
      for (unsigned int k = 0; k < 4 * c.keys; ++k) table.slot(keyOf(0));
      EXPECT_EQ(allocationsMade(), before);
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
