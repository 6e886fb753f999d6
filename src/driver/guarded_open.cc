#include "driver/guarded_open.h"

#include "driver/messages.h"
#include "platform/platform.h"

namespace {

int upper_case_ascii(int key) {
  return key >= 'a' && key <= 'z' ? key - 'a' + 'A' : key;
}

// Found by name alone: opening a FIFO to probe it could wait, or wake a
// writer only to break its pipe. A file that cannot be read (write-only, say)
// still counts, so that nothing is emptied unasked.
bool file_exists(const char *name) {
  return platform_file_kind(name) == PLATFORM_FILE_OTHER;
}

Stream *fail_open(const char *name, OpenStatus *status) {
  print_message(MSG_OPEN_FAILED, name);
  *status = OPEN_FAILED;
  return nullptr;
}

// Locked before it is asked about or emptied: a second run must find it
// taken before it can do either.
Stream *open_for_writing(const char *name, OpenStatus *status) {
  bool existed = file_exists(name);
  Stream *stream = stream_open_unemptied(name);
  if (!stream) return fail_open(name, status);
  if (stream_lock(stream) == -2) {
    stream_close(stream);
    print_message(MSG_BANK_IN_USE, name);
    *status = OPEN_IN_USE;
    return nullptr;
  }
  if (existed) {
    print_message(MSG_OVERWRITE_PROMPT, name);
    int key = upper_case_ascii(platform_read_console_key());
    print_message(MSG_AFTER_ANSWER);
    if (key != 'Y') {
      stream_close(stream);
      *status = OPEN_DECLINED;
      return nullptr;
    }
    *status = OPEN_REPLACED;
  }
  if (stream_empty(stream) != 0) {
    stream_close(stream);
    return fail_open(name, status);
  }
  return stream;
}

}  // namespace

Stream *open_guarded(const char *name, const char *mode, OpenStatus *status) {
  *status = OPEN_OK;
  if (mode[0] == 'w') return open_for_writing(name, status);
  Stream *stream = stream_open(name, mode);
  if (!stream) return fail_open(name, status);
  return stream;
}

int seek_with_report(Stream *stream, std::int32_t offset, StreamOrigin origin) {
  if (stream_seek(stream, offset, origin) == 0) return 0;
  print_message(MSG_SEEK_FAILED);
  return -1;
}
