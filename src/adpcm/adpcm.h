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

// Applies one code (its low four bits) and returns the new signal.
int adpcm_decode_code(AdpcmState *state, unsigned code);

// Decodes count bytes into 2 * count signals at out, carrying state on, so
// that a sample may be decoded in pieces.
void adpcm_decode(const unsigned char *bytes, std::size_t count,
                  AdpcmState *state, std::int16_t *out);

#endif
