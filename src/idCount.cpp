#include "idCount.h"

#include <algorithm>
#include <limits>

idCount::idCount(unsigned int id) : id(id), amount(1), percent(0.0) {}

idCount::~idCount() = default;

void idCount::increaseAmount(unsigned int by) {
  const unsigned int room = std::numeric_limits<unsigned int>::max() - amount;
  amount += std::min(by, room);
}

void idCount::calcPercantage(unsigned int max) {
  percent = static_cast<double>(std::min(amount, max)) / max;
}

unsigned int idCount::getID() const { return id; }

unsigned int idCount::getAmount() const { return amount; }

double idCount::getPercent() const { return percent; }
