// A town record: one line of the city file in the index, or one line of a
// search answer. The same class serves both, so a result carries its rank in
// the index field and its match share beside the name.

#ifndef FARWANDER_SRC_TOWN_H_
#define FARWANDER_SRC_TOWN_H_

#include <string>

class town {
 public:
  // Makes a record with the given index and normalised name; the match share
  // is 0 until setPercent.
  town(unsigned int index, std::string name);

  town(const town&) = delete;
  town& operator=(const town&) = delete;

  virtual ~town();

  // Returns the town index, or the rank for a result record.
  unsigned int getIndex() const;

  // Returns a copy of the normalised name.
  std::string getName() const;

  // Returns the match share, a fraction from 0 to 1 (set on results only).
  double getPercent() const;

  // Sets the match share to percent, a fraction from 0 to 1.
  void setPercent(double percent);

  // Turns a raw name, in place, into the form in which names are stored,
  // searched and printed: byte by byte, a space becomes '_', then the byte is
  // lower-cased by the classic locale, the program's global one, so only A
  // to Z change; any other byte, parts of UTF-8 sequences included, stays.
  // Empty stays empty.
  static void normalise(std::string& name);

 private:
  unsigned int index;         // town index in the index; rank in a result
  std::string name;           // lower case, '_' where the raw name had ' '
  double matchingpercantage;  // match share, meaningful on results only
};

#endif  // FARWANDER_SRC_TOWN_H_
