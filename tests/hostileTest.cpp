// Hostile input through both ways in: the city file and the keyboard. Every
// case is checked for the exact answer, not only for the absence of a crash.

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "controll.h"
#include "testSupport.h"

namespace fs = std::filesystem;

namespace {

const std::string kIndexBefore = "0 old\nold: 0\n";

struct cityCase {
  const char* label;
  std::function<void()> setUp;  // lays out the city file and the log
  std::string console;          // what the build prints, timing masked
  std::string index;            // describeIndex afterwards
  std::string logPrefix;        // the log's first bytes ("" to skip)
  std::size_t logSize;          // the log's size (0 to skip)
};

void cities(const std::string& bytes) { writeFile(controll::kCityFile, bytes); }

std::string repeat(const std::string& piece, std::size_t times) {
  std::string text;
  text.reserve(piece.size() * times);
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

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
    index.initiateSearch();
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
};

const std::vector<keyboardCase> kKeyboardCases = {
    {"a number too large for int", "99999999999999999999\n3\n",
     kBanner + kMenu + kWrong + kMenu + kBye},
    {"a number too small for int", "-2147483649\n3\n",
     kBanner + kMenu + kWrong + kMenu + kBye},
    {"the smallest int is a number, answered as wrong", "-2147483648 3\n",
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
};

}  // namespace

TEST(HostileKeyboard, AnswersExactlyAndEnds) {
  for (const keyboardCase& c : kKeyboardCases) {
    SCOPED_TRACE(c.label);
    scratchDir dir;
    writeFile(controll::kCityFile, "1\tAbab\n");
    const programRun run = runProgram(dir.path(), c.input);
    EXPECT_TRUE(maskTiming(run.output) == c.output)
        << "output differs; first bytes: " << run.output.substr(0, 400);
    EXPECT_EQ(run.status, 0);
  }
}
