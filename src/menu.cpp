// The menu loop and the search dialogue: choices and queries read, results
// printed, and a session that fails ended with its reason.

#include "menu.h"

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>
#include <string>

#include "controll.h"
#include "recordList.h"

namespace {

constexpr int kNoChoice = 0;
constexpr int kBuild = 1;
constexpr int kSearch = 2;
constexpr int kClose = 3;

// Room for a share in percent written with "%g": a sign, six digits, a
// point and an exponent fit with room to spare.
constexpr std::size_t kNumberRoom = 32;

// A choice that is answered as wrong, given to input that is no number.
constexpr int kWrongChoice = -1;

constexpr const char* kSearchMemoryError =
    "\nError while searching: not enough memory";
constexpr const char* kInputMemoryError =
    "farwander: not enough memory to read a line of input\n";
constexpr const char* kOutputError =
    "farwander: write error on standard output\n";
constexpr const char* kReadError = "farwander: read error on standard input\n";
constexpr const char* kNoMemoryError = "farwander: not enough memory\n";

// The exit status of a program that could not go on.
constexpr int kFailure = 1;

// Drops the rest of the current input line, its newline included.
void dropLine(std::istream& in) {
  in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
}

bool isDigit(int c) { return c >= '0' && c <= '9'; }

// Clears the exception mask of a stream for as long as it lives, so that no
// read throws, and then sets back the mask the stream had. Setting it back
// throws when the stream's state is in the mask (the end of input, for an
// owner who asked for failbit); the mask is set all the same, and the owner
// meets the state at its next read.
class quietReads {
 public:
  explicit quietReads(std::istream& in) : in(in), ownersMask(in.exceptions()) {
    in.exceptions(std::ios::goodbit);
  }
  quietReads(const quietReads&) = delete;
  quietReads& operator=(const quietReads&) = delete;
  ~quietReads() {
    try {
      in.exceptions(ownersMask);
    } catch (const std::ios_base::failure&) {
    }
  }

 private:
  std::istream& in;
  const std::ios::iostate ownersMask;
};

}  // namespace

menu::menu(std::istream& in, std::ostream& out, std::ostream& err)
    : in(in), out(out), err(err), inputLost(inputLoss::kNone) {}

menu::~menu() = default;

bool menu::viewMenu() {
  int menuItem = kNoChoice;
  contr = std::make_unique<controll>(out);
  const quietReads quiet(in);
  out << "--- Welcome to farwander search! ---\n";
  while (true) {
    if (menuItem == kBuild) {
      contr->initiateSearch();
    } else if (menuItem == kSearch) {
      searchT();
    } else if (menuItem != kNoChoice) {
      out << "\nFalsche Eingabe du N00b! Versuche es erneut!\n";
    }
    if (inputLost != inputLoss::kNone) return finish();
    printMenu();
    // What was written must have arrived before the user is asked for more:
    // nobody would see the rest.
    if (!out.flush()) return finish();
    const readResult read = readChoice(menuItem);
    if (inputLost != inputLoss::kNone) return finish();
    if (read == readResult::kNotANumber) menuItem = kWrongChoice;
    if (read == readResult::kEndOfInput || menuItem == kClose) {
      out << "\nCya Nerds!\n";
      return finish();
    }
  }
}

void menu::printMenu() {
  out << "\nMenu\n1 - initiate (may take about half a minute)\n"
         "2 - search town\n3 - close\nyour choice: ";
}

void menu::endForLackOfMemory() {
  std::fflush(stdout);
  std::fputs(kNoMemoryError, stderr);
  std::_Exit(kFailure);
}

void menu::searchT() {
  out << "\nPlease enter the town you are searching for: ";
  // Lost output ends the session, seen by the caller, before more is read.
  if (!out.flush()) return;
  dropLine(in);
  std::string query;
  if (!readQuery(query)) return;
  try {
    const recordList<town> townsDetected(contr->searchTown(std::move(query)));
    printResults(townsDetected.get());
  } catch (const std::bad_alloc&) {
    out << kSearchMemoryError << std::endl;
  }
}

// Prints the heading and one line per result record, then ends the line.
// The whole text is made before any of it is written, so that memory
// running out while it is made shows as the error alone, never as half a
// list.
void menu::printResults(const townList& townsDetected) {
  std::string text = "\nI found these cities:";
  for (const town* result : townsDetected) {
    // "%g" is the stream's default form of a double: six significant digits.
    char percent[kNumberRoom];
    std::snprintf(percent, sizeof(percent), "%g", result->getPercent() * 100);
    text += "\n";
    text += percent;
    text += "% ";
    text += result->getName();
  }
  out << text << std::endl;
}

// Reads the next line of input into query, without its newline; the end of
// input gives what was there, maybe nothing. Returns false, marking the
// input as lost, when the line does not fit in memory or could not be read.
bool menu::readQuery(std::string& query) {
  try {
    // A failed read then rethrows what it met, so that lack of memory shows
    // apart from a failed device. A stream already bad throws here at once.
    in.exceptions(std::ios::badbit);
    std::getline(in, query);
  } catch (const std::bad_alloc&) {
    inputLost = inputLoss::kNoMemory;
  } catch (...) {
    // The stream's buffer failed, now or at an earlier read: badbit is set,
    // and seen below.
  }
  in.exceptions(std::ios::goodbit);  // cannot throw: the mask is empty
  if (inputLost == inputLoss::kNone && readFailed()) {
    inputLost = inputLoss::kReadError;
  }
  return inputLost == inputLoss::kNone;
}

// Returns whether input ended through a read error rather than at its end.
// Standard input, which shares C's stdin, records an error there; another
// stream records it as badbit.
bool menu::readFailed() const {
  if (in.bad()) return true;
  return in.rdbuf() == std::cin.rdbuf() && std::ferror(stdin) != 0;
}

// Flushes the output and returns whether the session was a success: all
// output written and all input read. Otherwise says why on err.
bool menu::finish() {
  out.flush();
  if (inputLost == inputLoss::kNoMemory) {
    err << kInputMemoryError;
    return false;
  }
  if (inputLost == inputLoss::kReadError) {
    err << kReadError;
    return false;
  }
  if (out.fail()) {
    err << kOutputError;
    return false;
  }
  return true;
}

// Reads a choice as "%d" would: skips white space, newlines included, then
// takes an optional sign and decimal digits, leaving what follows unread.
// No digits, or a number outside int: kNotANumber, with the rest of the
// line dropped. Nothing but white space before the end: kEndOfInput.
menu::readResult menu::readChoice(int& choice) {
  // Input that has ended or failed stays so: nothing more is read.
  if (in.good()) in >> std::ws;
  int next = in.good() ? in.peek() : std::char_traits<char>::eof();
  if (next == std::char_traits<char>::eof()) {
    if (readFailed()) inputLost = inputLoss::kReadError;
    return readResult::kEndOfInput;
  }
  const bool negative = next == '-';
  if (negative || next == '+') {
    in.get();
    next = in.peek();
  }
  // The magnitude of the smallest int, the largest one a choice may reach.
  const long long limit =
      -static_cast<long long>(std::numeric_limits<int>::min());
  long long magnitude = 0;
  bool digits = false;
  while (isDigit(next) && magnitude <= limit) {
    magnitude = magnitude * 10 + (next - '0');
    digits = true;
    in.get();
    next = in.peek();
  }
  const long long value = negative ? -magnitude : magnitude;
  if (!digits || value > std::numeric_limits<int>::max() ||
      value < std::numeric_limits<int>::min()) {
    dropLine(in);
    return readResult::kNotANumber;
  }
  choice = static_cast<int>(value);
  return readResult::kNumber;
}
