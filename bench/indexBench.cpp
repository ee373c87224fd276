// Benchmarks of the whole index build (build log included) and of single
// searches, on every city file found in the data folder: the 26,422-town
// cities15000.txt, the 199,568-town cities500.txt and the synthetic
// 1,000,000-town cities1m.txt. Times are processor time, as the program's own
// timing report counts it. The data folder is FARWANDER_DATA, else ./data.
//
// Each search is also run on a compact reference of the same metric
// (compactIndex), and every search reports the postings entries it walks
// (counter "entries"), so that its cost per entry can be compared. Before
// timing, the reference's answers are checked against the program's.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "compactIndex.h"
#include "controll.h"
#include "recordList.h"

namespace fs = std::filesystem;

namespace {

// The data sets, smallest first, with a short label for the benchmark names.
const std::vector<std::pair<std::string, std::string>> kDataSets = {
    {"15k", "cities15000.txt"},
    {"200k", "cities500.txt"},
    {"1m", "cities1m.txt"},
};

// Real names, typos, other spellings and three-byte fragments. Queries of
// fewer than three bytes find nothing by design, so none is timed.
const std::vector<std::string> kQueries = {
    "Berlin",     "berlni",
    "New York",   "San Francisco",
    "Sao Paulo",  "Muenchen",
    "Tokio",      "london",
    "Paris",      "Frankfurt am Main",
    "Springfeld", "Rio de Janeiro",
    "Kyiv",       "Mexiko City",
    "Wroclaw",    "Ürümqi",
    "Alexandria", "ana",
    "san",
};

// An output stream that drops everything: the build's console report.
class nullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
};

nullBuffer nullSink;
std::ostream quiet(&nullSink);

fs::path dataDir() {
  const char* env = std::getenv("FARWANDER_DATA");
  return fs::absolute(env != nullptr ? env : "data");
}

// Makes a scratch working directory whose city file links to source; its
// build log is removed with it at the end of the run.
fs::path workDirFor(const fs::path& source) {
  fs::path dir = fs::temp_directory_path() /
                 ("farwander-bench-" + std::to_string(getpid()) + "-" +
                  source.stem().string());
  fs::create_directories(dir);
  fs::remove(dir / controll::kCityFile);
  fs::create_symlink(source, dir / controll::kCityFile);
  return dir;
}

void buildIndex(benchmark::State& state, const fs::path& dir) {
  fs::current_path(dir);
  for (auto _ : state) {
    auto index = std::make_unique<controll>(quiet);
    index->initiateSearch();
    state.PauseTiming();
    benchmark::DoNotOptimize(index->getTowns().size());
    index.reset();
    state.ResumeTiming();
  }
}

// Returns the index built from the data set in dir, built once per run.
controll& indexOf(const fs::path& dir) {
  static std::map<fs::path, std::unique_ptr<controll>> built;
  auto& index = built[dir];
  if (!index) {
    fs::current_path(dir);
    index = std::make_unique<controll>(quiet);
    index->initiateSearch();
  }
  return *index;
}

// Returns the compact reference of the data set in dir, built once per run.
compactIndex& compactOf(const fs::path& dir) {
  static std::map<fs::path, std::unique_ptr<compactIndex>> built;
  auto& index = built[dir];
  if (!index) {
    index =
        std::make_unique<compactIndex>((dir / controll::kCityFile).string());
  }
  return *index;
}

// Returns the answer of the program's search as (share, name) pairs.
std::vector<std::pair<double, std::string>> answerOf(controll& index,
                                                     const std::string& query) {
  std::vector<std::pair<double, std::string>> answer;
  const recordList<town> found(index.searchTown(query));
  for (const town* t : found.get()) {
    answer.emplace_back(t->getPercent(), t->getName());
  }
  return answer;
}

void searchIndex(benchmark::State& state, const fs::path& dir,
                 const std::string& query) {
  controll& index = indexOf(dir);
  if (answerOf(index, query) != compactOf(dir).search(query)) {
    state.SkipWithError("the compact reference answers otherwise");
    return;
  }
  for (auto _ : state) {
    const recordList<town> found(index.searchTown(query));
    benchmark::DoNotOptimize(found.get().size());
  }
  state.counters["entries"] =
      static_cast<double>(compactOf(dir).entriesWalked(query));
}

void searchCompact(benchmark::State& state, const fs::path& dir,
                   const std::string& query) {
  compactIndex& index = compactOf(dir);
  for (auto _ : state) {
    benchmark::DoNotOptimize(index.search(query).size());
  }
  state.counters["entries"] = static_cast<double>(index.entriesWalked(query));
}

// Registers the build and the searches on the city file linked from dir.
void registerDataSet(const std::string& label, const fs::path& dir) {
  benchmark::RegisterBenchmark(("build/" + label).c_str(), buildIndex, dir)
      ->Unit(benchmark::kMillisecond)
      ->MeasureProcessCPUTime();
  for (const std::string& query : kQueries) {
    benchmark::RegisterBenchmark(("query/" + label + "/" + query).c_str(),
                                 searchIndex, dir, query)
        ->Unit(benchmark::kMicrosecond)
        ->MeasureProcessCPUTime();
    benchmark::RegisterBenchmark(("compact/" + label + "/" + query).c_str(),
                                 searchCompact, dir, query)
        ->Unit(benchmark::kMicrosecond)
        ->MeasureProcessCPUTime();
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const fs::path data = dataDir();
  const fs::path start = fs::current_path();
  std::vector<fs::path> workDirs;
  for (const auto& [label, file] : kDataSets) {
    if (!fs::exists(data / file)) continue;
    workDirs.push_back(workDirFor(data / file));
    registerDataSet(label, workDirs.back());
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::current_path(start);
  for (const fs::path& dir : workDirs) fs::remove_all(dir);
  return 0;
}
