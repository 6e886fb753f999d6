// Sound files in: whatever libsndfile reads, mixed to mono and brought to
// the output rate by libsamplerate. The only unit that includes either
// library's header.
#ifndef ADPACK_ADPCM_TOOL_SOUND_FILE_H
#define ADPACK_ADPCM_TOOL_SOUND_FILE_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

struct SoundInput {
  std::string format;    // "WAV", "FLAC"...
  std::string encoding;  // "Signed 16 bit PCM"...
  int channels = 0;
  unsigned rate = 0;
  std::uint64_t frames = 0;
};

// Takes the signal as it is read, a block at a time: mono, from -1 to 1 (or
// beyond, for floating-point input), at the rate asked for. Returns 0, or
// -1 with the reason in *error to stop the reading.
using SoundSink = std::function<int(const float *samples, std::size_t count,
                                    std::string *error)>;

// Reads name, converts it to mono at rate and hands it to sink block by
// block, so that no more than a block is ever held; progress, when set, is
// told the fraction read from time to time. Returns 0, or -1 with the
// reason in *error.
int read_sound_file(const char *name, unsigned rate, SoundInput *sound,
                    const SoundSink &sink, std::string *error,
                    const std::function<void(double)> &progress = {});

#endif
