#include "adpcm_tool/level.h"

#include <cmath>

#include "adpcm/adpcm.h"

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double HIGH_PASS_HZ = 10;
constexpr double FULL_SCALE = 2048;

}  // namespace

void leveller_start(Leveller *leveller, unsigned rate, bool keep_dc) {
  *leveller = Leveller{};
  leveller->keep_dc = keep_dc;
  leveller->pole = std::exp(-2 * PI * HIGH_PASS_HZ / rate);
}

void leveller_filter(Leveller *leveller, float *samples, std::size_t count) {
  double peak = leveller->peak;
  // One pole and one zero: gentle enough to leave the bass alone.
  for (std::size_t i = 0; i < count; ++i) {
    if (!leveller->keep_dc) {
      double x = samples[i];
      double out =
          x - leveller->previous_in + leveller->pole * leveller->previous_out;
      leveller->previous_in = x;
      leveller->previous_out = out;
      samples[i] = static_cast<float>(out);
    }
    peak = std::fmax(peak, std::fabs(samples[i]));
  }
  leveller->peak = peak;
}

double normalising_gain_db(const LevelSettings &settings, double peak,
                           bool *silent) {
  *silent = peak * FULL_SCALE < 1;
  return *silent ? 0 : settings.peak_db - 20 * std::log10(peak);
}

void leveller_set_gain(Leveller *leveller, double gain_db, bool silent) {
  leveller->silent = silent;
  leveller->gain = silent ? 0 : FULL_SCALE * std::pow(10.0, gain_db / 20);
}

void leveller_targets(Leveller *leveller, const float *samples,
                      std::size_t count, std::int16_t *targets) {
  for (std::size_t i = 0; i < count; ++i) {
    double value = std::nearbyint(samples[i] * leveller->gain);
    if (value > ADPCM_SIGNAL_MAX || value < ADPCM_SIGNAL_MIN) {
      // A peak at 0 dBFS stands one step past the top: not a clip.
      if (std::fabs(value) > FULL_SCALE) ++leveller->clipped;
      value = value > 0 ? ADPCM_SIGNAL_MAX : ADPCM_SIGNAL_MIN;
    }
    if (value != 0) leveller->sounding = true;
    targets[i] = static_cast<std::int16_t>(value);
  }
}
