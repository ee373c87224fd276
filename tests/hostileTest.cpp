// Hostile input through both ways in: the city file and the keyboard. Every
// case is checked for the exact answer, not only for the absence of a crash.

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "controll.h"
#include "menu.h"
#include "testSupport.h"

namespace fs = std::filesystem;

namespace {

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

void cities(const std::string& bytes) { writeFile(controll::kCityFile, bytes); }

const std::string kOpenCityError = "Error while opening file: cities1500.txt";

const std::vector<cityCase> kCityCases = {
    cityCase{
        "binary garbage and NUL bytes",
        [] { cities(std::string("\0\0\0\n1\tA\0B\xff\xfe\tx\n\x01\x02", 17)); },
        kBuilt,
        std::string("0 a\0b\xff\xfe\na\0b: 0\n\0b\xff: 0\nb\xff\xfe: 0\n", 29)}
        .logStarts(kLogStart +
                   std::string("\nnew town: a\0b\xff\xfe index: 0", 25)),
    cityCase{"invalid UTF-8 is kept byte for byte",
             [] { cities("1\t\xC3\x28\xA0Z\n"); }, kBuilt,
             "0 \xC3\x28\xA0z\n\xC3\x28\xA0: 0\n\x28\xA0z: 0\n"},
    cityCase{
        "a 10 MB line",
        [] { cities("1\tUlm\t" + repeat("x", 10 << 20) + "\n2\tUlmen\n"); },
        kBuilt, "0 ulm\n1 ulmen\nulm: 0 1\nlme: 1\nmen: 1\n"},
    // The log: the opening, the town, one "myTris was empty" entry of 48
    // bytes and an "already in the list" entry of 52 bytes for each later
    // window.
    cityCase{"a name of one million bytes",
             [] { cities("1\t" + repeat("A", 1 << 20) + "\n"); }, kBuilt,
             "0 " + repeat("a", 1 << 20) +
                 "\naaa: " + repeat("0 ", (1 << 20) - 3) + "0\n"}
        .logStarts(kLogStart, kLogStart.size() + 11 + (1 << 20) + 9 + 48 +
                                  ((1 << 20) - 3) * 52),
    cityCase{"100,000 tabs after a name, and a line of tabs only",
             [] {
               cities("1\tRiga" + repeat("\t", 100000) + "\n" +
                      repeat("\t", 100000));
             },
             kBuilt, "0 riga\n1 \nrig: 0\niga: 0\n"},
    cityCase{"only newlines", [] { cities(repeat("\n", 1000)); }, kBuilt, ""}
        .logIs(kLogStart),
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
    cityCase{"a build log whose writes fail",
             [] {
               cities("1\tRome\n");
               fs::create_symlink("/dev/full", controll::kLogFile);
             },
             "\nError while writing createlog.tri" + kBuilt,
             "0 rome\nrom: 0\nome: 0\n"},
    cityCase{"a line too long for memory: the old index stays, the log keeps "
             "the towns read",
             [] { cities("1\tUlm\n2\t" + repeat("x", 2 << 20) + "\n"); },
             kBuildMemory + kBuilt, kIndexBefore}
        .logIs(kLogStart + "\nnew town: ulm index: 0")
        .failingAbove(1 << 20),
    cityCase{"memory runs out once the old index is released: an empty index",
             [] { cities("1\t" + repeat("a", 300000) + "\n"); },
             kBuildMemory + kBuilt, ""}
        .logStarts(kLogStart + "\nnew town: aaa")
        .failingAbove(1 << 20),
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
    if (!c.logStart) continue;  // a log that may be endless
    const std::string log = readFile(controll::kLogFile);
    EXPECT_EQ(log.substr(0, c.logStart->size()), *c.logStart);
    EXPECT_EQ(log.size(), c.logSize.value_or(log.size()));
  }
}

namespace {

struct keyboardCase {
  const char* label;
  std::string input;
  std::string output;
  int status = 0;
  std::string error = "";  // standard error
  runOptions how = {};     // how the program is started
  std::string cities = "1\tAbab\n";
};

runOptions outputTo(const std::string& target) { return {"", target, ""}; }
runOptions inputFrom(const std::string& source) { return {source, "", ""}; }
runOptions limitedBy(const std::string& limits) { return {"", "", limits}; }

const std::vector<keyboardCase> kKeyboardCases = {
    {"one past the largest int is too large, and its line is dropped",
     "2147483648 3\n4\n",
     kBanner + kMenu + kWrong + kMenu + kWrong + kMenu + kBye},
    {"digits past the smallest int are read, not left for the next choice",
     "-21474836480\n3\n", kBanner + kMenu + kWrong + kMenu + kBye},
    {"the smallest int is a number, answered as wrong", "-2147483648 3\n4\n",
     kBanner + kMenu + kWrong + kMenu + kBye},
    {"the largest int is a number, answered as wrong", "2147483647 3\n4\n",
     kBanner + kMenu + kWrong + kMenu + kBye},
    {"NUL bytes", std::string("\0\0\n\0003\n3\n", 8),
     kBanner + kMenu + kWrong + kMenu + kWrong + kMenu + kBye},
    {"a query of one million bytes", "1\n2\n" + repeat("ab", 1 << 19) + "\n3\n",
     kBanner + kMenu + kBuilt + kMenu + kAsk + kFound + "\n100% abab\n" +
         kMenu + kBye},
    {"output to a full device", "1\n2\nabab\n3\n", "", 1, kOutputLost,
     outputTo("/dev/full")},
    {"standard output closed", "3\n", "", 1, kOutputLost, outputTo("closed")},
    {"standard input closed is a read error, not the end of input", "",
     kBanner + kMenu, 1, kReadError, inputFrom("closed")},
    {"standard input a directory is a read error", "", kBanner + kMenu, 1,
     kReadError, inputFrom(".")},
    {"a build log past the file-size limit is a failed write", "1\n3\n",
     kBanner + kMenu + "\nError while writing createlog.tri" + kBuilt + kMenu +
         kBye,
     0, "", limitedBy("ulimit -f 2"), repeat("1\tAbab\n", 100)},
};

}  // namespace

TEST(HostileKeyboard, AnswersExactlyAndEnds) {
  for (const keyboardCase& c : kKeyboardCases) {
    SCOPED_TRACE(c.label);
    scratchDir dir;
    writeFile(controll::kCityFile, c.cities);
    const programRun run = runProgram(dir.path(), c.input, c.how);
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
  // A sink that takes every byte but fails to deliver them from the given
  // flush on: the first (the menu, before any input is read) or the second
  // (the farewell, after it).
  struct undelivered : std::streambuf {
    int delivered = 0;
    int failFrom = 0;
    int overflow(int c) override { return c; }
    int sync() override { return delivered++ < failFrom ? 0 : -1; }
  };
  for (const int failFrom : {0, 1}) {
    SCOPED_TRACE("failing from flush " + std::to_string(failFrom));
    undelivered sink;
    sink.failFrom = failFrom;
    std::istringstream in("3\n");
    std::ostream out(&sink);
    roomyStream err;
    menu session(in, out, err);
    EXPECT_FALSE(session.viewMenu());
    EXPECT_EQ(err.written(), kOutputLost);
    EXPECT_EQ(in.tellg() == 0, failFrom == 0);  // noticed before reading
  }
}

TEST(Console, KeepsTheCallersExceptionMaskAtTheEndOfInput) {
  // The query line meets the end of input, which sets failbit: a stream
  // that throws on failbit gets its mask back without a throw.
  std::istringstream in("2\n");
  in.exceptions(std::ios::failbit);
  roomyStream out;
  roomyStream err;
  menu session(in, out, err);
  bool complete = false;
  EXPECT_NO_THROW(complete = session.viewMenu());
  EXPECT_TRUE(complete);
  EXPECT_EQ(in.exceptions(), std::ios::failbit);
  EXPECT_EQ(out.written(),
            kBanner + kMenu + kAsk + kFound + "\n" + kMenu + kBye);
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
  // A name too long to be kept inside its string: copying it takes memory.
  cities("1\tBerlin\n2\tBern\n3\tBerlin Reinickendorf\n");
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
                               : built ? kFound +
                                             "\n100% berlin\n100% "
                                             "berlin_reinickendorf\n25% bern\n"
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

// Makes a T, or an array of three, with the plain or the nothrow form of
// new, and releases it. What it made passes through a volatile pointer, so
// that no allocation is elided.
void* volatile made = nullptr;
template <typename T, bool kArray, bool kNothrow>
void makeAndRelease() {
  if (kArray) {
    made = kNothrow ? new (std::nothrow) T[3] : new T[3];
    delete[] static_cast<T*>(made);
  } else {
    made = kNothrow ? new (std::nothrow) T : new T;
    delete static_cast<T*>(made);
  }
}

// Each form, and whether it fails by throwing rather than by giving null.
const std::vector<std::tuple<const char*, void (*)(), bool>> kForms = {
    {"plain", makeAndRelease<long, false, false>, true},
    {"array", makeAndRelease<long, true, false>, true},
    {"aligned", makeAndRelease<wideRecord, false, false>, true},
    {"aligned array", makeAndRelease<wideRecord, true, false>, true},
    {"nothrow", makeAndRelease<long, false, true>, false},
    {"nothrow array", makeAndRelease<long, true, true>, false},
    {"aligned nothrow", makeAndRelease<wideRecord, false, true>, false},
};

}  // namespace

TEST(OutOfMemory, EveryFormOfAllocationFailsOnRequest) {
  for (const auto& [label, make, throws] : kForms) {
    SCOPED_TRACE(label);
    failAllocations(0);
    if (throws) {
      EXPECT_THROW(make(), std::bad_alloc);
    } else {
      make();
      EXPECT_EQ(made, nullptr);
    }
    EXPECT_TRUE(stopFailingAllocations());
    make();
    EXPECT_NE(made, nullptr);
  }
}

// A sanitised program cannot run under an address-space limit: the plain
// build alone has this test.
#ifndef FARWANDER_SANITIZED
TEST(OutOfMemory, ProgramUnderEveryAddressSpaceLimitAnswersOrSaysWhy) {
  scratchDir dir;
  cities("1\tBerlin\n2\tBern\n3\tBerlin Reinickendorf\n");
  const std::string input = "1\n2\nBerlin\n3\n";
  const std::string found =
      kFound + "\n100% berlin\n100% berlin_reinickendorf\n25% bern\n";
  // An answer: the status, standard error and the output; for status 1
  // standard error alone.
  const std::string whole =
      "0" + kBanner + kMenu + kBuilt + kMenu + kAsk + found + kMenu + kBye;
  const std::set<std::string> sound = {whole, kNoMemory,
                                       "0" + kBanner + kMenu + kBuilt + kMenu +
                                           kAsk + kSearchMemory + kMenu + kBye,
                                       "0" + kBanner + kMenu + kBuildMemory +
                                           kBuilt + kMenu + kAsk + kFound +
                                           "\n" + kMenu + kBye};
  const auto runWithin = [&](int kilobytes) {
    return runProgram(dir.path(), input,
                      limitedBy("ulimit -v " + std::to_string(kilobytes)));
  };
  // Coarse steps up to where the loader can start the program, then every
  // page from a little below it until a whole session fits. Below a
  // megabyte the loader itself may crash.
  constexpr int kCoarse = 256;
  constexpr int kPage = 4;
  int limit = 1024;
  while (limit < (1 << 20) && runWithin(limit).status == 127) limit += kCoarse;
  std::set<std::string> met;
  for (limit -= kCoarse; limit < (1 << 20) && met.count(whole) == 0;
       limit += kPage) {
    const programRun run = runWithin(limit);
    if (run.status == 127) continue;  // the loader could not start it
    const std::string answer =
        run.status == 1
            ? run.error
            : std::to_string(run.status) + run.error + maskTiming(run.output);
    EXPECT_TRUE(sound.count(answer) == 1)
        << "ulimit -v " << limit << ": " << answer;
    met.insert(answer);
  }
  EXPECT_TRUE(met.count(kNoMemory) == 1);  // a start without memory was met
}
#endif  // FARWANDER_SANITIZED
