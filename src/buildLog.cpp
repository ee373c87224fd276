// The build log's entries, formatted by hand into a block of memory that
// goes to the file whole when it fills.

#include "buildLog.h"

#include <algorithm>
#include <cerrno>

namespace {

// Bytes formatted before they go to the file.
constexpr std::size_t kBlockSize = 1 << 18;

// The text that every log begins with.
constexpr const char* kOpeningText = "logging is active";

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
  append("\nnew town: ");
  append(name);
  append(" index: ");
  append(index);
}

void buildLog::firstTrigram(std::string_view window, unsigned int index) {
  append("\nmyTris was empty. ");
  append(window);
  append(" with index ");
  append(index);
  append(" was inserted");
}

void buildLog::knownTrigram(std::string_view window, unsigned int index) {
  append("\n");
  append(window);
  append(" was already in the list. index ");
  append(index);
  append(" has been added");
}

void buildLog::newTrigram(std::string_view window, unsigned int index) {
  append("\n");
  append(window);
  append(" wasn't in the list. it has been added with index ");
  append(index);
}

bool buildLog::close() {
  flush();
  file.close();
  return !file.fail();
}

// Makes room in the block for at least `bytes` more: writes it out, and
// makes it at the first entry or enlarges it for a piece longer than a whole
// block (a town with a very long name).
void buildLog::makeRoom(std::size_t bytes) {
  flush();
  if (bytes > block.size()) block.resize(std::max(bytes, kBlockSize));
}

void buildLog::flush() {
  file.write(block.data(), static_cast<std::streamsize>(used));
  used = 0;
}
