// The signal brought to the encoder's 12-bit range: DC taken out, the peak
// normalised or a fixed gain applied, rounded and clamped.
#ifndef ADPACK_ADPCM_TOOL_LEVEL_H
#define ADPACK_ADPCM_TOOL_LEVEL_H

#include <cstdint>
#include <vector>

struct LevelSettings {
  bool keep_dc = false;
  bool fixed_gain = false;
  double peak_db = -1;  // where the peak goes, without fixed_gain
  double gain_db = 0;   // with fixed_gain
};

struct Levelled {
  std::vector<std::int16_t> target;
  double gain_db = 0;  // applied, against full scale 1.0 = 2048
  bool silent = false;
  std::uint64_t clipped = 0;  // samples beyond the 12-bit range
};

// Levels signal at rate; signal is used up (DC filtered in place).
void level_signal(std::vector<float> *signal, unsigned rate,
                  const LevelSettings &settings, Levelled *levelled);

#endif
