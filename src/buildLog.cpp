// The build log's entries, formatted by hand into a block of memory that
// goes to the file whole when it fills.

#include "buildLog.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

namespace {

// Bytes formatted before they go to the file.
constexpr std::size_t kBlockSize = 1 << 18;

// The text that every log begins with.
constexpr const char* kOpeningText = "logging is active";

// Digits in the largest unsigned int.
constexpr std::size_t kMaxDigits = 10;

// The longest fixed text of one entry, with room to spare.
constexpr std::size_t kMaxFixed = 64;

// Copies the text literal to at and returns the end of the copy.
template <std::size_t N>
char* put(char* at, const char (&text)[N]) {
  std::memcpy(at, text, N - 1);
  return at + N - 1;
}

// Copies text to at and returns the end of the copy.
char* put(char* at, std::string_view text) {
  std::memcpy(at, text.data(), text.size());
  return at + text.size();
}

// Writes number in decimal to at, which has room for kMaxDigits bytes, and
// returns the end of the digits.
char* putNumber(char* at, unsigned int number) {
  return std::to_chars(at, at + kMaxDigits, number).ptr;
}

}  // namespace

// The file stream gets its buffer here rather than allocating one as the
// file opens, after emptying it, where memory may run out. The block is made
// at the first entry, so that the log is emptied and begun before the build
// takes any memory for it.
buildLog::buildLog() : used(0) {
  file.rdbuf()->pubsetbuf(streamRoom.data(), streamRoom.size());
}

buildLog::~buildLog() {
  if (file.is_open()) close();
}

bool buildLog::open(const std::string& path) {
  errno = 0;
  file.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
  if (!file.is_open()) return false;
  file << kOpeningText;  // into the stream's own buffer, which needs no memory
  return true;
}

void buildLog::newTown(std::string_view name, unsigned int index) {
  char* at = room(kMaxFixed + name.size() + kMaxDigits);
  at = put(at, "\nnew town: ");
  at = put(at, name);
  at = put(at, " index: ");
  commit(putNumber(at, index));
}

void buildLog::firstTrigram(std::string_view window, unsigned int index) {
  char* at = room(kMaxFixed + window.size() + kMaxDigits);
  at = put(at, "\nmyTris was empty. ");
  at = put(at, window);
  at = put(at, " with index ");
  at = putNumber(at, index);
  commit(put(at, " was inserted"));
}

void buildLog::knownTrigram(std::string_view window, unsigned int index) {
  char* at = room(kMaxFixed + window.size() + kMaxDigits);
  at = put(at, "\n");
  at = put(at, window);
  at = put(at, " was already in the list. index ");
  at = putNumber(at, index);
  commit(put(at, " has been added"));
}

void buildLog::newTrigram(std::string_view window, unsigned int index) {
  char* at = room(kMaxFixed + window.size() + kMaxDigits);
  at = put(at, "\n");
  at = put(at, window);
  at = put(at, " wasn't in the list. it has been added with index ");
  commit(putNumber(at, index));
}

bool buildLog::close() {
  flush();
  file.close();
  return !file.fail();
}

// Returns where the next entry of at most `most` bytes goes, writing out the
// block first when it lacks room, and making it at the first entry or
// enlarging it for an entry longer than a whole block (a town with a very
// long name).
char* buildLog::room(std::size_t most) {
  if (block.size() - used < most) {
    flush();
    if (block.size() < most) block.resize(std::max(most, kBlockSize));
  }
  return block.data() + used;
}

// Marks the bytes up to end, which room() handed out, as in use.
void buildLog::commit(const char* end) {
  used = static_cast<std::size_t>(end - block.data());
}

void buildLog::flush() {
  file.write(block.data(), static_cast<std::streamsize>(used));
  used = 0;
}
