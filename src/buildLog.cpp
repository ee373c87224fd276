#include "buildLog.h"

namespace {

// Buffered bytes that trigger a write to the file.
constexpr std::size_t kBlockSize = 1 << 18;

// Digits in the largest unsigned int.
constexpr std::size_t kMaxDigits = 10;

}  // namespace

buildLog::buildLog() { buffer.reserve(kBlockSize + kBlockSize / 4); }

buildLog::~buildLog() = default;

bool buildLog::open(const std::string& path) {
  file.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
  if (!file.is_open()) return false;
  append("logging is active");
  return true;
}

void buildLog::newTown(std::string_view name, unsigned int index) {
  append("\nnew town: ");
  append(name);
  append(" index: ");
  appendNumber(index);
  flushFull();
}

void buildLog::firstTrigram(std::string_view window, unsigned int index) {
  append("\nmyTris was empty. ");
  append(window);
  append(" with index ");
  appendNumber(index);
  append(" was inserted");
  flushFull();
}

void buildLog::knownTrigram(std::string_view window, unsigned int index) {
  append("\n");
  append(window);
  append(" was already in the list. index ");
  appendNumber(index);
  append(" has been added");
  flushFull();
}

void buildLog::newTrigram(std::string_view window, unsigned int index) {
  append("\n");
  append(window);
  append(" wasn't in the list. it has been added with index ");
  appendNumber(index);
  flushFull();
}

bool buildLog::close() {
  file.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
  buffer.clear();
  file.close();
  return !file.fail();
}

void buildLog::append(std::string_view text) {
  buffer.append(text.data(), text.size());
}

void buildLog::appendNumber(unsigned int number) {
  char digits[kMaxDigits];
  char* first = digits + kMaxDigits;
  do {
    *--first = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0);
  buffer.append(first, digits + kMaxDigits);
}

void buildLog::flushFull() {
  if (buffer.size() < kBlockSize) return;
  file.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
  buffer.clear();
}
