// pdxdump's command line: options before or after the bank's name, "--"
// ending them, short options that may be grouped.
#ifndef ADPACK_PDXDUMP_OPTIONS_H
#define ADPACK_PDXDUMP_OPTIONS_H

#include <string>

// The rates --rate takes, in Hz.
constexpr unsigned DUMP_RATE_MIN = 1000;
constexpr unsigned DUMP_RATE_MAX = 48000;

struct DumpOptions {
  bool all;                 // -a, --all
  bool json;                // -j, --json
  bool help;                // -h, --help
  bool version;             // -V, --version
  bool wav;                 // --wav: a WAV file beside each extracted sample
  bool list;                // --list: the operand is a list to check
  const char *extract_dir;  // -x DIR, --extract DIR, --extract=DIR, or null
  const char *html;         // --html FILE, --html=FILE ("-": standard
                            // output), or null
  unsigned rate;            // --rate HZ, or the chip's default
  const char *bank;         // the one operand, or null with help or version
};

// Returns 0, or -1 with the reason in *error (one line, no line feed).
int parse_options(int argc, char **argv, DumpOptions *options,
                  std::string *error);

#endif
