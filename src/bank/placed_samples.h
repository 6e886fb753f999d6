// The samples already in the bank, by file name, so that every later slot
// that names one shares its bytes. Lives until the process ends.
#ifndef ADPACK_BANK_PLACED_SAMPLES_H
#define ADPACK_BANK_PLACED_SAMPLES_H

#include <cstdint>

struct PlacedSample {
  PlacedSample *next;
  char *file_name;
  std::uint32_t offset;  // big-endian, as it goes into a slot
  std::uint32_t length;  // big-endian, as it goes into a slot
};

// Returns 0 and sets offset and length when name was placed before (names
// compare byte for byte), or -1, leaving them alone.
int find_placed_sample(const char *name, std::uint32_t *offset,
                       std::uint32_t *length);

// Records name with its offset and length (both big-endian). Ends the run
// with MSG_NO_MEMORY when it cannot.
void remember_placed_sample(const char *name, std::uint32_t offset,
                            std::uint32_t length);

#endif
