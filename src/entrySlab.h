// A memory resource for the town list of one trigram: it hands out list
// entries from a region sized in advance for that list, so that the entries
// of each list sit side by side in memory. A search walks a trigram's list
// from end to end; with entries allocated in build order, each list was
// strewn over the whole index, one cache miss per entry. Requests beyond the
// region go to an overflow resource. Nothing is freed one by one: the region
// and the overflow are released with the index.

#ifndef FARWANDER_SRC_ENTRYSLAB_H_
#define FARWANDER_SRC_ENTRYSLAB_H_

#include <cstddef>
#include <memory_resource>

class entrySlab : public std::pmr::memory_resource {
 public:
  // Makes a slab handing out the `size` bytes at region, then asking
  // overflow. Neither is owned; both must outlive every list using the slab.
  entrySlab(void* region, std::size_t size,
            std::pmr::memory_resource* overflow);

 private:
  void* do_allocate(std::size_t bytes, std::size_t alignment) override;
  void do_deallocate(void* p, std::size_t bytes,
                     std::size_t alignment) override;
  bool do_is_equal(const memory_resource& other) const noexcept override;

  void* next;                           // first free byte of the region
  std::size_t left;                     // free bytes from next on
  std::pmr::memory_resource* overflow;  // for requests the region lacks
};

#endif  // FARWANDER_SRC_ENTRYSLAB_H_
