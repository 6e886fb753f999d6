#include "bank/placed_samples.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string_view>
#include <unordered_map>

#include "driver/messages.h"
#include "driver/run_end.h"

namespace {

[[noreturn]] void fail_no_memory() {
  print_no_memory();
  fail_run();
}

// The index's memory comes from the same heap as the records and runs out
// the same way: with MSG_NO_MEMORY, never with an exception that nothing
// would catch.
template <class T>
struct IndexAllocator {
  using value_type = T;
  IndexAllocator() = default;
  template <class U>
  IndexAllocator(const IndexAllocator<U> &) {}
  T *allocate(std::size_t count) {
    if (count > SIZE_MAX / sizeof(T)) fail_no_memory();
    void *memory = std::malloc(count * sizeof(T));
    if (!memory) fail_no_memory();
    return static_cast<T *>(memory);
  }
  void deallocate(T *memory, std::size_t) { std::free(memory); }
  template <class U>
  bool operator==(const IndexAllocator<U> &) const {
    return true;
  }
};

// Keys point into the records' own names, which are never freed.
using PlacedIndex = std::unordered_map<
    std::string_view, const PlacedSample *, std::hash<std::string_view>,
    std::equal_to<std::string_view>,
    IndexAllocator<std::pair<const std::string_view, const PlacedSample *>>>;

PlacedSample *placed_head = nullptr;
PlacedSample *placed_tail = nullptr;

// Built in place and never destroyed, like the records: tearing down a
// large index at exit would only cost time.
alignas(PlacedIndex) unsigned char index_storage[sizeof(PlacedIndex)];
PlacedIndex *placed_index = nullptr;

PlacedIndex &index() {
  if (!placed_index) placed_index = new (index_storage) PlacedIndex();
  return *placed_index;
}

}  // namespace

int find_placed_sample(const char *name, std::uint32_t *offset,
                       std::uint32_t *length) {
  if (!placed_index) return -1;
  auto found = placed_index->find(std::string_view(name));
  if (found == placed_index->end()) return -1;
  *offset = found->second->offset;
  *length = found->second->length;
  return 0;
}

void remember_placed_sample(const char *name, std::uint32_t offset,
                            std::uint32_t length) {
  PlacedSample *sample =
      static_cast<PlacedSample *>(std::malloc(sizeof(PlacedSample)));
  if (!sample) fail_no_memory();
  std::size_t size = std::strlen(name) + 4;
  sample->file_name = static_cast<char *>(std::malloc(size));
  if (!sample->file_name) fail_no_memory();
  std::strcpy(sample->file_name, name);
  sample->offset = offset;
  sample->length = length;
  sample->next = nullptr;

  // Indexed before it is linked, so that a failure leaves both as they were.
  index().emplace(std::string_view(sample->file_name), sample);
  if (placed_tail)
    placed_tail->next = sample;
  else
    placed_head = sample;
  placed_tail = sample;
}
