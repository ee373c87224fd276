// The whole program, run in a scratch directory on a scripted standard input;
// its output is compared byte for byte, with only the timing number masked.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testSupport.h"

namespace {

const std::string kCities =
    "1\tBerlin\tx\n2\tBern\tx\n3\tErlangen\tx\n4\tNew York\tx\n5\tUlm\tx\n"
    "6\tUlmen\tx\n7\tabcde\tx\n8\tabcxx\tx\n9\txbcde\tx\n10\tUlm\r\n";

struct transcript {
  const char* label;
  std::string input;
  std::string output;
};

const std::vector<transcript> kTranscripts = {
    {"close at once", "3\n", kBanner + kMenu + kBye},
    {"0 is silent; -1 and 4 are wrong", "0\n-1\n4\n3\n",
     kBanner + kMenu + kMenu + kWrong + kMenu + kWrong + kMenu + kBye},
    {"blanks and empty lines before a choice", "\n\n   3\n",
     kBanner + kMenu + kBye},
    {"not a number: wrong choice, rest of line dropped", "abc 3\n-\n+3\n",
     kBanner + kMenu + kWrong + kMenu + kWrong + kMenu + kBye},
    {"text after a choice is read as the next choice", "0abc\n3\n",
     kBanner + kMenu + kMenu + kWrong + kMenu + kBye},
    {"end of input at the menu ends like close", "0\n",
     kBanner + kMenu + kMenu + kBye},
    {"build then close", "1\n3\n", kBanner + kMenu + kBuilt + kMenu + kBye},
    {"search drops the rest of the choice line", "1\n  2 berlin\nBern\n3\n",
     kBanner + kMenu + kBuilt + kMenu + kAsk + kFound +
         "\n100% bern\n50% berlin" + "\n" + kMenu + kBye},
    {"percentages", "1\n2\nabcde\n2\nULME\n3\n",
     kBanner + kMenu + kBuilt + kMenu + kAsk + kFound +
         "\n100% abcde\n66.6667% xbcde\n33.3333% abcxx\n" + kMenu + kAsk +
         kFound + "\n100% ulmen\n50% ulm\n50% ulm\r\n" + kMenu + kBye},
    {"spaces and capitals in the query", "1\n2\nNew York\n3\n",
     kBanner + kMenu + kBuilt + kMenu + kAsk + kFound + "\n100% new_york\n" +
         kMenu + kBye},
    {"a carriage return stays in the query", "1\n2\nulm\r\n3\n",
     kBanner + kMenu + kBuilt + kMenu + kAsk + kFound +
         "\n100% ulm\r\n50% ulm\n50% ulmen\n" + kMenu + kBye},
    {"end of input while the dialogue waits", "1\n2",
     kBanner + kMenu + kBuilt + kMenu + kAsk + kFound + "\n" + kMenu + kBye},
    {"end of input after a query without newline", "1\n2\nbern",
     kBanner + kMenu + kBuilt + kMenu + kAsk + kFound +
         "\n100% bern\n50% berlin\n" + kMenu + kBye},
};

}  // namespace

TEST(Console, TranscriptsMatchByteForByte) {
  for (const transcript& t : kTranscripts) {
    SCOPED_TRACE(t.label);
    scratchDir dir;
    writeFile(dir.path() / "cities15000.txt", kCities);
    const programRun run = runProgram(dir.path(), t.input);
    EXPECT_EQ(maskTiming(run.output), t.output);
    EXPECT_EQ(run.status, 0);
  }
}
