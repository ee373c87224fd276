// Shared by the fuzz targets: each works in a scratch directory of its own,
// below TMPDIR, since a build reads and writes fixed file names.

#ifndef FARWANDER_FUZZ_FUZZSUPPORT_H_
#define FARWANDER_FUZZ_FUZZSUPPORT_H_

#include <unistd.h>

#include <filesystem>
#include <string>

// Makes the directory farwander-fuzz-NAME-PID below the temporary directory
// and makes it the working directory.
inline void enterScratchDir(const std::string& name) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("farwander-fuzz-" + name + "-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::filesystem::current_path(dir);
}

#endif  // FARWANDER_FUZZ_FUZZSUPPORT_H_
