// Fuzz target: arbitrary bytes as the standard input of a whole session of
// the menu loop, with a small city file in place. Every session must end
// with the farewell line and count as a success, whatever the input.

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "fuzzSupport.h"
#include "menu.h"

namespace {

const std::string kFarewell = "\nCya Nerds!\n";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  enterScratchDir("menu");
  std::ofstream("cities15000.txt")
      << "1\tBerlin\tx\n2\tBern\tx\n3\tNew York\tx\n4\tAAAA\n5\tUlm\r\n";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  std::ostringstream out;
  {
    menu session(in, out);
    if (!session.viewMenu()) std::abort();
  }
  const std::string said = out.str();
  if (said.size() < kFarewell.size() ||
      said.compare(said.size() - kFarewell.size(), kFarewell.size(),
                   kFarewell) != 0) {
    std::abort();
  }
  return 0;
}
