#include "driver/run_end.h"

#include "driver/messages.h"
#include "driver/stream.h"
#include "platform/platform.h"

int finish_run(void) {
  if (close_all_file_streams() < 0) {
    print_write_failed();
    exit_run(-1);
  }
  print_finished();
  return 0;
}

void fail_run(void) {
  close_all_file_streams();
  exit_run(-1);
}

void exit_run(int status) {
  flush_all_streams();
  platform_exit(status);
}
