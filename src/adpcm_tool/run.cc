#include "adpcm_tool/run.h"

#include <chrono>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

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

// Why output may not be made from input, or empty when it may: the input
// must be a file that can be read again (encoding reads it twice), the
// output never the input, nor a file this run made from another input, nor
// any other file without --force.
std::string output_refused(const std::string &input, const std::string &output,
                           const AdpcmOptions &options,
                           const std::vector<std::string> &made) {
  PlatformNamedKind kind = platform_look_up(input.c_str());
  if (kind == PLATFORM_NAMES_NOTHING) return "names no file";
  if (kind == PLATFORM_NAMES_DIRECTORY) return "is a directory";
  if (kind == PLATFORM_NAMES_SPECIAL) return "is not a regular file";
  if (platform_same_file(input.c_str(), output.c_str()))
    return "the output " + output + " would replace the input";
  for (const std::string &earlier : made)
    if (earlier == output || platform_same_file(earlier.c_str(),
                                                output.c_str()))
      return "its output " + output +
             " was made from another input of this run";
  if (!options.force && output_exists(output))
    return output + " exists (--force replaces it)";
  return "";
}

// Says why input failed, also to a script reading the JSON.
int input_failed(const std::string &input, const std::string &error,
                 const AdpcmOptions &options) {
  complain(input + ": " + error);
  if (options.json && options.command == ADPCM_ENCODE)
    print(PLATFORM_STDOUT, report_json_failure(input, error));
  return -1;
}

int encode_one(const std::string &input, const AdpcmOptions &options,
               std::vector<std::string> *made) {
  std::string output = output_name(input, options, ".pcm");
  std::string error = output_refused(input, output, options, *made);
  if (!error.empty()) return input_failed(input, error, options);
  Progress progress;
  progress.name = input;
  EncodeReport report;
  int result = encode_file(input, output, options, &report, &error,
                           [&](double done) { progress.update(done); });
  progress.clear();
  if (result != 0) return input_failed(input, error, options);
  made->push_back(output);
  if (options.json) {
    print(PLATFORM_STDOUT, report_json(report));
    // The warnings still reach a person.
    print(PLATFORM_STDERR, report_warnings(report));
  } else {
    print(PLATFORM_STDERR, report_line(report));
  }
  return 0;
}

int decode_one(const std::string &input, const AdpcmOptions &options,
               std::vector<std::string> *made) {
  std::string output = output_name(input, options, ".wav");
  std::string error = output_refused(input, output, options, *made);
  if (!error.empty()) return input_failed(input, error, options);
  if (decode_file(input, output, options, &error) != 0)
    return input_failed(input, error, options);
  made->push_back(output);
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
  std::vector<std::string> made;
  for (const std::string &input : options.inputs) {
    int result;
    try {
      result = options.command == ADPCM_ENCODE
                   ? encode_one(input, options, &made)
                   : decode_one(input, options, &made);
    } catch (const std::bad_alloc &) {
      result = input_failed(input, "not enough memory", options);
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
