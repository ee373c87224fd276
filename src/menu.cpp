#include "menu.h"

#include <limits>
#include <string>

#include "controll.h"

namespace {

constexpr int kNoChoice = 0;
constexpr int kBuild = 1;
constexpr int kSearch = 2;
constexpr int kClose = 3;

// A choice that is answered as wrong, given to input that is no number.
constexpr int kWrongChoice = -1;

// Drops the rest of the current input line, its newline included.
void dropLine(std::istream& in) {
  in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
}

bool isDigit(int c) { return c >= '0' && c <= '9'; }

}  // namespace

menu::menu(std::istream& in, std::ostream& out)
    : in(in), out(out), contr(nullptr) {}

menu::~menu() { delete contr; }

void menu::viewMenu() {
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
    printMenu();
    const readResult read = readChoice(menuItem);
    if (read == readResult::kNotANumber) menuItem = kWrongChoice;
    if (read == readResult::kEndOfInput || menuItem == kClose) {
      out << "\nCya Nerds!\n";
      return;
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
  std::getline(in, query);
  const townList found = contr->searchTown(query);
  out << "\nI found these cities:";
  for (const town* result : found) {
    out << "\n" << result->getPercent() * 100 << "% " << result->getName();
  }
  out << std::endl;
  for (town* result : found) delete result;
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
