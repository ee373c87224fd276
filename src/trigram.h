// A trigram record: one distinct three-byte window of the normalised town
// names, with the indices of the towns that hold it. A town stands in the
// list once per occurrence of the window in its name, in the order the towns
// were indexed: file order.

#ifndef FARWANDER_SRC_TRIGRAM_H_
#define FARWANDER_SRC_TRIGRAM_H_

#include <cstddef>
#include <list>
#include <memory_resource>
#include <string>

class trigram {
 public:
  using ilist = std::pmr::list<int>;

  // Bytes in one window.
  static constexpr std::size_t kLength = 3;

  // Makes the record for window name with firstTown as the first town
  // index of its list. The list's entries come from entries, which must
  // outlive the record.
  trigram(std::string name, unsigned int firstTown,
          std::pmr::memory_resource* entries);

  trigram(const trigram&) = delete;
  trigram& operator=(const trigram&) = delete;

  virtual ~trigram();

  // Returns a copy of the window.
  std::string getName() const;

  // Appends town index i at the end of the list (stored with the same bits).
  void addIndex(unsigned int i);

  // Returns the number of entries in the list, repeats included (at least 1).
  unsigned int getAmountOfIndex() const;

  // Returns a new array of getAmountOfIndex() town indices in list order;
  // the caller owns it and releases it with delete[].
  unsigned int* getAllIndex() const;

  // Calls visit with the start of each window of name, kLength bytes, in
  // position order: none for a name shorter than kLength.
  template <typename Visit>
  static void forEachWindow(const std::string& name, Visit visit) {
    for (std::size_t at = 0; at + kLength <= name.size(); ++at) {
      visit(name.data() + at);
    }
  }

 private:
  std::string name;  // exactly kLength bytes
  ilist index;       // town indices; never empty
};

#endif  // FARWANDER_SRC_TRIGRAM_H_
