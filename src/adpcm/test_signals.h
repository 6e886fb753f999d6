// Sounds the tests and the benchmarks make for themselves, each a few
// seconds or less, and the measure they are judged by.
#ifndef ADPACK_ADPCM_TEST_SIGNALS_H
#define ADPACK_ADPCM_TEST_SIGNALS_H

#include <cstdint>
#include <string>
#include <vector>

// The names test_signal knows: "noise" (a seeded noise burst), "chord" (a
// decaying chord), "square" (a square wave), "speech" (a pulse train through
// two moving formant filters, in syllables).
const std::vector<std::string> &test_signal_names();

// The signal name at rate, from -1 to 1; empty for an unknown name.
std::vector<double> test_signal(const std::string &name, unsigned rate);

// signal scaled so that its peak stands at -1 dBFS of the 12-bit range.
std::vector<std::int16_t> levelled_12_bit(const std::vector<double> &signal);

// The ratio of the target's power to the power of decoded - target, in dB,
// over the target's length.
double snr_db(const std::vector<std::int16_t> &target,
              const std::vector<std::int16_t> &decoded);

#endif
