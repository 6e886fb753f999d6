#include "adpcm_tool/convert.h"

#include <cmath>
#include <new>
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

// The encoder's codes on their way to the file, measured as they go: what
// the chip will play of the bytes written against the targets.
struct Encoding {
  AdpcmEncoder encoder;
  AdpcmCodes codes;
  OutputFile *output = nullptr;
  // Targets whose decoded sample has not come yet: from targets[matched]
  // on. The encoder holds back at most a commit's worth.
  std::vector<std::int16_t> targets;
  std::size_t matched = 0;
  bool odd = false;  // a code waits for its partner in a byte
  unsigned char odd_code = 0;
  AdpcmState playing = {0, 0};
  AdpcmState counting = {0, 0};
  std::string bytes;
  std::vector<std::int16_t> decoded;
  double power = 0, noise = 0;
  std::uint64_t compared = 0;
  std::uint64_t written = 0;
  std::uint64_t clamps = 0;
  int end_level = 0;
};

// Packs, measures and writes whatever codes the encoder has given out.
int take_codes(Encoding *encoding, std::string *error) {
  const std::vector<unsigned char> &codes = encoding->codes.codes;
  std::string &bytes = encoding->bytes;
  bytes.clear();
  std::size_t at = 0;
  if (encoding->odd && !codes.empty()) {
    bytes += static_cast<char>(encoding->odd_code | (codes[0] << 4));
    encoding->odd = false;
    at = 1;
  }
  for (; at + 1 < codes.size(); at += 2)
    bytes += static_cast<char>(codes[at] | (codes[at + 1] << 4));
  if (at < codes.size()) {
    encoding->odd = true;
    encoding->odd_code = codes[at];
  }
  encoding->codes.codes.clear();
  encoding->codes.signal.clear();
  if (bytes.empty()) return 0;
  const auto *coded = reinterpret_cast<const unsigned char *>(bytes.data());
  encoding->decoded.resize(bytes.size() * ADPCM_SAMPLES_PER_BYTE);
  adpcm_decode(coded, bytes.size(), &encoding->playing,
               encoding->decoded.data());
  encoding->clamps +=
      adpcm_count_clamps(coded, bytes.size(), &encoding->counting);
  encoding->end_level = encoding->decoded.back();
  std::vector<std::int16_t> &targets = encoding->targets;
  for (std::int16_t played : encoding->decoded) {
    // Past the targets, the codes that settle the end: not compared.
    if (encoding->matched == targets.size()) break;
    double target = targets[encoding->matched++];
    double difference = played - target;
    encoding->power += target * target;
    encoding->noise += difference * difference;
    ++encoding->compared;
  }
  targets.erase(targets.begin(), targets.begin() + static_cast<std::ptrdiff_t>(
                                                       encoding->matched));
  encoding->matched = 0;
  encoding->written += bytes.size();
  return output_add(encoding->output, bytes.data(), bytes.size(), error);
}

int encode_targets(Encoding *encoding, const std::int16_t *targets,
                   std::size_t count, std::string *error) {
  encoding->targets.insert(encoding->targets.end(), targets, targets + count);
  adpcm_encode(&encoding->encoder, targets, count, &encoding->codes);
  return take_codes(encoding, error);
}

void report_encoding(const Encoding &encoding, EncodeReport *report) {
  report->bytes = encoding.written;
  report->samples = encoding.written * ADPCM_SAMPLES_PER_BYTE;
  report->clamps = encoding.clamps;
  report->end_level = encoding.end_level;
  // A perfect match still reports a figure: the error of half a step.
  report->snr_db =
      10 * std::log10(encoding.power /
                      std::fmax(encoding.noise,
                                0.25 * static_cast<double>(encoding.compared)));
}

// The progress of one pass of passes over the input.
std::function<void(double)> pass_progress(
    const std::function<void(double)> &progress, int pass, int passes) {
  if (!progress) return {};
  return [&progress, pass, passes](double done) {
    progress((pass + done) / passes);
  };
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
  LevelSettings settings;
  settings.peak_db = options.peak_db;
  SoundInput sound;
  Leveller leveller;
  std::vector<float> block;
  int passes = options.fixed_gain ? 1 : 2;
  // Normalising needs the peak before the first target: a pass of its own.
  double gain_db = options.gain_db;
  bool silent = false;
  if (!options.fixed_gain) {
    leveller_start(&leveller, options.rate, options.keep_dc);
    auto peak = [&](const float *samples, std::size_t count, std::string *) {
      block.assign(samples, samples + count);
      leveller_filter(&leveller, block.data(), count);
      return 0;
    };
    if (read_sound_file(input.c_str(), options.rate, &sound, peak, error,
                        pass_progress(progress, 0, passes)) != 0)
      return -1;
    gain_db = normalising_gain_db(settings, leveller.peak, &silent);
  }
  leveller_start(&leveller, options.rate, options.keep_dc);
  leveller_set_gain(&leveller, gain_db, silent);
  OutputFile file;
  if (output_start(&file, output, error) != 0) return -1;
  Encoding encoding;
  encoding.output = &file;
  std::vector<std::int16_t> targets;
  auto encode = [&](const float *samples, std::size_t count,
                    std::string *failure) {
    try {
      block.assign(samples, samples + count);
      leveller_filter(&leveller, block.data(), count);
      targets.resize(count);
      leveller_targets(&leveller, block.data(), count, targets.data());
      return encode_targets(&encoding, targets.data(), count, failure);
    } catch (const std::bad_alloc &) {
      *failure = "not enough memory";
      return -1;
    }
  };
  try {
    adpcm_encoder_start(&encoding.encoder, options.quality);
    if (read_sound_file(input.c_str(), options.rate, &sound, encode, error,
                        pass_progress(progress, passes - 1, passes)) != 0) {
      output_abandon(&file);
      return -1;
    }
    adpcm_encoder_finish(&encoding.encoder, options.settle, &encoding.codes);
    if (take_codes(&encoding, error) != 0) {
      output_abandon(&file);
      return -1;
    }
  } catch (...) {
    output_abandon(&file);
    throw;
  }
  report->format = sound.format;
  report->encoding = sound.encoding;
  report->channels = sound.channels;
  report->input_rate = sound.rate;
  report->input_seconds = static_cast<double>(sound.frames) / sound.rate;
  report->gain_db = gain_db;
  report->silent = options.fixed_gain ? !leveller.sounding : silent;
  report->clipped = leveller.clipped;
  report_encoding(encoding, report);
  return output_finish(&file, options.force, error);
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
