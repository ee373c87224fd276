#include "testSupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;

scratchDir::scratchDir() : previous(fs::current_path()) {
  static std::atomic<int> made{0};
  dir = fs::temp_directory_path() /
        ("farwander-test-" + std::to_string(getpid()) + "-" +
         std::to_string(made++));
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::current_path(dir);
}

scratchDir::~scratchDir() {
  std::error_code ignored;
  fs::current_path(previous, ignored);
  fs::remove_all(dir, ignored);
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
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
    const unsigned int* all = t->getAllIndex();
    for (unsigned int k = 0; k < t->getAmountOfIndex(); ++k) {
      text << ' ' << all[k];
    }
    delete[] all;
    text << '\n';
  }
  return text.str();
}

std::string maskTiming(const std::string& text) {
  static const std::regex timing("time to read cities: [0-9.e+-]+ seconds");
  return std::regex_replace(text, timing, "time to read cities: T seconds");
}

programRun runProgram(const fs::path& dir, const std::string& input) {
  const fs::path in = dir / "stdin.txt";
  const fs::path out = dir / "stdout.txt";
  writeFile(in, input);
  const std::string command = "cd '" + dir.string() + "' && '" +
                              FARWANDER_BINARY + "' < '" + in.string() +
                              "' > '" + out.string() + "'";
  const int raw = std::system(command.c_str());
  const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  programRun run{readFile(out), status};
  fs::remove(in);
  fs::remove(out);
  return run;
}
