// The build log: its opening text and one entry per event of an index build.
//
// Entries are formatted by hand straight into a block of memory that goes to
// the file whole when it fills. Writing each piece through stream insertion
// was the alternative; on a real city file the log is the bulk of a build's
// work (one entry per window of every name), and per-piece stream calls cost
// several times more.

#ifndef FARWANDER_SRC_BUILDLOG_H_
#define FARWANDER_SRC_BUILDLOG_H_

#include <array>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

class buildLog {
 public:
  // Makes a log with no file open.
  buildLog();

  buildLog(const buildLog&) = delete;
  buildLog& operator=(const buildLog&) = delete;

  // Writes what is buffered and closes the file, if close() did not.
  ~buildLog();

  // Creates or empties the file at path and writes the opening text;
  // returns false when the file cannot be opened for writing, with errno
  // ENOMEM when the C library ran out of memory. Takes no memory of its own,
  // so a log that was emptied always gets its opening text.
  bool open(const std::string& path);

  // Each of the four entries below throws std::bad_alloc when memory runs
  // out for the block, made at the first entry and enlarged for a name
  // longer than it; what was added before stays, the entry maybe cut short.

  // Adds the entry for town name read with the given index.
  void newTown(std::string_view name, unsigned int index);

  // Adds the entry for the first window put into an empty index.
  void firstTrigram(std::string_view window, unsigned int index);

  // Adds the entry for a window already in the index that gains index.
  void knownTrigram(std::string_view window, unsigned int index);

  // Adds the entry for a window new to a non-empty index.
  void newTrigram(std::string_view window, unsigned int index);

  // Writes what is buffered and closes the file; returns false when any
  // write since open failed.
  bool close();

 private:
  // Bytes of the file stream's own buffer, which takes the opening text.
  // Blocks of the log are larger and go past it; only a last short block
  // passes through.
  static constexpr std::size_t kStreamRoom = 1024;

  // Digits of the largest unsigned int.
  static constexpr std::size_t kMaxDigits =
      std::numeric_limits<unsigned int>::digits10 + 1;

  // Adds one piece of an entry to the block, making room for it first:
  // each piece comes on its own, so that no entry's length is reckoned
  // beforehand.
  template <std::size_t N>
  void append(const char (&text)[N]) {
    append(std::string_view(text, N - 1));
  }
  void append(std::string_view text) {
    if (used + text.size() > block.size()) makeRoom(text.size());
    std::memcpy(block.data() + used, text.data(), text.size());
    used += text.size();
  }
  void append(unsigned int number) {
    std::array<char, kMaxDigits> digits;
    const char* end =
        std::to_chars(digits.data(), digits.data() + digits.size(), number).ptr;
    append(std::string_view(digits.data(),
                            static_cast<std::size_t>(end - digits.data())));
  }

  void makeRoom(std::size_t bytes);
  void flush();

  std::ofstream file;
  std::array<char, kStreamRoom> streamRoom;  // the file stream's own buffer
  std::vector<char> block;  // entries not yet written; made at the first
  std::size_t used;         // bytes of block in use
};

#endif  // FARWANDER_SRC_BUILDLOG_H_
