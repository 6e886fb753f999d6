// pdxdump's command line: options before or after the bank's name, "--"
// ending them, short options that may be grouped.
#ifndef ADPACK_DUMP_OPTIONS_H
#define ADPACK_DUMP_OPTIONS_H

#include <string>

struct DumpOptions {
  bool all;                 // -a, --all
  bool json;                // -j, --json
  bool help;                // -h, --help
  bool version;             // -V, --version
  const char *extract_dir;  // -x DIR, --extract DIR, --extract=DIR, or null
  const char *bank;         // the one operand, or null with help or version
};

// Returns 0, or -1 with the reason in *error (one line, no line feed).
int parse_options(int argc, char **argv, DumpOptions *options,
                  std::string *error);

#endif
