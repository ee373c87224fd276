// The trigram record and its list of town indices.

#include "trigram.h"

#include <utility>

trigram::trigram(std::string name, unsigned int firstTown,
                 std::pmr::memory_resource* entries)
    : name(std::move(name)), index(entries) {
  addIndex(firstTown);
}

trigram::~trigram() = default;

std::string trigram::getName() const { return name; }

void trigram::addIndex(unsigned int i) { index.push_back(static_cast<int>(i)); }

unsigned int trigram::getAmountOfIndex() const {
  return static_cast<unsigned int>(index.size());
}

unsigned int* trigram::getAllIndex() const {
  // The list has one entry per occurrence of the window in a name, so only a
  // list of 2^32 entries or more (over 100 GB) would outgrow the unsigned
  // count; memory runs out long before.
  unsigned int* all = new unsigned int[getAmountOfIndex()];
  unsigned int* next = all;
  for (int entry : index) *next++ = static_cast<unsigned int>(entry);
  return all;
}
