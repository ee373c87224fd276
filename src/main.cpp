// farwander search: finds towns by approximate name through a numbered menu
// on the console. Takes no arguments; exits with 0 when the user closes it or
// the input ends, and with 1, saying why on standard error, when output was
// lost, input could not be read, or memory ran out outside a build or a
// search.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <new>

#include "menu.h"

namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;

constexpr const char* kMemoryError = "farwander: not enough memory\n";

// Ends the program when memory is so short that the runtime cannot even
// make the exception that would report it: it then terminates with no
// exception active. Any other termination is a fault and aborts as usual.
[[noreturn]] void endForLackOfMemory() {
  if (std::current_exception() == nullptr) {
    std::fputs(kMemoryError, stderr);
    std::_Exit(kFailure);
  }
  std::abort();
}

}  // namespace

int main(int /*argc*/, char** /*argv*/) {
  std::set_terminate(endForLackOfMemory);
#ifdef SIGXFSZ
  // A build log past the file-size limit is then a failed write, which the
  // build reports, rather than the end of the program.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  try {
    const std::unique_ptr<menu> m(new menu());
    return m->viewMenu() ? kSuccess : kFailure;
  } catch (const std::bad_alloc&) {
    std::fputs(kMemoryError, stderr);
    return kFailure;
  }
}
