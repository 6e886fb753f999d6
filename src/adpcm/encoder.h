// The encoder: the codes whose decoding comes closest to a 12-bit target,
// found by searching over the decoder itself (adpcm_step), so that what it
// scores is exactly what the chip will play. Portable, no input or output:
// targets go in, codes come out.
#ifndef ADPACK_ADPCM_ENCODER_H
#define ADPACK_ADPCM_ENCODER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "adpcm/adpcm.h"

enum AdpcmQuality {
  ADPCM_QUALITY_FAST,  // the best code for each sample alone
  ADPCM_QUALITY_GOOD,  // a trellis
  ADPCM_QUALITY_BEST,  // a wider trellis
};

// The targets come in this many at most between two commits of the
// surviving path: the encoder's memory does not grow with the input.
constexpr std::size_t ADPCM_COMMIT_SAMPLES = 4096;

// How near 0 a settled sample ends, and how many codes settling may add.
constexpr int ADPCM_SETTLE_LEVEL = 8;
constexpr std::size_t ADPCM_SETTLE_MAX_CODES = 64;

// One path of the trellis: where the decoder stands after it, what it has
// cost so far, and the entry of the previous sample's row it came from.
struct AdpcmPath {
  std::int64_t cost;
  std::int32_t signal;
  std::int32_t step_index;
  std::uint32_t parent;
  std::uint32_t code;
};

struct AdpcmEncoder {
  AdpcmQuality quality;
  std::size_t paths_per_index;
  std::int64_t margin;
  std::uint64_t emitted;  // codes given out so far
  // Where the codes given out so far leave the decoder (for fast, the one
  // path there is).
  AdpcmState decoder;
  std::vector<AdpcmPath> kept;  // the paths after the latest sample
  // Since the last commit, each sample's kept paths in a row:
  // rows[row_starts[i]...] for sample i.
  std::vector<AdpcmPath> rows;
  std::vector<std::size_t> row_starts;
};

// What the encoder has settled on so far: one code a byte (0 to 15), and
// beside each the signal the decoder will have after it. The caller may
// take them out between calls.
struct AdpcmCodes {
  std::vector<unsigned char> codes;
  std::vector<std::int16_t> signal;
};

void adpcm_encoder_start(AdpcmEncoder *encoder, AdpcmQuality quality);

// Encodes count targets (each ADPCM_SIGNAL_MIN to ADPCM_SIGNAL_MAX), adding
// to codes whatever the search has settled on.
void adpcm_encode(AdpcmEncoder *encoder, const std::int16_t *targets,
                  std::size_t count, AdpcmCodes *codes);

// Ends the encoding: the rest of the codes, then, when settle is set, the
// fewest codes (at most ADPCM_SETTLE_MAX_CODES) that bring the signal back
// within ADPCM_SETTLE_LEVEL of 0, and a last code when the count would
// otherwise be odd, the one that moves the signal least.
void adpcm_encoder_finish(AdpcmEncoder *encoder, bool settle,
                          AdpcmCodes *codes);

// Two codes a byte, the low nibble first; count must be even.
void adpcm_pack_codes(const unsigned char *codes, std::size_t count,
                      unsigned char *bytes);

// How many codes of count bytes, decoded from state on, would have moved the
// signal past either end had the decoder not clamped it; state moves on.
std::uint64_t adpcm_count_clamps(const unsigned char *bytes, std::size_t count,
                                 AdpcmState *state);

#endif
