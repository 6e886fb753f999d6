// Sound files in: whatever libsndfile reads, mixed to mono and brought to
// the output rate by libsamplerate. The only unit that includes either
// library's header.
#ifndef ADPACK_ADPCM_TOOL_SOUND_FILE_H
#define ADPACK_ADPCM_TOOL_SOUND_FILE_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct SoundInput {
  std::string format;    // "WAV", "FLAC"...
  std::string encoding;  // "Signed 16 bit PCM"...
  int channels = 0;
  unsigned rate = 0;
  std::uint64_t frames = 0;
  // Mono, from -1 to 1 (or beyond, for floating-point input), at the rate
  // asked for.
  std::vector<float> signal;
};

// Reads name and converts it to mono at rate; progress, when set, is told
// the fraction read from time to time. Returns 0, or -1 with the reason in
// *error.
int read_sound_file(const char *name, unsigned rate, SoundInput *sound,
                    std::string *error,
                    const std::function<void(double)> &progress = {});

// Converts mono signal from rate in to rate out with the libraries' best
// converter: round(size * out / in) samples.
int resample(const std::vector<float> &signal, unsigned in, unsigned out,
             std::vector<float> *converted, std::string *error);

#endif
