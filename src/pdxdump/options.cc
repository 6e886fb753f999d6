#include "pdxdump/options.h"

#include <cstring>

#include "adpcm/adpcm.h"
#include "pdxdump/ascii.h"

namespace {

int set_html(const char *file, DumpOptions *options, std::string *error) {
  if (options->html) {
    *error = "--html given twice";
    return -1;
  }
  if (*file == '\0') {
    *error = "--html needs a file";
    return -1;
  }
  options->html = file;
  return 0;
}

// Plain decimal digits only: "+8000", " 8000" or "8e3" are refused.
int set_rate(const char *text, DumpOptions *options, std::string *error) {
  unsigned long value = 0;
  const char *p = text;
  for (; *p >= '0' && *p <= '9' && value <= DUMP_RATE_MAX; ++p)
    value = value * 10 + static_cast<unsigned long>(*p - '0');
  if (p == text || *p != '\0' || value < DUMP_RATE_MIN ||
      value > DUMP_RATE_MAX) {
    *error = "--rate takes a whole number of Hz from " +
             std::to_string(DUMP_RATE_MIN) + " to " +
             std::to_string(DUMP_RATE_MAX) + ", not '" + printable_name(text) +
             "'";
    return -1;
  }
  options->rate = static_cast<unsigned>(value);
  return 0;
}

int set_extract_dir(const char *dir, DumpOptions *options, std::string *error) {
  if (options->extract_dir) {
    *error = "--extract given twice";
    return -1;
  }
  if (*dir == '\0') {
    *error = "--extract needs a directory";
    return -1;
  }
  options->extract_dir = dir;
  return 0;
}

bool *flag_named(const char *name, DumpOptions *options) {
  if (std::strcmp(name, "all") == 0) return &options->all;
  if (std::strcmp(name, "json") == 0) return &options->json;
  if (std::strcmp(name, "help") == 0) return &options->help;
  if (std::strcmp(name, "version") == 0) return &options->version;
  if (std::strcmp(name, "wav") == 0) return &options->wav;
  if (std::strcmp(name, "list") == 0) return &options->list;
  return nullptr;
}

bool *flag_lettered(char letter, DumpOptions *options) {
  switch (letter) {
    case 'a':
      return &options->all;
    case 'j':
      return &options->json;
    case 'h':
      return &options->help;
    case 'V':
      return &options->version;
  }
  return nullptr;
}

// argument is "--name" or "--name=value"; *next is the index of the
// argument after it, moved on when the option takes that one as its value.
int parse_long(const char *argument, int argc, char **argv, int *next,
               DumpOptions *options, std::string *error) {
  std::string name = argument + 2;
  const char *value = nullptr;
  std::size_t equals = name.find('=');
  if (equals != std::string::npos) {
    value = argument + 2 + equals + 1;
    name.erase(equals);
  }
  struct {
    const char *name;
    const char *needs;
    int (*set)(const char *, DumpOptions *, std::string *);
  } const valued[] = {
      {"extract", "a directory", set_extract_dir},
      {"html", "a file", set_html},
      {"rate", "a rate in Hz", set_rate},
  };
  for (const auto &option : valued) {
    if (name != option.name) continue;
    if (!value) {
      if (*next >= argc) {
        *error = "--" + name + " needs " + option.needs;
        return -1;
      }
      value = argv[(*next)++];
    }
    return option.set(value, options, error);
  }
  bool *flag = flag_named(name.c_str(), options);
  if (!flag) {
    *error = "unknown option '--" + printable_name(name) + "'";
    return -1;
  }
  if (value) {
    *error = "option '--" + printable_name(name) + "' takes no value";
    return -1;
  }
  *flag = true;
  return 0;
}

int parse_short(const char *argument, int argc, char **argv, int *next,
                DumpOptions *options, std::string *error) {
  for (const char *p = argument + 1; *p; ++p) {
    if (*p == 'x') {
      if (p[1] != '\0') return set_extract_dir(p + 1, options, error);
      if (*next >= argc) {
        *error = "-x needs a directory";
        return -1;
      }
      return set_extract_dir(argv[(*next)++], options, error);
    }
    bool *flag = flag_lettered(*p, options);
    if (!flag) {
      *error = "unknown option '-" + printable_name(std::string(1, *p)) + "'";
      return -1;
    }
    *flag = true;
  }
  return 0;
}

int add_operand(const char *argument, DumpOptions *options,
                std::string *error) {
  if (options->bank) {
    *error = "one bank at a time: '" + printable_name(options->bank) +
             "' and '" + printable_name(argument) + "' given";
    return -1;
  }
  options->bank = argument;
  return 0;
}

}  // namespace

int parse_options(int argc, char **argv, DumpOptions *options,
                  std::string *error) {
  *options = DumpOptions{};
  options->rate = ADPCM_DEFAULT_RATE;
  bool options_ended = false;
  int next = 1;
  while (next < argc) {
    const char *argument = argv[next++];
    int result;
    if (options_ended || argument[0] != '-' || argument[1] == '\0') {
      result = add_operand(argument, options, error);
    } else if (std::strcmp(argument, "--") == 0) {
      options_ended = true;
      result = 0;
    } else if (argument[1] == '-') {
      result = parse_long(argument, argc, argv, &next, options, error);
    } else {
      result = parse_short(argument, argc, argv, &next, options, error);
    }
    if (result != 0) return -1;
  }
  if (!options->bank && !options->help && !options->version) {
    *error = "no bank given";
    return -1;
  }
  if (options->help || options->version) return 0;
  if (options->list &&
      (options->extract_dir || options->html || options->all || options->wav)) {
    *error = "--list takes only --json and --rate";
    return -1;
  }
  if (options->wav && !options->extract_dir) {
    *error = "--wav needs --extract";
    return -1;
  }
  if (options->json && options->html && std::strcmp(options->html, "-") == 0) {
    *error = "--json and --html - both want the standard output";
    return -1;
  }
  return 0;
}
