#include <new>
#include <string>
#include <vector>

#include "driver/command_line.h"
#include "pdxdump/bank_file.h"
#include "pdxdump/pdxdump.h"
#include "platform/platform.h"

namespace {

// pdxdump's own output is plain text with bare line feeds, so it bypasses
// adpack's console streams, which end every line with a carriage return.
int print(PlatformStdHandle which, const std::string &text) {
  if (text.empty()) return 0;
  return write_all(platform_std_handle(which), text.data(), text.size());
}

// Needs no memory of its own.
void say_out_of_memory() {
  static const char message[] = "pdxdump: out of memory\n";
  write_all(platform_std_handle(PLATFORM_STDERR), message, sizeof message - 1);
}

int run(int argc, char **argv) {
  std::string out, err;
  PlatformFile standard_output = platform_std_handle(PLATFORM_STDOUT);
  int status = run_pdxdump(argc, argv, &out, &err, &standard_output);
  // A reader that has had enough, as head has, is no failure: a filter
  // ends quietly then.
  if (print(PLATFORM_STDOUT, out) != 0 && !platform_failure_is_closed_pipe()) {
    err += "pdxdump: cannot write the standard output";
    std::string reason = failure_reason();
    err += reason.empty() ? "\n" : ": " + reason + "\n";
    status = DUMP_FAILED;
  }
  print(PLATFORM_STDERR, err);
  return status;
}

int run_guarded(int argc, char **argv) {
  try {
    return run(argc, argv);
  } catch (const std::bad_alloc &) {
    say_out_of_memory();
    return DUMP_FAILED;
  }
}

}  // namespace

int main(int argc, char **argv) {
  platform_start();
  const char *line = platform_command_line();
  if (!line) platform_exit(run_guarded(argc, argv));
  int status = DUMP_FAILED;
  try {
    std::vector<std::string> words =
        split_command_line(line, platform_is_lead_byte);
    std::vector<char *> arguments = argument_vector("pdxdump", words);
    status = run_guarded(static_cast<int>(words.size() + 1), arguments.data());
  } catch (const std::bad_alloc &) {
    say_out_of_memory();
  }
  platform_exit(status);
}
