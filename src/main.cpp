// farwander search: finds towns by approximate name through a numbered menu
// on the console. Takes no arguments; exits with 0 when the user closes it or
// the input ends, and with 1, saying why on standard error, when output was
// lost, input could not be read, or memory ran out before the menu could
// start, or so far that the runtime could not make the exception that would
// report it.

#include <csignal>
#include <cstdlib>
#include <exception>
#include <memory>
#include <new>

#include "menu.h"

namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;

// The runtime terminates with no exception active when it cannot make the
// exception object of a throw: memory is too short even for the exception
// that would report the shortage, at start-up or amid a build or a search.
// The program has no other way to terminate so (one thread, no rethrow
// outside a handler), so such a termination is taken for lack of memory. A
// termination with an exception active is a fault and aborts as usual.
[[noreturn]] void endOnTermination() {
  if (std::current_exception() == nullptr) menu::endForLackOfMemory();
  std::abort();
}

}  // namespace

int main(int /*argc*/, char** /*argv*/) {
  std::set_terminate(endOnTermination);
#ifdef SIGXFSZ
  // A build log past the file-size limit is then a failed write, which the
  // build reports, rather than the end of the program.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
  try {
    const std::unique_ptr<menu> m(new menu());
    return m->viewMenu() ? kSuccess : kFailure;
  } catch (const std::bad_alloc&) {
    // For the menu or its controller, before the session began.
    menu::endForLackOfMemory();
  }
}
