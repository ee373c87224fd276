// The dialogue: menu sessions in a scratch directory on scripted input, their
// output compared byte for byte with only the timing number masked: in
// memory, also on streams that fail, and as the built program where the
// standard streams matter.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "menu.h"
#include "testSupport.h"

namespace {

const std::string kCities =
    "1\tBerlin\tx\n2\tBern\tx\n3\tErlangen\tx\n4\tNew York\tx\n5\tUlm\tx\n"
    "6\tUlmen\tx\n7\tabcde\tx\n8\tabcxx\tx\n9\txbcde\tx\n10\tUlm\r\n"
    "11\tAbab\n";

// One session and what it gives: a session in memory, where allocations of
// more than failAbove bytes fail, or the built program, started as program
// says. A session that fails says why on the error stream and exits with 1.
struct transcript {
  const char* label;
  std::string input;
  std::string output;
  std::string error = "";
  std::optional<runOptions> program = std::nullopt;
  std::string cities = kCities;
  std::size_t failAbove = SIZE_MAX;
};

const std::vector<transcript> kTranscripts = {
    {"0 is silent; -1, 4 and 19 are wrong", "0\n-1\n4\n19\n3\n",
     kBanner + kMenu + kMenu + kWrong + kMenu + kWrong + kMenu + kWrong +
         kMenu + kBye},
    {"blanks and empty lines before a choice", "\n\n   3\n",
     kBanner + kMenu + kBye},
    {"not a number: wrong choice, rest of line dropped", "abc 3\n-\n+3\n",
     kBanner + kMenu + kWrong + kMenu + kWrong + kMenu + kBye},
    {"text after a choice is read as the next choice", "0abc\n3\n",
     kBanner + kMenu + kMenu + kWrong + kMenu + kBye},
    {"end of input at the menu ends like close", "0\n",
     kBanner + kMenu + kMenu + kBye},
    {"search drops the rest of the choice line", "1\n  2 berlin\nBern\n3\n",
     kBanner + kMenu + kBuilt + kMenu + kAsk + kFound +
         "\n100% bern\n50% berlin" + "\n" + kMenu + kBye},
    {"percentages", "1\n2\nabcde\n2\nULME\n3\n",
     kBanner + kMenu + kBuilt + kMenu + kAsk + kFound +
         "\n100% abcde\n66.6667% xbcde\n33.3333% abcxx\n" + kMenu + kAsk +
         kFound + "\n100% ulmen\n50% ulm\n50% ulm\r\n" + kMenu + kBye},
    {"a carriage return stays in the query", "1\n2\nulm\r\n3\n",
     kBanner + kMenu + kBuilt + kMenu + kAsk + kFound +
         "\n100% ulm\r\n50% ulm\n50% ulmen\n" + kMenu + kBye},
    {"end of input after a query without newline", "1\n2\nbern",
     kBanner + kMenu + kBuilt + kMenu + kAsk + kFound +
         "\n100% bern\n50% berlin\n" + kMenu + kBye},
    {"past the largest int: too large, its line dropped; past the smallest, "
     "and past 2^64: all its digits read; the largest and the smallest: wrong "
     "numbers, the rest of the line read next",
     "2147483648 3\n-21474836480\n18446744073709551619\n2147483647 4\n"
     "-2147483648 4\n3\n",
     kBanner + kMenu + repeat(kWrong + kMenu, 7) + kBye},
    {"a query line longer than the memory left", "2\n" + repeat("ab", 1 << 20),
     kBanner + kMenu + kAsk, kInputMemory, std::nullopt, kCities, 1 << 20},
    {"standard output closed", "3\n", "", kOutputLost, runOptions{">&-"}},
    {"standard input closed is a read error, not the end of input", "",
     kBanner + kMenu, kReadError, runOptions{"<&-"}},
    {"a build log past the file-size limit is a failed write", "1\n3\n",
     kBanner + kMenu + "\nError while writing createlog.tri" + kBuilt + kMenu +
         kBye,
     "", runOptions{"", "ulimit -f 128"}, repeat(kCities, 100)},
};

// Runs the session of t in dir, in memory or as the built program.
programRun runTranscript(const transcript& t, const scratchDir& dir) {
  if (t.program) return runProgram(dir.path(), t.input, *t.program);
  std::istringstream in(t.input);
  failAllocations(-1, t.failAbove);
  const programRun session = runSession(in);
  stopFailingAllocations();
  return session;
}

}  // namespace

TEST(Console, TranscriptsMatchByteForByte) {
  for (const transcript& t : kTranscripts) {
    SCOPED_TRACE(t.label);
    scratchDir dir;
    cities(t.cities);
    const programRun run = runTranscript(t, dir);
    EXPECT_TRUE(maskTiming(run.output) == t.output)
        << "output differs; first bytes: " << run.output.substr(0, 400);
    EXPECT_EQ(run.status, t.error.empty() ? 0 : 1);
    EXPECT_EQ(run.error, t.error);
  }
}

namespace {

// Input that gives its bytes and then ends, or breaks as a failed device
// does: its next read throws.
struct scriptedInput : std::streambuf {
  scriptedInput(std::string given, bool breaks) : bytes(given), breaks(breaks) {
    setg(bytes.data(), bytes.data(), bytes.data() + bytes.size());
  }
  int_type underflow() override {
    if (breaks) throw std::runtime_error("device lost");
    return traits_type::eof();
  }
  std::streamoff read() const { return gptr() - eback(); }
  std::string bytes;
  bool breaks;
};

// A session on streams that fail: the output fails to deliver from one of
// its flushes on (the menu's is the first, then the prompt's), or the input
// breaks after its bytes, or the caller's exception mask asks for failbit or
// badbit.
struct sessionCase {
  const char* label;
  std::string input;       // what the input gives before it ends
  bool breaks;             // whether it then breaks rather than ends
  std::ios::iostate mask;  // the caller's exception mask
  int failFrom;            // the output's first undelivered flush
  std::string output;
  std::string error;    // empty for a session that succeeds
  std::streamoff read;  // input read when the session ends
};

const std::vector<sessionCase> kSessionCases = {
    {"the end of input while the dialogue waits, with failbit in the mask: "
     "set back without a throw",
     "2\n", false, std::ios::failbit, INT_MAX,
     kBanner + kMenu + kAsk + kFound + "\n" + kMenu + kBye, "", 2},
    {"a read error right after the choice: the query is not read", "2", true,
     std::ios::goodbit, INT_MAX, kBanner + kMenu + kAsk, kReadError, 1},
    {"output lost at the menu: nothing is read", "3\n", false,
     std::ios::goodbit, 0, kBanner + kMenu, kOutputLost, 0},
    {"output lost at the prompt: the query is not read", "2\nBern\n3\n", false,
     std::ios::goodbit, 1, kBanner + kMenu + kAsk, kOutputLost, 1},
    {"output lost at the farewell, the last flush", "3\n", false,
     std::ios::goodbit, 1, kBanner + kMenu + kBye, kOutputLost, 1},
    {"the input breaks at the menu, badbit in the mask: a read error", "", true,
     std::ios::badbit, INT_MAX, kBanner + kMenu, kReadError, 0},
    {"the input breaks while the query is read, badbit in the mask: a read "
     "error",
     "2\nBer", true, std::ios::badbit, INT_MAX, kBanner + kMenu + kAsk,
     kReadError, 5},
};

}  // namespace

TEST(Console, SessionOnFailingStreamsSaysWhyAndLeavesTheStream) {
  for (const sessionCase& c : kSessionCases) {
    SCOPED_TRACE(c.label);
    scriptedInput device(c.input, c.breaks);
    std::istream in(&device);
    in.exceptions(c.mask);
    programRun run{};
    EXPECT_NO_THROW(run = runSession(in, c.failFrom));
    EXPECT_EQ(in.exceptions(), c.mask);
    EXPECT_EQ(run.output, c.output);
    EXPECT_EQ(run.error, c.error);
    EXPECT_EQ(run.status, c.error.empty() ? 0 : 1);
    EXPECT_EQ(device.read(), c.read);
  }
}

TEST(Console, ASecondSessionReleasesTheFirstIndex) {
  scratchDir dir;
  cities(kCities);
  std::istringstream in;
  roomyStream out;
  roomyStream err;
  menu session(in, out, err);
  // Returns the allocations live after a session of the menu on input.
  const auto liveAfter = [&](const char* input) {
    in.clear();
    in.str(input);
    session.viewMenu();
    return allocationsLive();
  };
  const long long empty = liveAfter("3\n");
  EXPECT_GT(liveAfter("1\n3\n"), empty);
  EXPECT_EQ(liveAfter("3\n"), empty);
}

TEST(ConsoleDeathTest, LackOfMemoryEndsTheProgramWithWhatWasPrinted) {
  scratchDir dir;
  std::fflush(stdout);
  EXPECT_EXIT(
      {
        if (std::freopen("stdout.txt", "w", stdout) == nullptr) std::_Exit(2);
        std::fputs("printed before", stdout);
        menu::endForLackOfMemory();
      },
      testing::ExitedWithCode(1), "farwander: not enough memory");
  EXPECT_EQ(readFile("stdout.txt"), "printed before");
}
