// adpcm's command line.
#ifndef ADPACK_ADPCM_TOOL_OPTIONS_H
#define ADPACK_ADPCM_TOOL_OPTIONS_H

#include <string>
#include <vector>

#include "adpcm/encoder.h"

constexpr unsigned ADPCM_RATE_MIN = 1000;
constexpr unsigned ADPCM_RATE_MAX = 48000;

// The exit statuses.
constexpr int ADPCM_OK = 0;
constexpr int ADPCM_FAILED = 1;
constexpr int ADPCM_USAGE = 2;

enum AdpcmCommand { ADPCM_NO_COMMAND, ADPCM_ENCODE, ADPCM_DECODE };

struct AdpcmOptions {
  AdpcmCommand command = ADPCM_NO_COMMAND;
  std::vector<std::string> inputs;
  std::string output;     // -o, for one input
  std::string directory;  // -d
  unsigned rate = ADPCM_DEFAULT_RATE;
  AdpcmQuality quality = ADPCM_QUALITY_GOOD;
  bool force = false;
  bool keep_dc = false;
  bool settle = true;
  bool json = false;
  bool fixed_gain = false;  // --gain given: no normalising
  bool peak_given = false;
  double peak_db = -1;
  double gain_db = 0;
  bool help = false;
  bool version = false;
};

// Parses argv[1...]. Returns 0, or -1 with the reason in *error.
int parse_adpcm_options(int argc, char **argv, AdpcmOptions *options,
                        std::string *error);

extern const char ADPCM_HELP[];

#endif
