#include "menu.h"

#include <limits>
#include <new>
#include <string>

#include "controll.h"

namespace {

constexpr int kNoChoice = 0;
constexpr int kBuild = 1;
constexpr int kSearch = 2;
constexpr int kClose = 3;

// A choice that is answered as wrong, given to input that is no number.
constexpr int kWrongChoice = -1;

constexpr const char* kSearchMemoryError =
    "\nError while searching: not enough memory";
constexpr const char* kInputMemoryError =
    "farwander: not enough memory to read a line of input\n";
constexpr const char* kOutputError =
    "farwander: write error on standard output\n";

// Drops the rest of the current input line, its newline included.
void dropLine(std::istream& in) {
  in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
}

bool isDigit(int c) { return c >= '0' && c <= '9'; }

}  // namespace

menu::menu(std::istream& in, std::ostream& out, std::ostream& err)
    : in(in), out(out), err(err), contr(nullptr), inputLost(false) {}

menu::~menu() { delete contr; }

bool menu::viewMenu() {
  int menuItem = kNoChoice;
  contr = new controll(out);
  out << "--- Welcome to farwander search! ---\n";
  while (true) {
    if (menuItem == kBuild) {
      contr->initiateSearch();
    } else if (menuItem == kSearch) {
      searchT();
    } else if (menuItem != kNoChoice) {
      out << "\nFalsche Eingabe du N00b! Versuche es erneut!\n";
    }
    if (inputLost) return finish();
    printMenu();
    const readResult read = readChoice(menuItem);
    // Reading the console flushes what was written before: lost output
    // shows here, and nobody would see the rest.
    if (out.fail()) return finish();
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

void menu::searchT() {
  out << "\nPlease enter the town you are searching for: ";
  dropLine(in);
  std::string query;
  if (!readQuery(query)) return;
  townList found;
  try {
    found = contr->searchTown(std::move(query));
    printResults(found);
  } catch (const std::bad_alloc&) {
    out << kSearchMemoryError << std::endl;
  }
  for (town* result : found) delete result;
}

// Prints the heading and one line per result record, then ends the line.
void menu::printResults(const townList& found) {
  out << "\nI found these cities:";
  for (const town* result : found) {
    out << "\n" << result->getPercent() * 100 << "% " << result->getName();
  }
  out << std::endl;
}

// Reads the next line of input into query, without its newline; the end of
// input gives what was there, maybe nothing. Returns false, marking the
// input as lost, when the line does not fit in memory.
bool menu::readQuery(std::string& query) {
  const std::ios::iostate thrown = in.exceptions();
  // A failed read then rethrows what it met, so lack of memory shows apart
  // from the end of input.
  in.exceptions(std::ios::badbit);
  try {
    std::getline(in, query);
  } catch (const std::bad_alloc&) {
    inputLost = true;
  }
  in.exceptions(thrown);
  return !inputLost;
}

// Flushes the output and returns whether the session was a success: all
// output written and all input read. Otherwise says why on err.
bool menu::finish() {
  out.flush();
  if (inputLost) {
    err << kInputMemoryError;
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
  in >> std::ws;
  int next = in.peek();
  if (next == std::char_traits<char>::eof()) return readResult::kEndOfInput;
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
