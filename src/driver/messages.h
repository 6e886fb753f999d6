// The catalogue of everything adpack prints, and its printers. Texts are
// Shift_JIS byte strings; "%s" takes a file name byte for byte and "%d" a
// slot number.
#ifndef ADPACK_DRIVER_MESSAGES_H
#define ADPACK_DRIVER_MESSAGES_H

#include <cstdint>

enum MessageStream {
  MESSAGE_TO_STDOUT,
  MESSAGE_TO_STDERR,
};

struct Message {
  const char *text;
  MessageStream stream;
};

extern const Message MSG_BANNER;
extern const Message MSG_NO_MEMORY;
extern const Message MSG_OVERWRITE_PROMPT;
extern const Message MSG_AFTER_ANSWER;
extern const Message MSG_NOT_OVERWRITTEN;
extern const Message MSG_OPEN_FAILED;
extern const Message MSG_CLOSE_FAILED;
extern const Message MSG_WRITE_FAILED;
extern const Message MSG_SEEK_FAILED;
extern const Message MSG_READ_FAILED;
extern const Message MSG_FINISHED;
extern const Message MSG_ENTRY_PREFIX;
extern const Message MSG_NOT_FOUND;
extern const Message MSG_DISK_FULL;
extern const Message MSG_DONE;
extern const Message MSG_BANK_IS_LIST;
extern const Message MSG_SLOT_OUT_OF_RANGE;
extern const Message MSG_SAMPLE_TOO_LARGE;
extern const Message MSG_SAMPLE_IS_BANK;
extern const Message MSG_BANK_IN_USE;

// Prints message to its stream in one write, with name in place of "%s" and
// number in place of "%d".
void print_message(const Message &message, const char *name = nullptr,
                   std::int32_t number = 0);

void print_banner(void);
void print_usage(void);
void print_read_failed(void);
void print_write_failed(void);
void print_no_memory(void);
void print_finished(void);

#endif
