#include "trigram.h"

#include <utility>

trigram::trigram(std::string name, unsigned int index,
                 std::pmr::memory_resource* entries)
    : name(std::move(name)), index(entries) {
  addIndex(index);
}

trigram::~trigram() = default;

std::string trigram::getName() const { return name; }

void trigram::addIndex(unsigned int i) { index.push_back(static_cast<int>(i)); }

unsigned int trigram::getAmountOfIndex() const {
  return static_cast<unsigned int>(index.size());
}

unsigned int* trigram::getAllIndex() const {
  // The list can never outgrow an unsigned count: each entry is a town of an
  // index numbered with unsigned ints, and memory runs out long before.
  unsigned int* all = new unsigned int[index.size()];
  unsigned int* next = all;
  for (int entry : index) *next++ = static_cast<unsigned int>(entry);
  return all;
}
