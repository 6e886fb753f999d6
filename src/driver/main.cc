#include <string>
#include <vector>

#include "driver/command_line.h"
#include "driver/run.h"
#include "driver/run_end.h"
#include "driver/stream.h"
#include "platform/platform.h"

int main(int argc, char **argv) {
  platform_start();
  const char *line = platform_command_line();
  if (!line) exit_run(run_adpack(argc, argv));
  std::vector<std::string> words =
      split_command_line(line, platform_is_lead_byte);
  std::vector<char *> arguments = argument_vector("adpack", words);
  exit_run(run_adpack(static_cast<int>(words.size() + 1), arguments.data()));
}
