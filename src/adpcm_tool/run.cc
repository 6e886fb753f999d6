#include "adpcm_tool/run.h"

#include <chrono>
#include <cstdio>
#include <new>
#include <string>

#include "adpcm_tool/convert.h"
#include "adpcm_tool/options.h"
#include "adpcm_tool/output_file.h"
#include "adpcm_tool/report.h"
#include "platform/platform.h"

namespace {

void print(PlatformStdHandle which, const std::string &text) {
  std::size_t done = 0;
  PlatformFile file = platform_std_handle(which);
  while (done < text.size()) {
    std::ptrdiff_t n =
        platform_write(file, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

void complain(const std::string &text) {
  print(PLATFORM_STDERR, "adpcm: " + text + "\n");
}

// A bar on a terminal, shown only once a file has taken a second.
struct Progress {
  bool terminal = platform_is_char_device(platform_std_handle(PLATFORM_STDERR));
  std::chrono::steady_clock::time_point start =
      std::chrono::steady_clock::now();
  bool shown = false;
  int last_percent = -1;
  std::string name;

  void update(double done) {
    if (!terminal) return;
    if (!shown &&
        std::chrono::steady_clock::now() - start < std::chrono::seconds(1))
      return;
    int percent = static_cast<int>(done * 100);
    if (percent == last_percent) return;
    last_percent = percent;
    shown = true;
    std::string bar(static_cast<std::size_t>(percent / 5), '#');
    bar.resize(20, '.');
    char text[32];
    std::snprintf(text, sizeof text, "] %3d%%", percent);
    print(PLATFORM_STDERR, "\r" + name + " [" + bar + text);
  }
  void clear() {
    if (shown) print(PLATFORM_STDERR, "\r\033[K");
  }
};

// Whether output may be made from input: never over the input, and over
// another file only with --force; says why not.
bool output_may_be_written(const std::string &input, const std::string &output,
                           const AdpcmOptions &options) {
  if (platform_same_file(input.c_str(), output.c_str())) {
    complain(input + ": the output " + output + " would replace the input");
    return false;
  }
  if (!options.force && output_exists(output)) {
    complain(input + ": " + output + " exists (--force replaces it)");
    return false;
  }
  return true;
}

int encode_one(const std::string &input, const AdpcmOptions &options) {
  std::string output = output_name(input, options, ".pcm");
  if (!output_may_be_written(input, output, options)) return -1;
  Progress progress;
  progress.name = input;
  EncodeReport report;
  std::string error;
  int result = encode_file(input, output, options, &report, &error,
                           [&](double done) { progress.update(done); });
  progress.clear();
  if (result != 0) {
    complain(input + ": " + error);
    return -1;
  }
  std::string line = report_line(report);
  if (options.json) {
    print(PLATFORM_STDOUT, report_json(report));
    // The warnings still reach a person.
    line = line.substr(line.find('\n') + 1);
  }
  print(PLATFORM_STDERR, line);
  return 0;
}

int decode_one(const std::string &input, const AdpcmOptions &options) {
  std::string output = output_name(input, options, ".wav");
  if (!output_may_be_written(input, output, options)) return -1;
  std::string error;
  if (decode_file(input, output, options, &error) != 0) {
    complain(input + ": " + error);
    return -1;
  }
  return 0;
}

int run(int argc, char **argv) {
  AdpcmOptions options;
  std::string error;
  if (parse_adpcm_options(argc, argv, &options, &error) != 0) {
    complain(error);
    print(PLATFORM_STDERR, "Try 'adpcm --help'.\n");
    return ADPCM_USAGE;
  }
  if (options.help) {
    print(PLATFORM_STDOUT, ADPCM_HELP);
    return ADPCM_OK;
  }
  if (options.version) {
    print(PLATFORM_STDOUT, "adpcm " ADPACK_VERSION "\n");
    return ADPCM_OK;
  }
  int status = ADPCM_OK;
  for (const std::string &input : options.inputs) {
    int result;
    try {
      result = options.command == ADPCM_ENCODE ? encode_one(input, options)
                                               : decode_one(input, options);
    } catch (const std::bad_alloc &) {
      complain(input + ": not enough memory");
      result = -1;
    }
    if (result != 0) status = ADPCM_FAILED;
  }
  return status;
}

}  // namespace

int run_adpcm(int argc, char **argv) {
  try {
    return run(argc, argv);
  } catch (const std::bad_alloc &) {
    complain("not enough memory");
    return ADPCM_FAILED;
  }
}
