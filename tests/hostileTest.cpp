// Hostile input through both ways in: the city file and the keyboard. Every
// case is checked for the exact answer, not only for the absence of a crash.

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "controll.h"
#include "menu.h"
#include "testSupport.h"

namespace fs = std::filesystem;

namespace {

const std::string kIndexBefore = "0 old\nold: 0\n";

struct cityCase {
  const char* label;
  std::function<void()> setUp;       // lays out the city file and the log
  std::string console;               // what the build prints, timing masked
  std::string index;                 // describeIndex afterwards
  std::string logPrefix;             // the log's first bytes ("" to skip)
  std::size_t logSize;               // the log's size (0 to skip)
  std::size_t failAbove = SIZE_MAX;  // larger allocations fail in the build
};

void cities(const std::string& bytes) { writeFile(controll::kCityFile, bytes); }

const std::vector<cityCase> kCityCases = {
    {"binary garbage and NUL bytes",
     [] { cities(std::string("\0\0\0\n1\tA\0B\xff\xfe\tx\n\x01\x02", 17)); },
     kBuilt,
     std::string("0 a\0b\xff\xfe\na\0b: 0\n\0b\xff: 0\nb\xff\xfe: 0\n", 29),
     kLogStart + std::string("\nnew town: a\0b\xff\xfe index: 0", 25), 0},
    {"invalid UTF-8 is kept byte for byte",
     [] { cities("1\t\xC3\x28\xA0Z\n"); }, kBuilt,
     "0 \xC3\x28\xA0z\n\xC3\x28\xA0: 0\n\x28\xA0z: 0\n", "", 0},
    {"a 10 MB line",
     [] { cities("1\tUlm\t" + repeat("x", 10 << 20) + "\n2\tUlmen\n"); },
     kBuilt, "0 ulm\n1 ulmen\nulm: 0 1\nlme: 1\nmen: 1\n", "", 0},
    {"a name of one million bytes",
     [] { cities("1\t" + repeat("A", 1 << 20) + "\n"); }, kBuilt,
     "0 " + repeat("a", 1 << 20) + "\naaa: " + repeat("0 ", (1 << 20) - 3) +
         "0\n",
     "",
     // the opening, the town, one "myTris was empty" entry of 48 bytes and
     // an "already in the list" entry of 52 bytes for each later window
     kLogStart.size() + 11 + (1 << 20) + 9 + 48 + ((1 << 20) - 3) * 52},
    {"100,000 tabs after a name, and a line of tabs only",
     [] {
       cities("1\tRiga" + repeat("\t", 100000) + "\n" + repeat("\t", 100000));
     },
     kBuilt, "0 riga\n1 \nrig: 0\niga: 0\n", "", 0},
    {"only newlines", [] { cities(repeat("\n", 1000)); }, kBuilt, "", kLogStart,
     kLogStart.size()},
    {"a missing city file", [] {},
     "Error while opening file: cities1500.txt" + kBuilt, kIndexBefore,
     kLogStart, kLogStart.size()},
    {"a city file that is a directory",
     [] { fs::create_directory(controll::kCityFile); },
     "Error while opening file: cities1500.txt" + kBuilt, kIndexBefore,
     kLogStart, kLogStart.size()},
    {"a city file that is a dangling link",
     [] { fs::create_symlink("nowhere.txt", controll::kCityFile); },
     "Error while opening file: cities1500.txt" + kBuilt, kIndexBefore,
     kLogStart, kLogStart.size()},
    {"a city file whose reads fail",
     [] { fs::create_symlink("/proc/self/mem", controll::kCityFile); },
     "\nError while reading cities15000.txt" + kBuilt, kIndexBefore, kLogStart,
     kLogStart.size()},
    {"a build log that is a directory",
     [] {
       cities("1\tRome\n");
       fs::create_directory(controll::kLogFile);
     },
     "\nError while opening createlog.tri" + kBuilt, kIndexBefore, "", 0},
    {"a build log whose writes fail",
     [] {
       cities("1\tRome\n");
       fs::create_symlink("/dev/full", controll::kLogFile);
     },
     "\nError while writing createlog.tri" + kBuilt, "0 rome\nrom: 0\nome: 0\n",
     "", 0},
    {"a line too long for memory: the old index stays, the log keeps the "
     "towns read",
     [] { cities("1\tUlm\n2\t" + repeat("x", 2 << 20) + "\n"); },
     kBuildMemory + kBuilt, kIndexBefore,
     kLogStart + "\nnew town: ulm index: 0", kLogStart.size() + 23, 1 << 20},
    {"memory runs out once the old index is released: an empty index",
     [] { cities("1\t" + repeat("a", 300000) + "\n"); }, kBuildMemory + kBuilt,
     "", kLogStart + "\nnew town: aaa", 0, 1 << 20},
};

}  // namespace

TEST(HostileCityFile, AnswersExactlyAndKeepsWhatItHeld) {
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
    index.initiateSearch();
    stopFailingAllocations();
    EXPECT_EQ(maskTiming(out.str()), c.console);
    EXPECT_TRUE(describeIndex(index) == c.index) << "index differs";
    if (!c.logPrefix.empty() || c.logSize != 0) {
      const std::string log = readFile(controll::kLogFile);
      EXPECT_EQ(log.substr(0, c.logPrefix.size()), c.logPrefix);
      if (c.logSize != 0) {
        EXPECT_EQ(log.size(), c.logSize);
      }
    }
    controll::townList found = index.searchTown("ulme");
    EXPECT_LE(found.size(), 10u);
    for (town* t : found) delete t;
  }
}

namespace {

struct keyboardCase {
  const char* label;
  std::string input;
  std::string output;
  int status = 0;
  std::string error = "";     // standard error
  std::string outputTo = "";  // where standard output goes; "" to capture
};

const std::vector<keyboardCase> kKeyboardCases = {
    {"a number too large for int", "99999999999999999999\n3\n",
     kBanner + kMenu + kWrong + kMenu + kBye},
    {"a number too small for int", "-2147483649\n3\n",
     kBanner + kMenu + kWrong + kMenu + kBye},
    {"digits past the smallest int are read, not left for the next choice",
     "-21474836480\n3\n", kBanner + kMenu + kWrong + kMenu + kBye},
    {"the smallest int is a number, answered as wrong", "-2147483648 3\n4\n",
     kBanner + kMenu + kWrong + kMenu + kBye},
    {"the largest int is a number, answered as wrong", "2147483647 3\n4\n",
     kBanner + kMenu + kWrong + kMenu + kBye},
    {"a plus sign", "+2\nulm\n3\n",
     kBanner + kMenu + kAsk + kFound + "\n" + kMenu + kBye},
    {"a lone minus", "-\n3\n", kBanner + kMenu + kWrong + kMenu + kBye},
    {"only blanks, then the end", "   \t \n \n", kBanner + kMenu + kBye},
    {"NUL bytes", std::string("\0\0\n\0003\n3\n", 8),
     kBanner + kMenu + kWrong + kMenu + kWrong + kMenu + kBye},
    {"a line of one million letters", repeat("x", 1 << 20) + "\n3\n",
     kBanner + kMenu + kWrong + kMenu + kBye},
    {"a line of one million digits", repeat("7", 1 << 20) + "\n3\n",
     kBanner + kMenu + kWrong + kMenu + kBye},
    {"a query of one million bytes", "1\n2\n" + repeat("ab", 1 << 19) + "\n3\n",
     kBanner + kMenu + kBuilt + kMenu + kAsk + kFound + "\n100% abab\n" +
         kMenu + kBye},
    {"end of input at the menu prompt", "", kBanner + kMenu + kBye},
    {"end of input at the search prompt", "2\n",
     kBanner + kMenu + kAsk + kFound + "\n" + kMenu + kBye},
    {"output to a full device", "1\n2\nabab\n3\n", "", 1, kOutputLost,
     "/dev/full"},
    {"standard output closed", "3\n", "", 1, kOutputLost, "closed"},
};

}  // namespace

TEST(HostileKeyboard, AnswersExactlyAndEnds) {
  for (const keyboardCase& c : kKeyboardCases) {
    SCOPED_TRACE(c.label);
    scratchDir dir;
    writeFile(controll::kCityFile, "1\tAbab\n");
    const programRun run = runProgram(dir.path(), c.input, c.outputTo);
    EXPECT_TRUE(maskTiming(run.output) == c.output)
        << "output differs; first bytes: " << run.output.substr(0, 400);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.error, c.error);
  }
}

namespace {

// An output stream with room made beforehand, so that writing to it needs
// no memory: a planted failure then hits the program, not the test's sink.
class roomyStream : public std::ostringstream {
 public:
  roomyStream() : std::ostringstream(std::string(1 << 16, '\0')) {}
  std::string written() { return str().substr(0, tellp()); }
};

}  // namespace

TEST(LostOutput, EvenTheLastLineLostIsNoSuccess) {
  // A sink that takes every byte but fails to deliver them when flushed.
  struct undelivered : std::streambuf {
    int overflow(int c) override { return c; }
    int sync() override { return -1; }
  } sink;
  std::istringstream in("3\n");
  std::ostream out(&sink);
  roomyStream err;
  menu session(in, out, err);
  EXPECT_FALSE(session.viewMenu());
  EXPECT_EQ(err.written(), kOutputLost);
}

TEST(OutOfMemory, BuildLeavesTheOldIndexOrAnEmptyOneWhereverItFails) {
  scratchDir dir;
  const std::string fresh = "0 ulm\n1 aaaa\nulm: 0\naaa: 1 1\n";
  for (long long nth = 0;; ++nth) {
    roomyStream out;
    controll index(out);
    cities("1\tOld\n");
    index.initiateSearch();
    cities("1\tUlm\n2\tAAAA\n");
    const std::size_t before = out.written().size();
    failAllocations(nth);
    index.initiateSearch();
    const bool failed = stopFailingAllocations();
    const std::string console = maskTiming(out.written().substr(before));
    const std::string now = describeIndex(index);
    controll::townList found = index.searchTown("old");
    const std::size_t answers = found.size();
    for (town* t : found) delete t;
    if (!failed) {
      EXPECT_EQ(now, fresh);
      EXPECT_EQ(console, kBuilt);
      EXPECT_GT(nth, 20);  // the sweep met the build's allocations
      break;
    }
    SCOPED_TRACE("allocation " + std::to_string(nth));
    EXPECT_EQ(console, kBuildMemory + kBuilt);
    EXPECT_TRUE(now == kIndexBefore || now.empty()) << now;
    EXPECT_EQ(answers, now.empty() ? 0u : 1u);
  }
}

TEST(OutOfMemory, SessionCarriesOnWhereverMemoryRunsOut) {
  scratchDir dir;
  cities("1\tBerlin\n2\tBern\n");
  const std::string input = "1\n2\nBerlin\n3\n";
  std::set<std::string> met;
  for (long long nth = 0;; ++nth) {
    std::istringstream in(input);
    roomyStream out;
    roomyStream err;
    menu session(in, out, err);
    failAllocations(nth);
    bool complete = false;
    bool escaped = false;
    try {
      complete = session.viewMenu();
    } catch (const std::bad_alloc&) {
      escaped = true;  // before the session began: main reports it
    }
    const bool failed = stopFailingAllocations();
    const std::string output = maskTiming(out.written());
    SCOPED_TRACE("allocation " + std::to_string(nth));
    EXPECT_EQ(in.exceptions(), std::ios::goodbit);  // the stream as it was
    if (escaped) {
      EXPECT_EQ(output, "");
      continue;
    }
    EXPECT_TRUE(complete);
    EXPECT_EQ(err.written(), "");
    // A failed build leaves an empty index here, which finds nothing.
    const bool built = output.find(kBuildMemory) == std::string::npos;
    const std::string build = built ? kBuilt : kBuildMemory + kBuilt;
    const std::string search = output.find(kSearchMemory) != std::string::npos
                                   ? kSearchMemory
                               : built ? kFound + "\n100% berlin\n25% bern\n"
                                       : kFound + "\n";
    met.insert(build + search);
    EXPECT_EQ(output,
              kBanner + kMenu + build + kMenu + kAsk + search + kMenu + kBye);
    if (!failed) break;
  }
  EXPECT_EQ(met.size(), 3u);  // no failure, a failed build, a failed search

  std::istringstream in("2\n" + repeat("ab", 1 << 20) + "\n3\n");
  roomyStream out;
  roomyStream err;
  menu session(in, out, err);
  failAllocations(-1, 1 << 20);
  EXPECT_FALSE(session.viewMenu());
  stopFailingAllocations();
  EXPECT_EQ(out.written(), kBanner + kMenu + kAsk);
  EXPECT_EQ(err.written(), kInputMemory);
}

namespace {

struct alignas(64) wideRecord {
  char bytes[64];
};

// One form of allocation: makes an object, or an array of three, in a new
// expression of that form, and releases it again.
struct allocationForm {
  const char* label;
  void* (*make)();
  void (*release)(void*);
  bool throws;  // fails by throwing, not by giving null
};

template <typename T>
void releaseOne(void* p) {
  delete static_cast<T*>(p);
}
template <typename T>
void releaseArray(void* p) {
  delete[] static_cast<T*>(p);
}

const std::vector<allocationForm> kAllocationForms = {
    {"plain", []() -> void* { return new long; }, releaseOne<long>, true},
    {"array", []() -> void* { return new long[3]; }, releaseArray<long>, true},
    {"nothrow", []() -> void* { return new (std::nothrow) long; },
     releaseOne<long>, false},
    {"nothrow array", []() -> void* { return new (std::nothrow) long[3]; },
     releaseArray<long>, false},
    {"aligned", []() -> void* { return new wideRecord; }, releaseOne<wideRecord>,
     true},
    {"aligned array", []() -> void* { return new wideRecord[3]; },
     releaseArray<wideRecord>, true},
    {"aligned nothrow", []() -> void* { return new (std::nothrow) wideRecord; },
     releaseOne<wideRecord>, false},
};

// Where made objects go, so that the compiler keeps every allocation.
void* volatile madeObject = nullptr;

}  // namespace

TEST(OutOfMemory, EveryFormOfAllocationFailsOnRequest) {
  for (const allocationForm& form : kAllocationForms) {
    SCOPED_TRACE(form.label);
    bool threw = false;
    failAllocations(0);
    try {
      madeObject = form.make();
    } catch (const std::bad_alloc&) {
      threw = true;
      madeObject = nullptr;
    }
    EXPECT_TRUE(stopFailingAllocations());
    EXPECT_EQ(threw, form.throws);
    EXPECT_EQ(madeObject, nullptr);
    madeObject = form.make();
    EXPECT_NE(madeObject, nullptr);
    form.release(madeObject);
  }
}
