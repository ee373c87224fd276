// The city file: one town per line, fields cut at tabs, the town's raw name
// in field 2 and every other field ignored. Reads the lines into new town
// records, numbered in file order, and logs each town as it is read.

#ifndef FARWANDER_SRC_CITYFILE_H_
#define FARWANDER_SRC_CITYFILE_H_

#include <cstddef>
#include <fstream>
#include <list>
#include <string>

#include "recordList.h"
#include "town.h"

class buildLog;

class cityFile {
 public:
  // The fields of one line.
  using slist = std::list<std::string>;

  cityFile();

  cityFile(const cityFile&) = delete;
  cityFile& operator=(const cityFile&) = delete;

  // Opens the file at path for reading; returns false when it cannot be
  // opened, a directory counting as such (errno is ENOMEM when the C library
  // ran out of memory). Throws std::bad_alloc when memory runs out for the
  // stream's own buffer.
  bool open(const char* path);

  // Appends to towns a new town per line with a name field, numbered from 0
  // in file order, its name normalised, and logs it. Lines with fewer than
  // two fields are skipped and use no number. Returns false when a read
  // failed before the end of the file; throws std::bad_alloc when memory
  // runs out, also while a line is read. Every town made is in towns either
  // way.
  bool readTowns(buildLog& log, recordList<town>& towns);

  // Closes the file.
  void close();

 private:
  static slist cutFields(const std::string& line, std::size_t most);

  std::ifstream file;
};

#endif  // FARWANDER_SRC_CITYFILE_H_
