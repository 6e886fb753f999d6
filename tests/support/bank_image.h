// A bank file built from the layout rules alone: the 96-slot table of
// big-endian offset and length pairs, then the samples back to back.
#ifndef ADPACK_TESTS_SUPPORT_BANK_IMAGE_H
#define ADPACK_TESTS_SUPPORT_BANK_IMAGE_H

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "support/bytes.h"

namespace adpack_test {

class BankImage {
 public:
  static constexpr int kSlots = 96;
  static constexpr std::size_t kTableSize = 768;

  BankImage() : bytes_(kTableSize, '\0') {}

  struct Placed {
    std::uint32_t offset;
    std::uint32_t length;
  };

  // Appends a sample to the data area.
  Placed append(std::string_view sample) {
    Placed placed{static_cast<std::uint32_t>(bytes_.size()),
                  static_cast<std::uint32_t>(sample.size())};
    bytes_ += sample;
    return placed;
  }

  void set_slot(int slot, Placed placed) {
    if (slot < 0 || slot >= kSlots) throw std::out_of_range("slot");
    std::string entry;
    append_be32(entry, placed.offset);
    append_be32(entry, placed.length);
    bytes_.replace(static_cast<std::size_t>(slot) * 8, 8, entry);
  }

  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

}  // namespace adpack_test

#endif
