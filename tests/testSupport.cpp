#include "testSupport.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <new>
#include <regex>
#include <sstream>
#include <system_error>

#include "menu.h"
#include "recordList.h"

namespace fs = std::filesystem;

namespace {

// The planted failures; single-threaded tests, atomics only for safety.
std::atomic<long long> failCountdown{-1};  // -1: no planted count
std::atomic<std::size_t> failAbove{SIZE_MAX};
std::atomic<bool> failureHit{false};
std::atomic<unsigned long long> allocations{0};
std::atomic<long long> live{0};
std::atomic<bool> failOpens{false};

bool plantedFailure(std::size_t size) {
  ++allocations;
  if (size > failAbove || (failCountdown >= 0 && failCountdown-- == 0)) {
    failureHit = true;
    return true;
  }
  return false;
}

// Returns size bytes aligned to alignment from malloc's heap, or null when a
// planted failure or the heap says no. Every form of operator new comes here
// and every form of operator delete goes to free, so that allocation and
// release always pair up, also under a sanitizer's own allocator.
void* allocateOrNull(std::size_t size, std::size_t alignment) noexcept {
  if (plantedFailure(size)) return nullptr;
  void* memory = nullptr;
  if (posix_memalign(&memory, std::max(alignment, sizeof(void*)),
                     size == 0 ? 1 : size) != 0) {
    return nullptr;
  }
  ++live;
  return memory;
}

void* allocate(std::size_t size, std::size_t alignment) {
  void* memory = allocateOrNull(size, alignment);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

void release(void* memory) noexcept {
  if (memory != nullptr) --live;
  std::free(memory);
}

constexpr std::size_t kPlain = __STDCPP_DEFAULT_NEW_ALIGNMENT__;

}  // namespace

// Every allocation of the test process passes through these: plain, array,
// nothrow and aligned forms of new, and every form of delete.
using align = std::align_val_t;
using nothrow = std::nothrow_t;
// clang-format off
void* operator new(std::size_t n) { return allocate(n, kPlain); }
void* operator new[](std::size_t n) { return allocate(n, kPlain); }
void* operator new(std::size_t n, align a) { return allocate(n, std::size_t(a)); }
void* operator new[](std::size_t n, align a) { return allocate(n, std::size_t(a)); }
void* operator new(std::size_t n, const nothrow&) noexcept { return allocateOrNull(n, kPlain); }
void* operator new[](std::size_t n, const nothrow&) noexcept { return allocateOrNull(n, kPlain); }
void* operator new(std::size_t n, align a, const nothrow&) noexcept { return allocateOrNull(n, std::size_t(a)); }
void* operator new[](std::size_t n, align a, const nothrow&) noexcept { return allocateOrNull(n, std::size_t(a)); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, align) noexcept { release(p); }
void operator delete[](void* p, align) noexcept { release(p); }
void operator delete(void* p, std::size_t, align) noexcept { release(p); }
void operator delete[](void* p, std::size_t, align) noexcept { release(p); }
void operator delete(void* p, const nothrow&) noexcept { release(p); }
void operator delete[](void* p, const nothrow&) noexcept { release(p); }
void operator delete(void* p, align, const nothrow&) noexcept { release(p); }
void operator delete[](void* p, align, const nothrow&) noexcept { release(p); }
// clang-format on

namespace {

// Opens path through the C library's function of that name, or fails as if
// the library's own allocation had failed, while that is planted.
FILE* plantedOpen(const char* name, const char* path, const char* mode) {
  if (failOpens) {
    errno = ENOMEM;
    return nullptr;
  }
  using opener = FILE* (*)(const char*, const char*);
  return reinterpret_cast<opener>(dlsym(RTLD_NEXT, name))(path, mode);
}

}  // namespace

// The C library's file opens, one of which the file streams call, as the
// C++ library was built.
extern "C" FILE* fopen64(const char* path, const char* mode) {
  return plantedOpen("fopen64", path, mode);
}
#ifndef __USE_FILE_OFFSET64
extern "C" FILE* fopen(const char* path, const char* mode) {
  return plantedOpen("fopen", path, mode);
}
#endif

void failAllocations(long long nth, std::size_t above, bool opens) {
  failureHit = false;
  failAbove = above;
  failCountdown = nth;
  failOpens = opens;
}

bool stopFailingAllocations() {
  failAbove = SIZE_MAX;
  failCountdown = -1;
  failOpens = false;
  return failureHit;
}

unsigned long long allocationsMade() { return allocations; }

long long allocationsLive() { return live; }

void failEachAllocationInTurn(const std::function<void()>& prepare,
                              const std::function<void()>& attempt,
                              const std::function<void(bool failed)>& check) {
  for (long long nth = 0;; ++nth) {
    SCOPED_TRACE("allocation " + std::to_string(nth));
    prepare();
    failAllocations(nth);
    attempt();
    const bool failed = stopFailingAllocations();
    check(failed);
    if (!failed) return;
  }
}

programRun runSession(std::istream& in, int failFrom) {
  roomyStream out(failFrom);
  roomyStream err;
  menu session(in, out, err);
  const int status = session.viewMenu() ? 0 : 1;
  return {out.written(), err.written(), status};
}

scratchDir::scratchDir() : previous(fs::current_path()) {
  std::string name =
      (fs::temp_directory_path() / "farwander-test-XXXXXX").string();
  if (mkdtemp(name.data()) == nullptr) {
    throw std::system_error(errno, std::generic_category(), name);
  }
  dir = name;
  fs::current_path(dir);
}

scratchDir::~scratchDir() {
  std::error_code ignored;
  fs::current_path(previous, ignored);
  fs::remove_all(dir, ignored);
}

namespace {

// Writes bytes to path, replacing the file.
void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

void cities(const std::string& bytes) { writeFile(controll::kCityFile, bytes); }

std::string repeat(const std::string& piece, std::size_t times) {
  std::string text;
  text.reserve(piece.size() * times);
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

std::string readFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

std::string describeIndex(const controll& index) {
  std::ostringstream text;
  for (const town* t : index.getTowns()) {
    text << t->getIndex() << ' ' << t->getName() << '\n';
  }
  for (const trigram* t : index.getTrigrams()) {
    text << t->getName() << ':';
    const std::unique_ptr<unsigned int[]> all(t->getAllIndex());
    for (unsigned int k = 0; k < t->getAmountOfIndex(); ++k) {
      text << ' ' << all[k];
    }
    text << '\n';
  }
  return text.str();
}

std::string describeResults(controll::townList&& found) {
  const recordList<town> results(std::move(found));
  std::ostringstream text;
  for (const town* t : results.get()) {
    text << t->getIndex() << ' ' << t->getPercent() * 100 << ' ' << t->getName()
         << '\n';
  }
  return text.str();
}

std::string answerOf(controll& index, const std::string& query) {
  return describeResults(index.searchTown(query));
}

// The timing report, its number as the first group.
const std::regex kTiming("time to read cities: ([0-9.e+-]+) seconds");

std::string maskTiming(const std::string& text) {
  return std::regex_replace(text, kTiming, "time to read cities: T seconds");
}

double reportedSeconds(const std::string& text) {
  std::smatch number;
  if (!std::regex_search(text, number, kTiming)) return -1;
  return std::stod(number[1]);
}

double leastSecondsOf(const std::function<void()>& work) {
  double least = 0;
  for (int run = 0; run < 3; ++run) {
    const std::clock_t start = std::clock();
    work();
    const double seconds =
        static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    if (run == 0 || seconds < least) least = seconds;
  }
  return least;
}

programRun runProgram(const fs::path& dir, const std::string& input,
                      const runOptions& options) {
  const fs::path in = dir / "stdin.txt";
  const fs::path out = dir / "stdout.txt";
  const fs::path err = dir / "stderr.txt";
  writeFile(in, input);
  const std::string command =
      "cd '" + dir.string() + "' && (" + options.limits + "\n'" +
      FARWANDER_BINARY + "' < '" + in.string() + "' > '" + out.string() +
      "' 2> '" + err.string() + "' " + options.redirect + ")";
  const int raw = std::system(command.c_str());
  const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  programRun run{readFile(out), readFile(err), status};
  fs::remove(in);
  fs::remove(out);
  fs::remove(err);
  return run;
}
