#include "adpcm_tool/options.h"

#include <cstdlib>
#include <cstring>

namespace {

// Plain decimal digits only.
bool parse_rate(const char *text, unsigned *rate) {
  unsigned long value = 0;
  const char *p = text;
  for (; *p >= '0' && *p <= '9' && value <= ADPCM_RATE_MAX; ++p)
    value = value * 10 + static_cast<unsigned long>(*p - '0');
  if (p == text || *p != '\0' || value < ADPCM_RATE_MIN ||
      value > ADPCM_RATE_MAX)
    return false;
  *rate = static_cast<unsigned>(value);
  return true;
}

// A decimal number such as -1, 3 or -0.5 from low to high; no exponent, no
// spaces, nothing after it.
bool parse_decibels(const char *text, double low, double high, double *value) {
  const char *p = text;
  if (*p == '+' || *p == '-') ++p;
  bool digits = false;
  while ((*p >= '0' && *p <= '9') || *p == '.') digits |= *p++ != '.';
  if (!digits || *p != '\0') return false;
  char *end = nullptr;
  double parsed = std::strtod(text, &end);
  if (*end != '\0' || parsed < low || parsed > high) return false;
  *value = parsed;
  return true;
}

bool parse_quality(const char *text, AdpcmQuality *quality) {
  if (std::strcmp(text, "fast") == 0)
    *quality = ADPCM_QUALITY_FAST;
  else if (std::strcmp(text, "good") == 0)
    *quality = ADPCM_QUALITY_GOOD;
  else if (std::strcmp(text, "best") == 0)
    *quality = ADPCM_QUALITY_BEST;
  else
    return false;
  return true;
}

// An option that takes a value: its value, from "--name=value" or the next
// argument.
int take_value(const char *name, const char *attached, int argc, char **argv,
               int *next, const char **value, std::string *error) {
  if (attached) {
    *value = attached;
    return 0;
  }
  if (*next >= argc) {
    *error = std::string(name) + " needs a value";
    return -1;
  }
  *value = argv[(*next)++];
  return 0;
}

int apply(const std::string &name, const char *value, AdpcmOptions *options,
          std::string *error) {
  bool encode_only =
      name != "--rate" && name != "-o" && name != "-d" && name != "--force";
  if (encode_only && options->command != ADPCM_ENCODE) {
    *error = name + " is an option of adpcm encode";
    return -1;
  }
  if (name == "--rate") {
    if (parse_rate(value, &options->rate)) return 0;
    *error = "--rate takes a whole number of Hz from " +
             std::to_string(ADPCM_RATE_MIN) + " to " +
             std::to_string(ADPCM_RATE_MAX) + ", not '" + value + "'";
  } else if (name == "--quality") {
    if (parse_quality(value, &options->quality)) return 0;
    *error =
        std::string("--quality is fast, good or best, not '") + value + "'";
  } else if (name == "--peak") {
    if (parse_decibels(value, -60, 0, &options->peak_db)) {
      options->peak_given = true;
      return 0;
    }
    *error =
        std::string("--peak takes decibels from -60 to 0, not '") + value + "'";
  } else if (name == "--gain") {
    if (parse_decibels(value, -60, 60, &options->gain_db)) {
      options->fixed_gain = true;
      return 0;
    }
    *error = std::string("--gain takes decibels from -60 to 60, not '") +
             value + "'";
  } else if (name == "-o") {
    // "-" would be read as the standard output, which adpcm never writes.
    if (*value != '\0' && std::string(value) != "-") {
      options->output = value;
      return 0;
    }
    *error = "-o needs a file name (adpcm writes files, not the standard "
             "output)";
  } else if (name == "-d") {
    if (*value != '\0') {
      options->directory = value;
      return 0;
    }
    *error = "-d needs a directory";
  }
  return -1;
}

bool *flag_named(const std::string &name, AdpcmOptions *options) {
  if (name == "--force" || name == "-f") return &options->force;
  if (name == "--keep-dc") return &options->keep_dc;
  if (name == "--json") return &options->json;
  if (name == "--help" || name == "-h") return &options->help;
  if (name == "--version" || name == "-V") return &options->version;
  return nullptr;
}

bool takes_value(const std::string &name) {
  return name == "--rate" || name == "--quality" || name == "--peak" ||
         name == "--gain" || name == "-o" || name == "-d";
}

}  // namespace

int parse_adpcm_options(int argc, char **argv, AdpcmOptions *options,
                        std::string *error) {
  int next = 1;
  bool options_end = false;
  while (next < argc) {
    const char *argument = argv[next++];
    if (options_end || argument[0] != '-' || argument[1] == '\0') {
      if (options->command == ADPCM_NO_COMMAND) {
        if (std::strcmp(argument, "encode") == 0) {
          options->command = ADPCM_ENCODE;
        } else if (std::strcmp(argument, "decode") == 0) {
          options->command = ADPCM_DECODE;
        } else {
          *error = std::string("no command '") + argument +
                   "': adpcm encode or adpcm decode";
          return -1;
        }
      } else {
        options->inputs.push_back(argument);
      }
      continue;
    }
    if (std::strcmp(argument, "--") == 0) {
      options_end = true;
      continue;
    }
    std::string name = argument;
    const char *attached = nullptr;
    std::size_t equals = name.find('=');
    if (name.compare(0, 2, "--") == 0 && equals != std::string::npos) {
      attached = argument + equals + 1;
      name.resize(equals);
    }
    if (name == "--no-settle") {
      if (options->command != ADPCM_ENCODE) {
        *error = "--no-settle is an option of adpcm encode";
        return -1;
      }
      options->settle = false;
      continue;
    }
    if (bool *flag = flag_named(name, options)) {
      if (attached) {
        *error = name + " takes no value";
        return -1;
      }
      if (flag == &options->keep_dc && options->command != ADPCM_ENCODE) {
        *error = "--keep-dc is an option of adpcm encode";
        return -1;
      }
      *flag = true;
      continue;
    }
    if (!takes_value(name)) {
      *error = "unknown option '" + name + "'";
      return -1;
    }
    const char *value = nullptr;
    if (take_value(name.c_str(), attached, argc, argv, &next, &value, error) !=
            0 ||
        apply(name, value, options, error) != 0)
      return -1;
  }
  if (options->help || options->version) return 0;
  if (options->command == ADPCM_NO_COMMAND) {
    *error = "no command: adpcm encode or adpcm decode";
    return -1;
  }
  if (options->inputs.empty()) {
    *error = "no input file";
    return -1;
  }
  if (!options->output.empty() && options->inputs.size() > 1) {
    *error = "-o names the output of one input, not of " +
             std::to_string(options->inputs.size());
    return -1;
  }
  if (!options->output.empty() && !options->directory.empty()) {
    *error = "-o and -d cannot both be given";
    return -1;
  }
  // One sets the level the other would normalise to: neither may win
  // unseen.
  if (options->fixed_gain && options->peak_given) {
    *error = "--gain and --peak cannot both be given";
    return -1;
  }
  return 0;
}

const char ADPCM_HELP[] =
    "Usage: adpcm encode [OPTIONS] IN...\n"
    "       adpcm decode [--rate HZ] IN.pcm...\n"
    "\n"
    "encode turns each sound file IN into the chip's 4-bit ADPCM, written\n"
    "beside it as IN with the extension .pcm; decode turns each IN.pcm back\n"
    "into a 16-bit WAV file, IN.wav.\n"
    "\n"
    "  -o OUT          write the one input's output to OUT\n"
    "  -d DIR          write every output into DIR\n"
    "  -f, --force     replace output files that exist\n"
    "  --rate HZ       the playback rate, 1000 to 48000 (default 15625; the\n"
    "                  chip's others are 10417, 7813, 5208 and 3906)\n"
    "  --quality Q     encode: fast, good (default) or best\n"
    "  --peak DB       encode: normalise the peak to DB dBFS (default -1)\n"
    "  --gain DB       encode: a fixed gain instead of normalising\n"
    "  --keep-dc       encode: keep the DC offset (no 10 Hz high-pass)\n"
    "  --no-settle     encode: no codes after the end to bring it back to 0\n"
    "  --json          encode: one JSON object per file on standard output\n"
    "  -h, --help      show this help\n"
    "  -V, --version   show the version\n"
    "\n"
    "Exit status: 0 when every file was made, 1 when some input failed,\n"
    "2 for a usage error.\n";
