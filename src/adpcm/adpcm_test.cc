#include "adpcm/adpcm.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int> decode(const std::vector<unsigned char> &bytes) {
  std::vector<std::int16_t> out(bytes.size() * 2);
  AdpcmState state = {0, 0};
  adpcm_decode(bytes.data(), bytes.size(), &state, out.data());
  return std::vector<int>(out.begin(), out.end());
}

TEST(Adpcm, DecodesTheHandWorkedBytes) {
  struct {
    std::vector<unsigned char> bytes;
    std::vector<int> signal;
  } cases[] = {
      // Rises to the top and stays clamped there.
      {{0x77, 0x77, 0x77, 0x77}, {30, 93, 229, 522, 1153, 2047, 2047, 2047}},
      {{0x17, 0x7f, 0x80, 0x31}, {30, 42, -14, 109, 126, 110, 153, 245}},
      // The index cannot fall below the first step.
      {{0x88, 0x88}, {-2, -4, -6, -8}},
      {{0x00, 0x00}, {2, 4, 6, 8}},
      // The low nibble comes first.
      {{0x07}, {30, 34}},
      {{0x70}, {2, 32}},
      // Falls to the bottom and stays clamped there.
      {{0xff, 0xff, 0xff, 0xff},
       {-30, -93, -229, -522, -1153, -2048, -2048, -2048}},
  };
  for (const auto &c : cases)
    EXPECT_THAT(decode(c.bytes), testing::ElementsAreArray(c.signal));
}

TEST(Adpcm, StepIndexStopsAtTheLargestStep) {
  // Eight codes of 7 push the index far past the last step; a code of 0
  // then moves by an eighth of the largest, 1552 / 8, and comes back down.
  AdpcmState state = {0, 0};
  for (int i = 0; i < 8; ++i) adpcm_decode_code(&state, 7);
  EXPECT_EQ(state.step_index, 48);
  EXPECT_EQ(state.signal, 2047);
  EXPECT_EQ(adpcm_decode_code(&state, 8), 2047 - 194);
  EXPECT_EQ(state.step_index, 47);
  EXPECT_EQ(adpcm_decode_code(&state, 8 | 4), 2047 - 194 - (1411 + 176));
}

TEST(Adpcm, DecodesInPiecesAsAtOnce) {
  std::vector<unsigned char> bytes;
  for (unsigned i = 0; i < 1000; ++i)
    bytes.push_back(static_cast<unsigned char>((i * 97 + i / 7) & 0xff));
  std::vector<int> whole = decode(bytes);
  std::vector<std::int16_t> pieces(bytes.size() * 2);
  AdpcmState state = {0, 0};
  adpcm_decode(bytes.data(), 333, &state, pieces.data());
  adpcm_decode(bytes.data() + 333, bytes.size() - 333, &state,
               pieces.data() + 666);
  EXPECT_THAT(std::vector<int>(pieces.begin(), pieces.end()),
              testing::ElementsAreArray(whole));
}

}  // namespace
