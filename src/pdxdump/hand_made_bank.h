// Banks made by hand for the tests, byte by byte, without the program's
// own layout code.
#ifndef ADPACK_PDXDUMP_HAND_MADE_BANK_H
#define ADPACK_PDXDUMP_HAND_MADE_BANK_H

#include <cstdint>
#include <string>
#include <vector>

struct HandSlot {
  int slot;
  std::uint32_t offset;
  std::uint32_t length;
};

// A bank of size bytes (the table cut short when size is below 768) whose
// data bytes count up from 1 so that a misplaced copy shows.
inline std::string hand_made_bank(const std::vector<HandSlot> &slots,
                                  std::size_t size) {
  std::string bank(768 > size ? 768 : size, '\0');
  for (std::size_t i = 768; i < bank.size(); ++i)
    bank[i] = static_cast<char>((i - 767) % 251);
  for (const HandSlot &s : slots) {
    std::size_t at = static_cast<std::size_t>(s.slot) * 8;
    for (int b = 0; b < 4; ++b) {
      bank[at + static_cast<std::size_t>(b)] =
          static_cast<char>(s.offset >> (24 - 8 * b));
      bank[at + 4 + static_cast<std::size_t>(b)] =
          static_cast<char>(s.length >> (24 - 8 * b));
    }
  }
  bank.resize(size);
  return bank;
}

#endif
