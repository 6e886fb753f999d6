#include "adpcm/test_signals.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double PI = 3.14159265358979323846;

// Its own generator, so that every platform makes the same noise.
struct Noise {
  std::uint32_t state;
  double next() {
    state = state * 1664525u + 1013904223u;
    return static_cast<double>(state >> 8) / (1u << 23) - 1.0;
  }
};

std::vector<double> noise_burst(unsigned rate) {
  Noise noise = {12345};
  std::vector<double> out(rate / 2);
  for (std::size_t i = 0; i < out.size(); ++i) {
    double t = static_cast<double>(i) / rate;
    double envelope = t < 0.01 ? t / 0.01 : std::exp(-(t - 0.01) * 6);
    out[i] = 0.8 * envelope * noise.next();
  }
  return out;
}

std::vector<double> decaying_chord(unsigned rate) {
  const double notes[] = {220.0, 277.18, 329.63, 440.0};
  std::vector<double> out(rate);
  for (std::size_t i = 0; i < out.size(); ++i) {
    double t = static_cast<double>(i) / rate;
    double sum = 0;
    for (double f : notes) sum += std::sin(2 * PI * f * t);
    out[i] = 0.25 * sum * std::exp(-t * 3);
  }
  return out;
}

std::vector<double> square_wave(unsigned rate) {
  std::vector<double> out(rate / 2);
  for (std::size_t i = 0; i < out.size(); ++i) {
    double phase = std::fmod(static_cast<double>(i) * 330.0 / rate, 1.0);
    out[i] = phase < 0.5 ? 0.5 : -0.5;
  }
  return out;
}

// A two-pole resonator at frequency with bandwidth, in Hz.
struct Resonator {
  double y1 = 0, y2 = 0;
  double run(double x, double frequency, double bandwidth, unsigned rate) {
    double r = std::exp(-PI * bandwidth / rate);
    double a1 = 2 * r * std::cos(2 * PI * frequency / rate);
    double a2 = -r * r;
    double y = (1 - r) * x + a1 * y1 + a2 * y2;
    y2 = y1;
    y1 = y;
    return y;
  }
};

std::vector<double> speech_like(unsigned rate) {
  // Vowels as their first two formants, a syllable each.
  const double formants[][2] = {
      {730, 1090}, {270, 2290}, {530, 1840}, {300, 870}, {660, 1720}};
  const double syllable = 0.3;
  std::vector<double> out(static_cast<std::size_t>(rate * 1.8));
  Resonator first, second;
  Noise breath = {777};
  double phase = 0;
  for (std::size_t i = 0; i < out.size(); ++i) {
    double t = static_cast<double>(i) / rate;
    std::size_t vowel = static_cast<std::size_t>(t / syllable) % 5;
    double within = std::fmod(t, syllable) / syllable;
    double pitch = 120 + 25 * std::sin(2 * PI * 0.7 * t) + 10 * within;
    phase += pitch / rate;
    double pulse = 0;
    if (phase >= 1) {
      phase -= 1;
      pulse = 1;
    }
    double excitation = pulse + 0.02 * breath.next();
    double f1 = formants[vowel][0], f2 = formants[vowel][1];
    double y = first.run(excitation, f1, 90, rate) +
               0.6 * second.run(excitation, f2, 120, rate);
    double envelope = std::sin(PI * within);
    out[i] = y * envelope * envelope;
  }
  return out;
}

}  // namespace

const std::vector<std::string> &test_signal_names() {
  static const std::vector<std::string> names = {"noise", "chord", "square",
                                                 "speech"};
  return names;
}

std::vector<double> test_signal(const std::string &name, unsigned rate) {
  if (name == "noise") return noise_burst(rate);
  if (name == "chord") return decaying_chord(rate);
  if (name == "square") return square_wave(rate);
  if (name == "speech") return speech_like(rate);
  return {};
}

std::vector<std::int16_t> levelled_12_bit(const std::vector<double> &signal) {
  double peak = 0;
  for (double x : signal) peak = std::max(peak, std::fabs(x));
  double gain = peak > 0 ? 2047 * std::pow(10.0, -1 / 20.0) / peak : 0;
  std::vector<std::int16_t> out(signal.size());
  for (std::size_t i = 0; i < signal.size(); ++i)
    out[i] = static_cast<std::int16_t>(std::lround(signal[i] * gain));
  return out;
}

double snr_db(const std::vector<std::int16_t> &target,
              const std::vector<std::int16_t> &decoded) {
  double power = 0, noise = 0;
  for (std::size_t i = 0; i < target.size(); ++i) {
    double x = target[i];
    double e = (i < decoded.size() ? decoded[i] : 0) - x;
    power += x * x;
    noise += e * e;
  }
  return 10 * std::log10(power / std::max(noise, 1e-9));
}
