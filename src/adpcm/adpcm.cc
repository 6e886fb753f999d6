#include "adpcm/adpcm.h"

namespace {

constexpr int STEP_SIZES[ADPCM_STEP_COUNT] = {
    16,  17,  19,  21,  23,  25,   28,   31,   34,   37,  41,  45,  50,
    55,  60,  66,  73,  80,  88,   97,   107,  118,  130, 143, 157, 173,
    190, 209, 230, 253, 279, 307,  337,  371,  408,  449, 494, 544, 598,
    658, 724, 796, 876, 963, 1060, 1166, 1282, 1411, 1552};

constexpr int INDEX_MOVES[8] = {-1, -1, -1, -1, 2, 4, 6, 8};

int clamp(int value, int low, int high) {
  return value < low ? low : value > high ? high : value;
}

// Inlined into the loop below, which decodes whole banks.
inline int decode_code(AdpcmState *state, unsigned code) {
  int step = STEP_SIZES[state->step_index];
  // Shifts, not a product, as the chip has them: each part rounds down.
  int difference = step >> 3;
  if (code & 4) difference += step;
  if (code & 2) difference += step >> 1;
  if (code & 1) difference += step >> 2;
  if (code & 8) difference = -difference;
  state->signal =
      clamp(state->signal + difference, ADPCM_SIGNAL_MIN, ADPCM_SIGNAL_MAX);
  state->step_index =
      clamp(state->step_index + INDEX_MOVES[code & 7], 0, ADPCM_STEP_COUNT - 1);
  return state->signal;
}

}  // namespace

int adpcm_decode_code(AdpcmState *state, unsigned code) {
  return decode_code(state, code);
}

void adpcm_decode(const unsigned char *bytes, std::size_t count,
                  AdpcmState *state, std::int16_t *out) {
  for (std::size_t i = 0; i < count; ++i) {
    *out++ = static_cast<std::int16_t>(decode_code(state, bytes[i] & 15u));
    *out++ = static_cast<std::int16_t>(decode_code(state, bytes[i] >> 4));
  }
}
