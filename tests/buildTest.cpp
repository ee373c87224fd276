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
#include "windowTable.h"

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

const std::string kCity = controll::kCityFile;
const std::string kLog = controll::kLogFile;
const std::string kRome = "1\tRome\n";
const std::string kLogRefused = "\nError while opening createlog.tri" + kBuilt;

// One hostile city file: how it is laid out and what the build answers.
// The log is checked only where a row says so, through logStarts (its first
// bytes, and its size if given) or logIs; a log that is to be empty must not
// be there, nor at the end of its links. failing plants failures of
// allocations of more than `above` bytes, and of the C library's file opens
// too if opens is set.
struct cityCase {
  const char* label;
  std::function<void()> setUp;  // lays out the city file and the log
  std::string console;          // what the build prints, timing masked
  std::string index;            // describeIndex afterwards
  std::optional<std::string> logStart = std::nullopt;
  std::optional<std::size_t> logSize = std::nullopt;
  std::size_t failAbove = SIZE_MAX;
  bool failOpens = false;

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
  cityCase failing(std::size_t above, bool opens = false) const {
    cityCase c = *this;
    c.failAbove = above;
    c.failOpens = opens;
    return c;
  }
};

// Returns a set-up that makes the folders, writes city as the city file if
// it is given, and makes the symbolic links, each a name and its target.
std::function<void()> laidOut(
    std::optional<std::string> city,
    std::vector<std::pair<std::string, std::string>> links = {},
    std::vector<std::string> folders = {}) {
  return [=] {
    for (const std::string& folder : folders) fs::create_directory(folder);
    if (city) cities(*city);
    for (const auto& [name, target] : links) fs::create_symlink(target, name);
  };
}

// Returns a set-up that writes bytes as the city file.
std::function<void()> file(const std::string& bytes) { return laidOut(bytes); }

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
    // The log: the opening, the town, one "myTris was empty" entry of 48
    // bytes and an "already in the list" entry of 52 bytes for each later
    // window.
    cityCase{"a name of one million bytes",
             file("1\t" + repeat("A", 1 << 20) + "\n"), kBuilt,
             "0 " + repeat("a", 1 << 20) +
                 "\naaa: " + repeat("0 ", (1 << 20) - 3) + "0\n"}
        .logStarts(kLogStart, kLogStart.size() + 11 + (1 << 20) + 9 + 48 +
                                  ((1 << 20) - 3) * 52),
    cityCase{"a missing city file", laidOut({}), kOpenCityError + kBuilt,
             kIndexBefore}
        .logIs(kLogStart),
    cityCase{"a city file that is a directory", laidOut({}, {}, {kCity}),
             kOpenCityError + kBuilt, kIndexBefore}
        .logIs(kLogStart),
    cityCase{"a city file that links to itself", laidOut({}, {{kCity, kCity}}),
             kOpenCityError + kBuilt, kIndexBefore}
        .logIs(kLogStart),
    cityCase{"a city file whose reads fail",
             laidOut({}, {{kCity, "/proc/self/mem"}}),
             "\nError while reading cities15000.txt" + kBuilt, kIndexBefore}
        .logIs(kLogStart),
    cityCase{"a build log that is a directory", laidOut(kRome, {}, {kLog}),
             kLogRefused, kIndexBefore},
    cityCase{"the C library runs out of memory as the log opens",
             laidOut(kRome), kBuildMemory + kBuilt, kIndexBefore}
        .logIs("")
        .failing(SIZE_MAX, true),
    cityCase{"a build log that is a symbolic link to the city file: neither "
             "is emptied",
             laidOut(kRome, {{kLog, kCity}}), kLogRefused, kIndexBefore}
        .logIs(kRome),
    cityCase{"a build log that is a hard link to the city file",
             [] {
               cities(kRome);
               fs::create_hard_link(kCity, kLog);
             },
             kLogRefused, kIndexBefore}
        .logIs(kRome),
    cityCase{"a build log that is a symbolic link to a missing city file: "
             "neither is created",
             laidOut({}, {{kLog, kCity}}), kLogRefused, kIndexBefore}
        .logIs(""),
    cityCase{"a city file that is a symbolic link to a log not there yet",
             laidOut({}, {{kCity, kLog}}), kLogRefused, kIndexBefore}
        .logIs(""),
    cityCase{"a build log linked to a city file linked to a missing file, "
             "through a folder",
             laidOut({}, {{kLog, "sub/../" + kCity}, {kCity, "sub/town.txt"}},
                     {"sub"}),
             kLogRefused, kIndexBefore}
        .logIs(""),
    cityCase{"a build log linked through a folder that links to itself",
             laidOut(kRome, {{"loop", "loop"}, {kLog, "loop/log"}}),
             kLogRefused, kIndexBefore}
        .logIs(""),
    cityCase{"a build log whose writes fail",
             laidOut(kRome, {{kLog, "/dev/full"}}),
             "\nError while writing createlog.tri" + kBuilt,
             "0 rome\nrom: 0\nome: 0\n"},
    cityCase{"a line too long for memory: the old index stays, the log keeps "
             "the towns read",
             file("1\tUlm\n2\t" + repeat("x", 2 << 20) + "\n"),
             kBuildMemory + kBuilt, kIndexBefore}
        .logIs(kLogStart + "\nnew town: ulm index: 0")
        .failing(1 << 20),
    cityCase{"memory runs out for the log's block: the log is emptied and "
             "begun, the old index stays",
             file("1\tUlm\n"), kBuildMemory + kBuilt, kIndexBefore}
        .logIs(kLogStart)
        .failing(1 << 17),
    cityCase{"memory runs out once the old index is released: an empty index",
             file("1\t" + repeat("a", 300000) + "\n"), kBuildMemory + kBuilt,
             ""}
        .logStarts(kLogStart + "\nnew town: aaa")
        .failing(1 << 20),
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
    failAllocations(-1, c.failAbove, c.failOpens);
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
    if (c.logSize == 0u) {
      std::error_code unreadable;
      EXPECT_FALSE(fs::exists(controll::kLogFile, unreadable));
    }
    if (c.logSize) {
      EXPECT_EQ(log.size(), *c.logSize);
    }
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
        // Emptied or not, the log begins as a log does, and holds what the
        // build did before it failed: until the last town is read the old
        // index stays, and once a window goes in, the old index is gone.
        const std::string log = readFile(controll::kLogFile);
        EXPECT_EQ(log.substr(0, kLogStart.size()), kLogStart);
        const bool allRead = log.find(townEntry("aaaa", 1)) != log.npos;
        const bool windowsIn = log.find(firstEntry("ulm", 0)) != log.npos;
        const bool old = now == kIndexBefore;
        EXPECT_TRUE(!failed     ? now == fresh
                    : !allRead  ? old
                    : windowsIn ? now.empty()
                                : old || now.empty())
            << now;
        const recordList<town> found(index->searchTown("old"));
        EXPECT_EQ(found.get().size(), old ? 1u : 0u);
      });
  EXPECT_GT(builds, 20);  // the sweep met the build's allocations
}

namespace {

// Keys entered into a table one by one, and the cost of the same number of
// keys in many small tables.
constexpr std::uint32_t kManyKeys = 100000;
constexpr std::uint32_t kFewKeys = 1000;

// The keys below 2^24, in order, whose product with 2654435769 has its top
// five bits 0: a table that puts a key at the top bits of that product
// (Fibonacci hashing) puts them all into one thirty-second of its slots,
// whatever its size. As many again are kept for lookups of absent keys.
const std::vector<std::uint32_t> kFibonacciCollisions = [] {
  std::vector<std::uint32_t> found;
  for (std::uint32_t key = 0; found.size() < 2 * kManyKeys; ++key) {
    if (key * 2654435769u >> 27 == 0) found.push_back(key);
  }
  return found;
}();

// Sets of distinct keys below 2^24, each a label and the rule that gives
// the key numbered k.
using keyRule = std::function<std::uint32_t(std::uint32_t)>;
const std::vector<std::pair<const char*, keyRule>> kKeySets = {
    {"a leaf for every key", [](std::uint32_t k) { return k << 5; }},
    {"colliding in a multiplicative hash",
     [](std::uint32_t k) { return kFibonacciCollisions[k]; }},
};

// Enters keys 0 to count - 1 of a set into the empty table as positions 0,
// 1, ..., then looks each up, and as many absent keys; returns how many
// answers were wrong.
unsigned int fillAndFind(windowTable& table, const keyRule& keyAt,
                         std::uint32_t count) {
  unsigned int wrong = 0;
  for (std::uint32_t k = 0; k < count; ++k) {
    std::uint32_t& position = table.slot(keyAt(k));
    wrong += position != windowTable::kNoPosition;
    position = k;
  }
  for (std::uint32_t k = 0; k < count; ++k) {
    wrong += table.find(keyAt(k)) != k;
    wrong += table.find(keyAt(count + k)) != windowTable::kNoPosition;
  }
  return wrong;
}

}  // namespace

TEST(WindowTable, FindsEveryKeyInTimeThatGrowsWithTheKeysAlone) {
  for (const auto& set : kKeySets) {
    SCOPED_TRACE(set.first);
    const keyRule& keyAt = set.second;
    windowTable table;
    EXPECT_EQ(fillAndFind(table, keyAt, kManyKeys), 0u);
    // The least time of filling tables of keys each, for kManyKeys in all.
    // Keys that share a stretch of slots, probed one by one, make one large
    // table cost a hundred times as much as a hundred small ones.
    const auto seconds = [&](std::uint32_t keys) {
      return leastSecondsOf([&] {
        for (std::uint32_t made = 0; made < kManyKeys; made += keys) {
          table.clear();
          fillAndFind(table, keyAt, keys);
        }
      });
    };
    EXPECT_LT(seconds(kManyKeys), 10 * seconds(kFewKeys));
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
