#include "adpcm_tool/sound_file.h"

#include <samplerate.h>
#include <sndfile.h>

#include <cmath>

namespace {

constexpr sf_count_t BLOCK_FRAMES = 8192;

std::string format_name(int format) {
  SF_FORMAT_INFO info = {};
  info.format = format;
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) != 0 ||
      !info.name)
    return "unknown";
  return info.name;
}

// Feeds the converter one block at a time, so that the input's full rate is
// never held whole.
struct Converter {
  SRC_STATE *state = nullptr;
  double ratio = 1;
  std::vector<float> out_block;
  ~Converter() {
    if (state) src_delete(state);
  }
  int start(unsigned in, unsigned out, std::string *error) {
    // The converter's own limit, said in the musician's terms.
    if (out > 256.0 * in || in > 256.0 * out) {
      *error = "cannot resample " + std::to_string(in) + " Hz to " +
               std::to_string(out) + " Hz: the rates may differ 256 times " +
               "at most";
      return -1;
    }
    int code = 0;
    state = src_new(SRC_SINC_BEST_QUALITY, 1, &code);
    if (!state) {
      *error = std::string("cannot start resampling: ") + src_strerror(code);
      return -1;
    }
    ratio = static_cast<double>(out) / in;
    return 0;
  }
  int run(const float *in, std::size_t count, bool last,
          std::vector<float> *converted, std::string *error) {
    out_block.resize(
        static_cast<std::size_t>(static_cast<double>(count) * ratio + 4096));
    for (;;) {
      SRC_DATA data = {};
      data.data_in = in;
      data.input_frames = static_cast<long>(count);
      data.data_out = out_block.data();
      data.output_frames = static_cast<long>(out_block.size());
      data.end_of_input = last ? 1 : 0;
      data.src_ratio = ratio;
      int code = src_process(state, &data);
      if (code != 0) {
        *error = std::string("cannot resample: ") + src_strerror(code);
        return -1;
      }
      converted->insert(converted->end(), out_block.data(),
                        out_block.data() + data.output_frames_gen);
      in += data.input_frames_used;
      count -= static_cast<std::size_t>(data.input_frames_used);
      if (count == 0 && (!last || data.output_frames_gen == 0)) return 0;
    }
  }
};

// The converter's count may differ from the input's length at the new rate
// by a sample or so at the end: the last HELD samples wait until the length
// is known, so that the output can be made exactly that long.
constexpr std::size_t HELD = 1024;

// Hands sink all of pending but the last keep samples.
int pass_on(std::vector<float> *pending, std::size_t keep,
            std::uint64_t *passed, const SoundSink &sink, std::string *error) {
  if (pending->size() <= keep) return 0;
  std::size_t count = pending->size() - keep;
  if (sink(pending->data(), count, error) != 0) return -1;
  *passed += count;
  pending->erase(pending->begin(),
                 pending->begin() + static_cast<std::ptrdiff_t>(count));
  return 0;
}

}  // namespace

int read_sound_file(const char *name, unsigned rate, SoundInput *sound,
                    const SoundSink &sink, std::string *error,
                    const std::function<void(double)> &progress) {
  SF_INFO info = {};
  SNDFILE *file = sf_open(name, SFM_READ, &info);
  if (!file) {
    *error =
        std::string("cannot read it as sound (") + sf_strerror(nullptr) + ")";
    return -1;
  }
  sound->format = format_name(info.format & SF_FORMAT_TYPEMASK);
  // The major format's name runs on ("WAV (Microsoft)"): its first word.
  sound->format = sound->format.substr(0, sound->format.find(' '));
  sound->encoding = format_name(info.format & SF_FORMAT_SUBMASK);
  sound->channels = info.channels;
  sound->rate = static_cast<unsigned>(info.samplerate);
  sound->frames = info.frames > 0 ? static_cast<std::uint64_t>(info.frames) : 0;
  if (info.channels < 1 || info.samplerate < 1) {
    sf_close(file);
    *error = "cannot read it as sound (no channels or no rate)";
    return -1;
  }
  bool convert = sound->rate != rate;
  Converter converter;
  if (convert && converter.start(sound->rate, rate, error) != 0) {
    sf_close(file);
    return -1;
  }
  auto channels = static_cast<std::size_t>(info.channels);
  std::vector<double> frames(static_cast<std::size_t>(BLOCK_FRAMES) * channels);
  std::vector<float> mono;
  std::vector<float> pending;
  std::uint64_t read_frames = 0, passed = 0;
  for (;;) {
    sf_count_t got = sf_readf_double(file, frames.data(), BLOCK_FRAMES);
    if (got < 0) got = 0;
    mono.resize(static_cast<std::size_t>(got));
    for (std::size_t i = 0; i < mono.size(); ++i) {
      double sum = 0;
      for (std::size_t c = 0; c < channels; ++c)
        sum += frames[i * channels + c];
      double value = sum / static_cast<double>(channels);
      // A float file may hold what is no sound: infinity clips, NaN is
      // silence, so that the level and the report stay numbers.
      if (std::isnan(value)) value = 0;
      if (std::isinf(value)) value = value > 0 ? 1 : -1;
      mono[i] = static_cast<float>(value);
    }
    read_frames += static_cast<std::uint64_t>(got);
    bool last = got < BLOCK_FRAMES;
    int failed = 0;
    if (!convert) {
      failed = sink(mono.data(), mono.size(), error);
      passed += mono.size();
    } else {
      failed = converter.run(mono.data(), mono.size(), last, &pending, error);
      if (failed == 0) failed = pass_on(&pending, HELD, &passed, sink, error);
    }
    if (failed != 0) {
      sf_close(file);
      return -1;
    }
    if (progress && sound->frames > 0)
      progress(static_cast<double>(read_frames) /
               static_cast<double>(sound->frames));
    if (last) break;
  }
  int failed = sf_error(file);
  std::string reason = failed ? sf_strerror(file) : "";
  sf_close(file);
  if (failed) {
    *error = "cannot read it to the end (" + reason + ")";
    return -1;
  }
  sound->frames = read_frames;
  if (!convert) return 0;
  auto wanted = static_cast<std::uint64_t>(
      std::llround(static_cast<double>(read_frames) * rate / sound->rate));
  // Held back, the samples past the length cannot have been passed on.
  if (wanted < passed) wanted = passed;
  pending.resize(static_cast<std::size_t>(wanted - passed), 0.0f);
  return pass_on(&pending, 0, &passed, sink, error);
}
