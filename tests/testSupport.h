// Helpers shared by the tests: a scratch working directory, the city file
// written and any file read whole, a menu session in memory, a run of the
// built program on a scripted standard input, and planted allocation
// failures.

#ifndef FARWANDER_TESTS_TESTSUPPORT_H_
#define FARWANDER_TESTS_TESTSUPPORT_H_

#include <climits>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <istream>
#include <sstream>
#include <string>

#include "controll.h"

// The program's own texts, as the tests expect them: kBuilt is the timing
// report with its number masked by maskTiming().
inline const std::string kBanner = "--- Welcome to farwander search! ---\n";
inline const std::string kMenu =
    "\nMenu\n1 - initiate (may take about half a minute)\n2 - search town\n"
    "3 - close\nyour choice: ";
inline const std::string kWrong =
    "\nFalsche Eingabe du N00b! Versuche es erneut!\n";
inline const std::string kBye = "\nCya Nerds!\n";
inline const std::string kBuilt = "\ntime to read cities: T seconds\n";
inline const std::string kAsk =
    "\nPlease enter the town you are searching for: ";
inline const std::string kFound = "\nI found these cities:";
inline const std::string kLogStart = "logging is active";
inline const std::string kOpenCityError =
    "Error while opening file: cities1500.txt";
inline const std::string kBuildMemory =
    "\nError while building the index: not enough memory";
inline const std::string kSearchMemory =
    "\nError while searching: not enough memory\n";
inline const std::string kInputMemory =
    "farwander: not enough memory to read a line of input\n";
inline const std::string kOutputLost =
    "farwander: write error on standard output\n";
inline const std::string kReadError =
    "farwander: read error on standard input\n";
inline const std::string kNoMemory = "farwander: not enough memory\n";

// A fresh empty directory that is the working directory while it lives; the
// previous working directory comes back and the directory goes at the end.
class scratchDir {
 public:
  scratchDir();
  scratchDir(const scratchDir&) = delete;
  scratchDir& operator=(const scratchDir&) = delete;
  ~scratchDir();

  // Returns the directory's absolute path.
  const std::filesystem::path& path() const { return dir; }

 private:
  std::filesystem::path previous;
  std::filesystem::path dir;
};

// Writes bytes as the city file of the working directory.
void cities(const std::string& bytes);

// Returns piece repeated times times.
std::string repeat(const std::string& piece, std::size_t times);

// Returns the whole content of path; empty when it cannot be read.
std::string readFile(const std::filesystem::path& path);

// Returns the index as text: one line "index name" per town in list order,
// then one line "window: index index ..." per trigram in list order.
std::string describeIndex(const controll& index);

// Returns the result records, which it releases, as "rank percent name"
// lines, best first.
std::string describeResults(controll::townList&& found);

// Returns the answer of index to query as describeResults writes it.
std::string answerOf(controll& index, const std::string& query);

// Returns text with the number of every timing report replaced by "T".
std::string maskTiming(const std::string& text);

// Returns the seconds of the first timing report in text; -1 without one.
double reportedSeconds(const std::string& text);

// Returns the least processor time, in seconds, of three runs of work.
double leastSecondsOf(const std::function<void()>& work);

// A sink with room made beforehand, so that writing to it needs no memory:
// a planted failure then hits the program, not the test's sink. From its
// flush numbered failFrom on (counted from 0) it fails to deliver.
class roomySink : public std::stringbuf {
 public:
  explicit roomySink(int failFrom)
      : std::stringbuf(std::string(1 << 16, '\0'), std::ios::out),
        failFrom(failFrom) {}
  std::string written() { return str().substr(0, pptr() - pbase()); }

 protected:
  int sync() override { return flushes++ < failFrom ? 0 : -1; }

 private:
  int flushes = 0;
  int failFrom;
};

// An output stream into a roomy sink.
class roomyStream : private roomySink, public std::ostream {
 public:
  explicit roomyStream(int failFrom = INT_MAX)
      : roomySink(failFrom), std::ostream(this) {}
  using roomySink::written;
};

// What one run of the program, or one menu session in memory, gave.
struct programRun {
  std::string output;  // standard output
  std::string error;   // standard error
  int status;          // exit status, -1 when it did not exit normally
};

// Runs a menu session that reads in and writes to roomy streams, its output
// failing from flush failFrom on; its status is 0 when viewMenu returned
// true, else 1. A std::bad_alloc that escapes viewMenu escapes this too.
programRun runSession(std::istream& in, int failFrom = INT_MAX);

// How the program is started: shell redirections after those of the
// scripted input and the captured output, which they override (such as
// ">&-" to close standard output), and shell commands run first (such as
// "ulimit -f 1").
struct runOptions {
  std::string redirect = "";
  std::string limits = "";
};

// Runs the built program in dir with input as its standard input, started
// as options say.
programRun runProgram(const std::filesystem::path& dir,
                      const std::string& input, const runOptions& options = {});

// Planted allocation failures, for the whole process: while armed, the
// allocation numbered nth from now (counted from 0) throws std::bad_alloc,
// and so does every allocation of more than `above` bytes; the others
// succeed. With opens, every file open through the C library fails as if
// its own allocation had failed (ENOMEM). Disarming returns whether a
// planted allocation failure was hit.
void failAllocations(long long nth, std::size_t above = SIZE_MAX,
                     bool opens = false);
bool stopFailingAllocations();

// Returns how many allocations the process has made so far.
unsigned long long allocationsMade();

// Returns how many allocations of the process are not released yet.
long long allocationsLive();

// For nth = 0, 1, ...: calls prepare, then attempt with the nth allocation
// from its start failing, then check with whether that failure was met,
// tracing nth; stops after the first attempt that met none.
void failEachAllocationInTurn(const std::function<void()>& prepare,
                              const std::function<void()>& attempt,
                              const std::function<void(bool failed)>& check);

#endif  // FARWANDER_TESTS_TESTSUPPORT_H_
