// The bank file: a table of BANK_SLOT_COUNT slots, then the samples' bytes
// back to back. Every number in the table is big-endian.
#ifndef ADPACK_BANK_BANK_LAYOUT_H
#define ADPACK_BANK_BANK_LAYOUT_H

#include <cstddef>
#include <cstdint>

struct BankSlot {
  std::uint32_t offset;  // from the start of the bank file, table included
  std::uint32_t length;
};

constexpr int BANK_SLOT_COUNT = 96;
constexpr std::size_t BANK_SLOT_SIZE = 8;
constexpr std::size_t BANK_TABLE_SIZE = BANK_SLOT_COUNT * BANK_SLOT_SIZE;

// The largest position the 32-bit fields can describe.
constexpr std::uint64_t BANK_MAX_SIZE = 0xffffffffu;

static_assert(sizeof(BankSlot) == BANK_SLOT_SIZE);

// The value whose bytes, as they lie in memory, are value in big-endian
// order, whatever the host's.
std::uint32_t to_big_endian32(std::uint32_t value);

#endif
