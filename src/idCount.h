// The tally of one town during one search: how many hits its name collected
// from the query's trigrams, and the match share made from them.

#ifndef FARWANDER_SRC_IDCOUNT_H_
#define FARWANDER_SRC_IDCOUNT_H_

class idCount final {
 public:
  // Starts the tally of town index id with one hit.
  explicit idCount(unsigned int id);

  idCount(const idCount&) = delete;
  idCount& operator=(const idCount&) = delete;

  virtual ~idCount();

  // Adds by hits (1 unless given), stopping at the largest unsigned int
  // rather than wrapping round to a small count.
  void increaseAmount(unsigned int by = 1);

  // Sets the share to min(amount, max) / max; max must be at least 1.
  void calcPercantage(unsigned int max);

  // Returns the town index counted.
  unsigned int getID() const;

  // Returns the hits counted so far.
  unsigned int getAmount() const;

  // Returns the share from 0 to 1 set by calcPercantage (0 before).
  double getPercent() const;

 private:
  unsigned int id;      // town index, unique within one search
  unsigned int amount;  // hits, saturating
  double percent;       // match share, set by calcPercantage
};

#endif  // FARWANDER_SRC_IDCOUNT_H_
