#include "bank/placed_samples.h"

#include <gtest/gtest.h>

#include <cstring>

#include "bank/bank_layout.h"

namespace {

std::array<unsigned char, 4> bytes_of(std::uint32_t value) {
  std::array<unsigned char, 4> bytes;
  std::memcpy(bytes.data(), &value, 4);
  return bytes;
}

TEST(ByteOrder, StoresMostSignificantByteFirst) {
  using Bytes = std::array<unsigned char, 4>;
  EXPECT_EQ(bytes_of(to_big_endian32(768)), (Bytes{0x00, 0x00, 0x03, 0x00}));
  EXPECT_EQ(bytes_of(to_big_endian32(1000)), (Bytes{0x00, 0x00, 0x03, 0xe8}));
  EXPECT_EQ(bytes_of(to_big_endian32(0x01020304)), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(bytes_of(to_big_endian32(0xfffffffe)),
            (Bytes{0xff, 0xff, 0xff, 0xfe}));
}

// The registry is process-wide and never shrinks, so one test walks it
// through its life in order.
TEST(PlacedSamples, SharesByExactNameOnly) {
  std::uint32_t offset = 11, length = 22;
  EXPECT_EQ(find_placed_sample("kick.pcm", &offset, &length), -1);
  EXPECT_EQ(offset, 11u);
  EXPECT_EQ(length, 22u);

  remember_placed_sample("kick.pcm", 0x00030000u, 0xe8030000u);
  remember_placed_sample("", 5, 6);
  remember_placed_sample("snare\x83\x5c.pcm", 7, 8);

  ASSERT_EQ(find_placed_sample("kick.pcm", &offset, &length), 0);
  EXPECT_EQ(offset, 0x00030000u);
  EXPECT_EQ(length, 0xe8030000u);
  ASSERT_EQ(find_placed_sample("snare\x83\x5c.pcm", &offset, &length), 0);
  EXPECT_EQ(offset, 7u);
  ASSERT_EQ(find_placed_sample("", &offset, &length), 0);
  EXPECT_EQ(length, 6u);

  offset = length = 99;
  for (const char *other : {"KICK.PCM", "kick.pc", "kick.pcmx", "./kick.pcm",
                            "snare\x83\x5d.pcm"}) {
    EXPECT_EQ(find_placed_sample(other, &offset, &length), -1) << other;
  }
  EXPECT_EQ(offset, 99u);
  EXPECT_EQ(length, 99u);
}

TEST(PlacedSamples, KeepsItsOwnCopyOfTheName) {
  char name[] = "hat.pcm";
  remember_placed_sample(name, 1, 2);
  std::strcpy(name, "xyz.pcm");
  std::uint32_t offset = 0, length = 0;
  EXPECT_EQ(find_placed_sample("hat.pcm", &offset, &length), 0);
  EXPECT_EQ(find_placed_sample("xyz.pcm", &offset, &length), -1);
}

}  // namespace
