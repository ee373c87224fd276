// The console front end: the numbered menu loop and the town search dialogue.
//
// Choices are read by hand rather than with scanf("%d"): that reads a number
// too large for int with undefined behaviour and leaves text that is not a
// number in the input for ever. The reader here takes the same input as
// "%d" (blanks and newlines, a sign, decimal digits), answers anything else
// as a wrong choice with the rest of its line dropped, and ends the program
// at the end of input.
//
// A session that lost output, met a read error, or could not hold a line of
// input in memory, is no success: the loop stops, one line on the error
// stream says why, and viewMenu returns false for a non-zero exit status, as
// console tools do. Output is checked before every wait for input. No
// exception of a read leaves a session: the input stream's exception mask
// is cleared while it runs, and set back as the caller had it at its end;
// the query's read alone asks for badbit, to tell lack of memory from a
// failed device, and catches what it throws.

#ifndef FARWANDER_SRC_MENU_H_
#define FARWANDER_SRC_MENU_H_

#include <iostream>
#include <list>
#include <memory>
#include <string>

#include "town.h"

class controll;

class menu {
 public:
  using townList = std::list<town*>;

  // Makes a menu that reads choices and queries from in, writes to out and
  // reports a failed session on err; all must outlive it. The controller is
  // made by viewMenu.
  explicit menu(std::istream& in = std::cin, std::ostream& out = std::cout,
                std::ostream& err = std::cerr);

  menu(const menu&) = delete;
  menu& operator=(const menu&) = delete;

  // Releases the controller and with it the whole index.
  virtual ~menu();

  // Makes a controller with an empty index, then releases any earlier one,
  // and runs the menu loop until the user chooses 3 or the input ends;
  // returns true. Returns false, with the reason on err, when output was
  // lost, input met a read error (a stream buffer that throws is one), or a
  // line of input could not be read for lack of memory. Throws
  // std::bad_alloc, before anything is read or written, when memory runs out
  // for the controller. The input stream's exception mask is as the caller
  // set it.
  bool viewMenu();

  // Ends the program with status 1 when memory is too short to go on: writes
  // out what standard output holds, then "farwander: not enough memory" on
  // standard error. Needs no memory, so that it can serve as the terminate
  // handler when the runtime cannot even make the exception for a throw.
  [[noreturn]] static void endForLackOfMemory();

 private:
  // How one read of a choice ended.
  enum class readResult { kNumber, kNotANumber, kEndOfInput };

  // Why input stopped before its end, if it did.
  enum class inputLoss { kNone, kNoMemory, kReadError };

  void printMenu();
  void searchT();
  void printResults(const townList& townsDetected);
  readResult readChoice(int& choice);
  bool readQuery(std::string& query);
  bool readFailed() const;
  bool finish();

  std::istream& in;
  std::ostream& out;
  std::ostream& err;
  std::unique_ptr<controll> contr;  // made by viewMenu
  inputLoss inputLost;              // set when input can no longer be read
};

#endif  // FARWANDER_SRC_MENU_H_
