#include "bank/bank_layout.h"

#include <cstring>

std::uint32_t to_big_endian32(std::uint32_t value) {
  const unsigned char bytes[4] = {
      static_cast<unsigned char>(value >> 24),
      static_cast<unsigned char>(value >> 16),
      static_cast<unsigned char>(value >> 8),
      static_cast<unsigned char>(value),
  };
  std::uint32_t result;
  std::memcpy(&result, bytes, sizeof result);
  return result;
}
