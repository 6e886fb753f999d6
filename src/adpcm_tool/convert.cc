#include "adpcm_tool/convert.h"

#include <cmath>
#include <vector>

#include "adpcm/adpcm.h"
#include "adpcm/encoder.h"
#include "adpcm_tool/level.h"
#include "adpcm_tool/output_file.h"
#include "adpcm_tool/sound_file.h"
#include "platform/platform.h"
#include "wav/wav.h"

namespace {

bool is_separator(char c) { return c == '/' || c == '\\'; }

std::size_t base_start(const std::string &name) {
  std::size_t at = name.size();
  while (at > 0 && !is_separator(name[at - 1])) --at;
  return at;
}

// Encodes the targets in pieces, so that progress can be told.
void encode_targets(const std::vector<std::int16_t> &target,
                    const AdpcmOptions &options, std::string *bytes,
                    const std::function<void(double)> &progress) {
  AdpcmEncoder encoder;
  AdpcmCodes codes;
  adpcm_encoder_start(&encoder, options.quality);
  std::vector<unsigned char> all;
  std::size_t piece = 16 * ADPCM_COMMIT_SAMPLES;
  for (std::size_t at = 0; at < target.size(); at += piece) {
    std::size_t count = std::min(piece, target.size() - at);
    adpcm_encode(&encoder, target.data() + at, count, &codes);
    all.insert(all.end(), codes.codes.begin(), codes.codes.end());
    codes.codes.clear();
    codes.signal.clear();
    if (progress)
      progress(0.5 + 0.5 * static_cast<double>(at + count) /
                         static_cast<double>(target.size()));
  }
  adpcm_encoder_finish(&encoder, options.settle, &codes);
  all.insert(all.end(), codes.codes.begin(), codes.codes.end());
  bytes->resize(all.size() / 2);
  adpcm_pack_codes(all.data(), all.size(),
                   reinterpret_cast<unsigned char *>(bytes->data()));
}

// What the chip will play, measured against what was asked for.
void measure(const std::string &bytes, const std::vector<std::int16_t> &target,
             EncodeReport *report) {
  const auto *coded = reinterpret_cast<const unsigned char *>(bytes.data());
  std::vector<std::int16_t> decoded(bytes.size() * ADPCM_SAMPLES_PER_BYTE);
  AdpcmState state = {0, 0};
  adpcm_decode(coded, bytes.size(), &state, decoded.data());
  AdpcmState counting = {0, 0};
  report->clamps = adpcm_count_clamps(coded, bytes.size(), &counting);
  report->end_level = decoded.empty() ? 0 : decoded.back();
  double power = 0, noise = 0;
  for (std::size_t i = 0; i < target.size(); ++i) {
    double error = static_cast<double>(decoded[i]) - target[i];
    power += static_cast<double>(target[i]) * target[i];
    noise += error * error;
  }
  // A perfect match still reports a figure: the error of half a step.
  report->snr_db =
      10 * std::log10(power / std::fmax(noise, 0.25 * static_cast<double>(
                                                          target.size())));
}

int read_whole(const std::string &name, std::string *bytes,
               std::string *error) {
  PlatformFile file;
  int opened = platform_open_regular(name.c_str(), &file);
  if (opened != 0) {
    *error = opened == -2   ? "is a directory"
             : opened == -3 ? "is not a regular file"
                            : "cannot open it: " + system_reason();
    return -1;
  }
  bytes->clear();
  char buffer[65536];
  for (;;) {
    std::ptrdiff_t n = platform_read(file, buffer, sizeof buffer);
    if (n < 0) {
      *error = "cannot read it: " + system_reason();
      platform_close(file);
      return -1;
    }
    if (n == 0) break;
    bytes->append(buffer, static_cast<std::size_t>(n));
  }
  platform_close(file);
  return 0;
}

}  // namespace

std::string output_name(const std::string &input, const AdpcmOptions &options,
                        const char *extension) {
  if (!options.output.empty()) return options.output;
  std::size_t base = base_start(input);
  std::string stem = input.substr(base);
  std::size_t dot = stem.rfind('.');
  if (dot != std::string::npos && dot > 0) stem.resize(dot);
  stem += extension;
  if (options.directory.empty()) return input.substr(0, base) + stem;
  std::string directory = options.directory;
  if (!is_separator(directory.back())) directory += '/';
  return directory + stem;
}

int encode_file(const std::string &input, const std::string &output,
                const AdpcmOptions &options, EncodeReport *report,
                std::string *error,
                const std::function<void(double)> &progress) {
  report->input = input;
  report->output = output;
  report->rate = options.rate;
  SoundInput sound;
  std::function<void(double)> reading;
  if (progress) reading = [&](double done) { progress(0.5 * done); };
  if (read_sound_file(input.c_str(), options.rate, &sound, error, reading) != 0)
    return -1;
  report->format = sound.format;
  report->encoding = sound.encoding;
  report->channels = sound.channels;
  report->input_rate = sound.rate;
  report->input_seconds = static_cast<double>(sound.frames) / sound.rate;
  LevelSettings settings;
  settings.keep_dc = options.keep_dc;
  settings.fixed_gain = options.fixed_gain;
  settings.peak_db = options.peak_db;
  settings.gain_db = options.gain_db;
  Levelled levelled;
  level_signal(&sound.signal, options.rate, settings, &levelled);
  std::vector<float>().swap(sound.signal);
  report->gain_db = levelled.gain_db;
  report->silent = levelled.silent;
  report->clipped = levelled.clipped;
  std::string bytes;
  encode_targets(levelled.target, options, &bytes, progress);
  report->bytes = bytes.size();
  report->samples = bytes.size() * ADPCM_SAMPLES_PER_BYTE;
  measure(bytes, levelled.target, report);
  return write_output_file(output, bytes, options.force, error);
}

int decode_file(const std::string &input, const std::string &output,
                const AdpcmOptions &options, std::string *error) {
  std::string coded;
  if (read_whole(input, &coded, error) != 0) return -1;
  if (!wav_fits(coded.size())) {
    *error = "is too long for a WAV file";
    return -1;
  }
  std::vector<std::int16_t> signal(coded.size() * ADPCM_SAMPLES_PER_BYTE);
  AdpcmState state = {0, 0};
  adpcm_decode(reinterpret_cast<const unsigned char *>(coded.data()),
               coded.size(), &state, signal.data());
  std::string bytes;
  wav_file_bytes(signal, options.rate, &bytes);
  return write_output_file(output, bytes, options.force, error);
}
