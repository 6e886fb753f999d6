#include "adpcm_tool/level.h"

#include <cmath>

#include "adpcm/adpcm.h"

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double HIGH_PASS_HZ = 10;
constexpr double FULL_SCALE = 2048;

// One pole and one zero: gentle enough to leave the bass alone.
void remove_dc(std::vector<float> *signal, unsigned rate) {
  double pole = std::exp(-2 * PI * HIGH_PASS_HZ / rate);
  double previous_in = 0, previous_out = 0;
  for (float &x : *signal) {
    double out = x - previous_in + pole * previous_out;
    previous_in = x;
    previous_out = out;
    x = static_cast<float>(out);
  }
}

}  // namespace

void level_signal(std::vector<float> *signal, unsigned rate,
                  const LevelSettings &settings, Levelled *levelled) {
  if (!settings.keep_dc) remove_dc(signal, rate);
  double peak = 0;
  for (float x : *signal) peak = std::fmax(peak, std::fabs(x));
  levelled->silent = peak == 0;
  double gain_db = settings.fixed_gain ? settings.gain_db
                   : levelled->silent
                       ? 0
                       : settings.peak_db - 20 * std::log10(peak);
  levelled->gain_db = gain_db;
  double gain = FULL_SCALE * std::pow(10.0, gain_db / 20);
  levelled->clipped = 0;
  levelled->target.resize(signal->size());
  for (std::size_t i = 0; i < signal->size(); ++i) {
    double value = std::nearbyint((*signal)[i] * gain);
    if (value > ADPCM_SIGNAL_MAX || value < ADPCM_SIGNAL_MIN) {
      // A peak at 0 dBFS stands one step past the top: not a clip.
      if (std::fabs(value) > FULL_SCALE) ++levelled->clipped;
      value = value > 0 ? ADPCM_SIGNAL_MAX : ADPCM_SIGNAL_MIN;
    }
    levelled->target[i] = static_cast<std::int16_t>(value);
  }
}
