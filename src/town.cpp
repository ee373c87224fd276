#include "town.h"

#include <utility>

town::town(unsigned int index, std::string name)
    : index(index), name(std::move(name)), matchingpercantage(0.0) {}

town::~town() = default;

unsigned int town::getIndex() const { return index; }

std::string town::getName() const { return name; }

double town::getPercent() const { return matchingpercantage; }

void town::setPercent(double percent) { matchingpercantage = percent; }
