#include <string>
#include <vector>

#include "adpcm_tool/run.h"
#include "driver/command_line.h"
#include "platform/platform.h"

int main(int argc, char **argv) {
  platform_start();
  const char *line = platform_command_line();
  if (!line) platform_exit(run_adpcm(argc, argv));
  std::vector<std::string> words =
      split_command_line(line, platform_is_lead_byte);
  std::vector<char *> arguments = argument_vector("adpcm", words);
  platform_exit(
      run_adpcm(static_cast<int>(words.size() + 1), arguments.data()));
}
