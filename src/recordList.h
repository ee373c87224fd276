// The owner of records that are held through pointers in a list: the index's
// towns and trigrams while a build makes them, and a search's result records
// while they are made and printed. A record is deleted with its owner unless
// the list is handed out, so a list that is half filled when memory runs out
// leaves nothing behind.

#ifndef FARWANDER_SRC_RECORDLIST_H_
#define FARWANDER_SRC_RECORDLIST_H_

#include <list>
#include <memory>
#include <utility>

template <typename T>
class recordList {
 public:
  using list = std::list<T*>;

  recordList() = default;

  // Takes over the records of adopted, which is left empty.
  explicit recordList(list&& adopted) { records.swap(adopted); }

  recordList(const recordList&) = delete;
  recordList& operator=(const recordList&) = delete;

  // Deletes every record still held.
  ~recordList() {
    for (T* record : records) delete record;
  }

  // Makes a record from args and appends it; returns it, owned here. Throws
  // std::bad_alloc when memory runs out, leaving the list as it was.
  template <typename... Args>
  T* make(Args&&... args) {
    auto record = std::make_unique<T>(std::forward<Args>(args)...);
    records.push_back(record.get());
    return record.release();
  }

  // Returns the records in order; they stay owned here.
  const list& get() const { return records; }

  // Hands out the list: the caller owns its records, and none stay here.
  list release() {
    list handed;
    handed.swap(records);
    return handed;
  }

 private:
  list records;
};

#endif  // FARWANDER_SRC_RECORDLIST_H_
