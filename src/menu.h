// The console front end: the numbered menu loop and the town search dialogue.
//
// Choices are read by hand rather than with scanf("%d"): that reads a number
// too large for int with undefined behaviour and leaves text that is not a
// number in the input for ever. The reader here takes the same input as
// "%d" (blanks and newlines, a sign, decimal digits), answers anything else
// as a wrong choice with the rest of its line dropped, and ends the program
// at the end of input.

#ifndef FARWANDER_SRC_MENU_H_
#define FARWANDER_SRC_MENU_H_

#include <iostream>
#include <list>

#include "town.h"

class controll;

class menu {
 public:
  using townList = std::list<town*>;

  // Makes a menu that reads choices and queries from in and writes to out;
  // both must outlive it. The controller is made by viewMenu.
  explicit menu(std::istream& in = std::cin, std::ostream& out = std::cout);

  menu(const menu&) = delete;
  menu& operator=(const menu&) = delete;

  // Releases the controller and with it the whole index.
  virtual ~menu();

  // Runs the menu loop until the user chooses 3 or the input ends.
  void viewMenu();

 private:
  // How one read of a choice ended.
  enum class readResult { kNumber, kNotANumber, kEndOfInput };

  void printMenu();
  void searchT();
  readResult readChoice(int& choice);

  std::istream& in;
  std::ostream& out;
  controll* contr;  // owned; made by viewMenu
};

#endif  // FARWANDER_SRC_MENU_H_
