// Fuzz target: arbitrary bytes as the city file of a build, then searches of
// the index with queries cut from the same bytes. Checks that every answer
// is well formed, besides what the sanitizers check.

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "controll.h"
#include "fuzzSupport.h"
#include "recordList.h"

namespace {

// Most queries cut from one input.
constexpr int kMaxQueries = 8;

void check(bool ok) {
  if (!ok) std::abort();
}

// Searches for query and checks the answer: at most ten records ranked from
// 0, each share in (0, 1], best first.
void searchAndCheck(controll& index, const std::string& query) {
  const recordList<town> found(index.searchTown(query));
  check(found.get().size() <= 10);
  unsigned int rank = 0;
  double previous = 1.0;
  for (const town* t : found.get()) {
    check(t->getIndex() == rank++);
    check(t->getPercent() > 0.0 && t->getPercent() <= previous);
    previous = t->getPercent();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  enterScratchDir("build");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::ofstream(controll::kCityFile, std::ios::binary | std::ios::trunc)
      << bytes;
  std::ostringstream out;
  controll index(out);
  index.initiateSearch();
  check(out.str().rfind("\ntime to read cities: ", 0) == 0);

  std::istringstream pieces(bytes);
  std::string query;
  for (int i = 0; i < kMaxQueries && std::getline(pieces, query); ++i) {
    searchAndCheck(index, query);
  }
  return 0;
}
