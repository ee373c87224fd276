// farwander search: finds towns by approximate name through a numbered menu
// on the console. Takes no arguments; exits with 0 when the user closes it or
// the input ends, and with 1, saying why on standard error, when output was
// lost or memory ran out outside a build or a search.

#include <iostream>
#include <memory>
#include <new>

#include "menu.h"

namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;

}  // namespace

int main(int /*argc*/, char** /*argv*/) {
  try {
    const std::unique_ptr<menu> m(new menu());
    return m->viewMenu() ? kSuccess : kFailure;
  } catch (const std::bad_alloc&) {
    std::cerr << "farwander: not enough memory\n";
    return kFailure;
  }
}
