#include "bank/placed_samples.h"

#include <cstdlib>
#include <cstring>

#include "driver/messages.h"
#include "driver/run.h"

namespace {

PlacedSample *placed_head = nullptr;

[[noreturn]] void fail_no_memory() {
  print_no_memory();
  fail_run();
}

}  // namespace

int find_placed_sample(const char *name, std::uint32_t *offset,
                       std::uint32_t *length) {
  for (const PlacedSample *sample = placed_head; sample;
       sample = sample->next) {
    if (std::strcmp(sample->file_name, name) == 0) {
      *offset = sample->offset;
      *length = sample->length;
      return 0;
    }
  }
  return -1;
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

  PlacedSample **link = &placed_head;
  while (*link) link = &(*link)->next;
  *link = sample;
}
