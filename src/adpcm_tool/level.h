// The signal brought to the encoder's 12-bit range: DC taken out, the peak
// normalised or a fixed gain applied, rounded and clamped. It comes block
// by block; normalising needs the peak, so the blocks come twice.
#ifndef ADPACK_ADPCM_TOOL_LEVEL_H
#define ADPACK_ADPCM_TOOL_LEVEL_H

#include <cstddef>
#include <cstdint>

struct LevelSettings {
  bool keep_dc = false;
  bool fixed_gain = false;
  double peak_db = -1;  // where the peak goes, without fixed_gain
  double gain_db = 0;   // with fixed_gain
};

// Where a pass over the signal stands.
struct Leveller {
  bool keep_dc = false;
  double pole = 0;
  double previous_in = 0, previous_out = 0;
  double peak = 0;            // of the filtered signal so far
  double gain = 0;            // the factor to 12-bit values
  bool silent = false;        // every target 0
  bool sounding = false;      // a target was not 0
  std::uint64_t clipped = 0;  // targets beyond the 12-bit range
};

// Starts a pass over a signal at rate.
void leveller_start(Leveller *leveller, unsigned rate, bool keep_dc);

// Takes the DC out of count samples, in place, and follows their peak.
void leveller_filter(Leveller *leveller, float *samples, std::size_t count);

// The gain in dB (against full scale 1.0 = 2048) that brings a filtered
// signal of peak to settings.peak_db, and whether the signal counts as
// silent instead: a peak below one 12-bit step at unity gain, which
// normalising would only blow up into noise.
double normalising_gain_db(const LevelSettings &settings, double peak,
                           bool *silent);

// Sets the gain for the targets: gain_db, or none at all when silent.
void leveller_set_gain(Leveller *leveller, double gain_db, bool silent);

// The targets of count filtered samples, counting those that clip.
void leveller_targets(Leveller *leveller, const float *samples,
                      std::size_t count, std::int16_t *targets);

#endif
