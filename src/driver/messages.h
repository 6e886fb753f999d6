// The catalogue of everything adpack prints, and its printers. Each text
// reaches a terminal that shows UTF-8 in UTF-8 and everything else as
// Shift_JIS bytes; "%s" takes a file name byte for byte and "%d" a slot
// number.
#ifndef ADPACK_DRIVER_MESSAGES_H
#define ADPACK_DRIVER_MESSAGES_H

#include <cstddef>
#include <cstdint>

enum MessageStream {
  MESSAGE_TO_STDOUT,
  MESSAGE_TO_STDERR,
};

struct Message {
  const char *text;  // Shift_JIS
  const char *utf8;
  MessageStream stream;
};

#define MESSAGE_ENTRY(name, stream, utf8, shift_jis) extern const Message name;
#define USAGE_LINE_ENTRY(utf8, shift_jis)
#include "driver/message_catalogue.inc"
#undef MESSAGE_ENTRY
#undef USAGE_LINE_ENTRY

// The catalogue's entries one by one, the usage lines included, so that a
// check can reach every text; null past the last.
const Message *message_catalogue_entry(std::size_t index);

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
