// The tally of one town during one search.

#include "idCount.h"

#include <algorithm>

idCount::idCount(unsigned int id) : id(id), amount(1), percent(0.0) {}

idCount::~idCount() = default;

void idCount::increaseAmount(std::uint64_t by) { amount += by; }

void idCount::calcPercantage(std::uint64_t max) {
  percent = static_cast<double>(std::min(amount, max)) / max;
}

unsigned int idCount::getID() const { return id; }

std::uint64_t idCount::getAmount() const { return amount; }

double idCount::getPercent() const { return percent; }
