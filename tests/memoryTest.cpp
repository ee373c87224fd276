// Memory that runs out anywhere in a session, and under every address-space
// limit of the whole program.

#include <gtest/gtest.h>

#include <new>
#include <set>
#include <sstream>
#include <string>

#include "testSupport.h"

TEST(OutOfMemory, SessionCarriesOnWhereverMemoryRunsOut) {
  scratchDir dir;
  // A name too long to be kept inside its string: copying it takes memory.
  cities("1\tBerlin\n2\tBern\n3\tBerlin Reinickendorf\n");
  std::istringstream in;
  programRun run;
  bool escaped = false;
  std::set<std::string> met;
  failEachAllocationInTurn(
      [&] {
        in.clear();
        in.str("1\n2\nBerlin\n3\n");
      },
      [&] {
        try {
          run = runSession(in);
          escaped = false;
        } catch (const std::bad_alloc&) {
          escaped = true;  // before the session began: main reports it
        }
      },
      [&](bool) {
        EXPECT_EQ(in.exceptions(), std::ios::goodbit);  // the stream as it was
        if (escaped) return;
        const std::string output = maskTiming(run.output);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.error, "");
        // A failed build leaves an empty index here, which finds nothing.
        const bool built = output.find(kBuildMemory) == std::string::npos;
        const std::string build = built ? kBuilt : kBuildMemory + kBuilt;
        const std::string search =
            output.find(kSearchMemory) != std::string::npos ? kSearchMemory
            : built                                         ? kFound +
                          "\n100% berlin\n100% berlin_reinickendorf\n25% "
                          "bern\n"
                    : kFound + "\n";
        met.insert(build + search);
        EXPECT_EQ(output, kBanner + kMenu + build + kMenu + kAsk + search +
                              kMenu + kBye);
      });
  EXPECT_EQ(met.size(), 3u);  // no failure, a failed build, a failed search
}

// A sanitised program cannot run under an address-space limit: the plain
// build alone has this test.
#ifndef FARWANDER_SANITIZED
TEST(OutOfMemory, ProgramUnderEveryAddressSpaceLimitAnswersOrSaysWhy) {
  scratchDir dir;
  cities("1\tBerlin\n2\tBern\n3\tBerlin Reinickendorf\n");
  // An answer: the status, standard error and the output. Status 1 is sound
  // only for a start without memory, before any output.
  const std::string whole =
      "0" + kBanner + kMenu + kBuilt + kMenu + kAsk + kFound +
      "\n100% berlin\n100% berlin_reinickendorf\n25% bern\n" + kMenu + kBye;
  const std::set<std::string> sound = {whole, "1" + kNoMemory,
                                       "0" + kBanner + kMenu + kBuilt + kMenu +
                                           kAsk + kSearchMemory + kMenu + kBye,
                                       "0" + kBanner + kMenu + kBuildMemory +
                                           kBuilt + kMenu + kAsk + kFound +
                                           "\n" + kMenu + kBye};
  std::set<std::string> met;
  // Returns the answer under an address-space limit, "loader" when the
  // loader could not start the program.
  const auto answerWithin = [&](int kilobytes) {
    const programRun run =
        runProgram(dir.path(), "1\n2\nBerlin\n3\n",
                   runOptions{"", "ulimit -v " + std::to_string(kilobytes)});
    if (run.status == 127) return std::string("loader");
    const std::string answer =
        std::to_string(run.status) + run.error + maskTiming(run.output);
    EXPECT_TRUE(sound.count(answer) == 1)
        << "ulimit -v " << kilobytes << ": " << answer;
    met.insert(answer);
    return answer;
  };
  // Coarse steps up to where the loader can start the program (below a
  // megabyte the loader itself may crash), then every page from a little
  // below it until a whole session fits: the start and the build fail.
  constexpr int kCoarse = 256;
  constexpr int kPage = 4;
  int limit = 1024;
  while (limit < (1 << 20) && answerWithin(limit) == "loader") limit += kCoarse;
  for (limit -= kCoarse; limit < (1 << 20) && answerWithin(limit) != whole;
       limit += kPage) {
  }
  EXPECT_TRUE(met.count("1" + kNoMemory) == 1);
}
#endif  // FARWANDER_SANITIZED
