#include "driver/guarded_open.h"

#include "driver/messages.h"
#include "platform/platform.h"

namespace {

int upper_case_ascii(int key) {
  return key >= 'a' && key <= 'z' ? key - 'a' + 'A' : key;
}

// A file that cannot be opened for reading may still exist (write-only, say);
// it is asked about all the same, so that nothing is emptied unasked.
bool file_exists(const char *name) {
  Stream *probe = stream_open(name, "rb");
  if (probe) {
    close_or_exit(probe);
    return true;
  }
  return platform_file_kind(name) == PLATFORM_FILE_OTHER;
}

}  // namespace

Stream *open_guarded(const char *name, const char *mode, OpenStatus *status) {
  *status = OPEN_OK;
  if (mode[0] == 'w' && file_exists(name)) {
    print_message(MSG_OVERWRITE_PROMPT, name);
    int key = upper_case_ascii(platform_read_console_key());
    print_message(MSG_AFTER_ANSWER);
    if (key != 'Y') {
      *status = OPEN_DECLINED;
      return nullptr;
    }
    *status = OPEN_REPLACED;
  }
  Stream *stream = stream_open(name, mode);
  if (!stream) {
    print_message(MSG_OPEN_FAILED, name);
    *status = OPEN_FAILED;
  }
  return stream;
}

void close_or_exit(Stream *stream) {
  if (stream_close(stream) != 0) {
    print_message(MSG_CLOSE_FAILED);
    exit_run(-1);
  }
}

int seek_with_report(Stream *stream, std::int32_t offset, StreamOrigin origin) {
  if (stream_seek(stream, offset, origin) == 0) return 0;
  print_message(MSG_SEEK_FAILED);
  return -1;
}
