// Reading the city file into town records: the file opened, each line cut
// at its tabs, each name normalised, numbered and logged.

#include "cityFile.h"

#include <cerrno>
#include <filesystem>
#include <utility>

#include "buildLog.h"

namespace {

// Field of a line that holds the town's name, counted from 1.
constexpr std::size_t kNameField = 2;

}  // namespace

cityFile::cityFile() = default;

// A directory opens on Linux and its first read fails, which would report
// a read error; it is refused before the open as a file that does not open.
bool cityFile::open(const char* path) {
  errno = 0;  // what errno says after a failure is then of this open
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) return false;
  file.open(path, std::ios::in | std::ios::binary);
  return file.is_open();
}

bool cityFile::readTowns(buildLog& log, recordList<town>& towns) {
  // A failed read rethrows what the read met: std::bad_alloc from a line
  // too long for memory, std::ios_base::failure from the file.
  file.exceptions(std::ios::badbit);
  unsigned int counter = 0;
  std::string line;
  try {
    while (std::getline(file, line)) {
      slist fields = cutFields(line, kNameField);
      if (fields.size() < kNameField) continue;
      std::string& name = fields.back();
      town::normalise(name);
      log.newTown(name, counter);
      towns.make(counter, std::move(name));
      ++counter;
    }
  } catch (const std::ios_base::failure&) {
    return false;
  }
  return true;
}

void cityFile::close() { file.close(); }

// Cuts line at its tabs and returns at most the first `most` fields, so the
// fields after the name, often long, are never copied. An empty line, or one
// without a tab, has one field; a tab at the very end of the line starts no
// further field, while two tabs in a row make an empty one.
cityFile::slist cityFile::cutFields(const std::string& line, std::size_t most) {
  slist fields;
  std::size_t begin = 0;
  while (fields.size() < most) {
    const std::size_t tab = line.find('\t', begin);
    if (tab == std::string::npos) {
      fields.push_back(line.substr(begin));
      break;
    }
    fields.push_back(line.substr(begin, tab - begin));
    begin = tab + 1;
    if (begin == line.size()) break;
  }
  return fields;
}
