// farwander search: finds towns by approximate name through a numbered menu
// on the console. Takes no arguments; exits with 0 when the user closes it or
// the input ends.

#include "menu.h"

int main(int /*argc*/, char** /*argv*/) {
  menu* m = new menu();
  m->viewMenu();
  delete m;
  return 0;
}
