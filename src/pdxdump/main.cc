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

int run(int argc, char **argv) {
  std::string out, err;
  int status = run_pdxdump(argc, argv, &out, &err);
  if (print(PLATFORM_STDOUT, out) != 0) {
    err += "pdxdump: cannot write the standard output\n";
    status = DUMP_FAILED;
  }
  print(PLATFORM_STDERR, err);
  return status;
}

}  // namespace

int main(int argc, char **argv) {
  platform_start();
  const char *line = platform_command_line();
  if (!line) platform_exit(run(argc, argv));
  std::vector<std::string> words =
      split_command_line(line, platform_is_lead_byte);
  std::vector<char *> arguments = argument_vector("pdxdump", words);
  platform_exit(run(static_cast<int>(words.size() + 1), arguments.data()));
}
