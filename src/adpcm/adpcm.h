// The 4-bit sample code of the banks: two codes a byte, the low nibble
// first, each moving a 12-bit signal by a step that adapts to the sound.
#ifndef ADPACK_ADPCM_ADPCM_H
#define ADPACK_ADPCM_ADPCM_H

#include <cstddef>
#include <cstdint>

constexpr int ADPCM_SIGNAL_MIN = -2048;
constexpr int ADPCM_SIGNAL_MAX = 2047;
constexpr int ADPCM_STEP_COUNT = 49;
constexpr int ADPCM_SAMPLES_PER_BYTE = 2;

// The rate the chip plays at unless a song asks for another.
constexpr unsigned ADPCM_DEFAULT_RATE = 15625;

// Where a decoding stands; a sample starts from {0, 0}.
struct AdpcmState {
  int signal;      // ADPCM_SIGNAL_MIN to ADPCM_SIGNAL_MAX
  int step_index;  // 0 to ADPCM_STEP_COUNT - 1
};

// The chip's step sizes, one per step index, and how each code's magnitude
// (its low three bits) moves the index.
inline constexpr int ADPCM_STEP_SIZES[ADPCM_STEP_COUNT] = {
    16,  17,  19,  21,  23,  25,   28,   31,   34,   37,  41,  45,  50,
    55,  60,  66,  73,  80,  88,   97,   107,  118,  130, 143, 157, 173,
    190, 209, 230, 253, 279, 307,  337,  371,  408,  449, 494, 544, 598,
    658, 724, 796, 876, 963, 1060, 1166, 1282, 1411, 1552};
inline constexpr int ADPCM_INDEX_MOVES[8] = {-1, -1, -1, -1, 2, 4, 6, 8};

// How far code (0 to 15) moves the signal at step_index, before the clamp.
constexpr int adpcm_difference(int step_index, unsigned code) {
  int step = ADPCM_STEP_SIZES[step_index];
  // Shifts, not a product, as the chip has them: each part rounds down.
  int difference = step >> 3;
  if (code & 4) difference += step;
  if (code & 2) difference += step >> 1;
  if (code & 1) difference += step >> 2;
  return code & 8 ? -difference : difference;
}

// The signal the decoder keeps of signal, moved by a difference.
constexpr int adpcm_clamp_signal(int signal) {
  return signal < ADPCM_SIGNAL_MIN   ? ADPCM_SIGNAL_MIN
         : signal > ADPCM_SIGNAL_MAX ? ADPCM_SIGNAL_MAX
                                     : signal;
}

// The step index after code (0 to 15) at step_index.
constexpr int adpcm_next_index(int step_index, unsigned code) {
  int index = step_index + ADPCM_INDEX_MOVES[code & 7];
  return index < 0                      ? 0
         : index > ADPCM_STEP_COUNT - 1 ? ADPCM_STEP_COUNT - 1
                                        : index;
}

// The decoder's one step: applies code (0 to 15) to state. The decoder and
// the encoder's model of it both come down to these functions, so that they
// cannot drift apart; inline, since both run them in their innermost loop.
inline void adpcm_step(AdpcmState *state, unsigned code) {
  state->signal = adpcm_clamp_signal(state->signal +
                                     adpcm_difference(state->step_index, code));
  state->step_index = adpcm_next_index(state->step_index, code);
}

// Applies one code (its low four bits) and returns the new signal.
int adpcm_decode_code(AdpcmState *state, unsigned code);

// Decodes count bytes into 2 * count signals at out, carrying state on, so
// that a sample may be decoded in pieces.
void adpcm_decode(const unsigned char *bytes, std::size_t count,
                  AdpcmState *state, std::int16_t *out);

#endif
