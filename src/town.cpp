// The town record, and the normalised form of every name.

#include "town.h"

#include <locale>
#include <utility>

namespace {

// The character classes of the classic locale, which never changes.
const std::ctype<char>& classicCtype =
    std::use_facet<std::ctype<char>>(std::locale::classic());

}  // namespace

town::town(unsigned int index, std::string name)
    : index(index), name(std::move(name)), matchingpercantage(0.0) {}

town::~town() = default;

unsigned int town::getIndex() const { return index; }

std::string town::getName() const { return name; }

double town::getPercent() const { return matchingpercantage; }

void town::setPercent(double percent) { matchingpercantage = percent; }

void town::normalise(std::string& name) {
  for (char& c : name) {
    if (c == ' ') c = '_';
  }
  classicCtype.tolower(name.data(), name.data() + name.size());
}
