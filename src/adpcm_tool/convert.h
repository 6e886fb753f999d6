// One input made into one output: a sound file encoded, or a sample
// decoded to WAV.
#ifndef ADPACK_ADPCM_TOOL_CONVERT_H
#define ADPACK_ADPCM_TOOL_CONVERT_H

#include <cstdint>
#include <functional>
#include <string>

#include "adpcm_tool/options.h"

// What encoding one file found and did, for the report.
struct EncodeReport {
  std::string input, output;
  std::string format, encoding;
  int channels = 0;
  unsigned input_rate = 0;
  double input_seconds = 0;
  unsigned rate = 0;
  std::uint64_t samples = 0;  // decoded samples the output holds
  std::uint64_t bytes = 0;
  double gain_db = 0;
  bool silent = false;
  double snr_db = 0;  // of the decoded sample against the levelled input
  std::uint64_t clamps = 0;
  std::uint64_t clipped = 0;
  int end_level = 0;
};

// The output name of input: -o, or input in -d or beside it with its
// extension replaced by extension (".pcm").
std::string output_name(const std::string &input, const AdpcmOptions &options,
                        const char *extension);

// Encodes input into output. Returns 0, or -1 with the reason in *error.
// progress, when set, hears the fraction done.
int encode_file(const std::string &input, const std::string &output,
                const AdpcmOptions &options, EncodeReport *report,
                std::string *error,
                const std::function<void(double)> &progress);

// Decodes the sample input into the WAV file output.
int decode_file(const std::string &input, const std::string &output,
                const AdpcmOptions &options, std::string *error);

#endif
