// The tally of one town during one search: the hits that the ranking
// counted for its name from the query's trigrams, and the match share made
// from them.

#ifndef FARWANDER_SRC_IDCOUNT_H_
#define FARWANDER_SRC_IDCOUNT_H_

#include <cstdint>

class idCount final {
 public:
  // Starts the tally of town index id with one hit.
  explicit idCount(unsigned int id);

  idCount(const idCount&) = delete;
  idCount& operator=(const idCount&) = delete;

  virtual ~idCount();

  // Adds by hits, 1 unless given.
  void increaseAmount(std::uint64_t by = 1);

  // Sets the share to min(amount, max) / max; max must be at least 1.
  void calcPercantage(std::uint64_t max);

  // Returns the town index counted.
  unsigned int getID() const;

  // Returns the hits counted so far.
  std::uint64_t getAmount() const;

  // Returns the share from 0 to 1 set by calcPercantage (0 before).
  double getPercent() const;

 private:
  unsigned int id;       // town index, unique within one search
  std::uint64_t amount;  // hits; a long query passes 2^32
  double percent;        // match share, set by calcPercantage
};

#endif  // FARWANDER_SRC_IDCOUNT_H_
