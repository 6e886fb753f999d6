#include "driver/messages.h"

#include <cstring>
#include <string>

#include "driver/stream.h"

#define MESSAGE_ENTRY(name, stream, utf8, shift_jis) \
  const Message name = {shift_jis, utf8, stream};
#define USAGE_LINE_ENTRY(utf8, shift_jis)
#include "driver/message_catalogue.inc"
#undef MESSAGE_ENTRY
#undef USAGE_LINE_ENTRY

namespace {

const Message *const NAMED_MESSAGES[] = {
#define MESSAGE_ENTRY(name, stream, utf8, shift_jis) &name,
#define USAGE_LINE_ENTRY(utf8, shift_jis)
#include "driver/message_catalogue.inc"
#undef MESSAGE_ENTRY
#undef USAGE_LINE_ENTRY
};

// Printed one line per write, as a user's console has always shown them.
const Message USAGE_LINES[] = {
#define MESSAGE_ENTRY(name, stream, utf8, shift_jis)
#define USAGE_LINE_ENTRY(utf8, shift_jis) {shift_jis, utf8, MESSAGE_TO_STDOUT},
#include "driver/message_catalogue.inc"
#undef MESSAGE_ENTRY
#undef USAGE_LINE_ENTRY
};

Stream *stream_for(MessageStream stream) {
  return stream == MESSAGE_TO_STDOUT ? stream_stdout() : stream_stderr();
}

void append_number(std::string *out, std::int32_t number) {
  // Widened first: the most negative slot number has no positive twin.
  std::int64_t value = number;
  if (value < 0) {
    out->push_back('-');
    value = -value;
  }
  char digits[24];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0);
  while (count > 0) out->push_back(digits[--count]);
}

}  // namespace

const Message *message_catalogue_entry(std::size_t index) {
  constexpr std::size_t named = sizeof NAMED_MESSAGES / sizeof *NAMED_MESSAGES;
  constexpr std::size_t usage = sizeof USAGE_LINES / sizeof *USAGE_LINES;
  if (index < named) return NAMED_MESSAGES[index];
  index -= named;
  return index < usage ? &USAGE_LINES[index] : nullptr;
}

void print_message(const Message &message, const char *name,
                   std::int32_t number) {
  Stream *stream = stream_for(message.stream);
  const char *format = stream_shows_utf8(stream) ? message.utf8 : message.text;
  std::string text;
  for (const char *p = format; *p; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      if (name) text += name;
      ++p;
    } else if (p[0] == '%' && p[1] == 'd') {
      append_number(&text, number);
      ++p;
    } else {
      text.push_back(*p);
    }
  }
  stream_write(stream, text.data(), text.size());
}

void print_banner(void) { print_message(MSG_BANNER); }

void print_usage(void) {
  for (const Message &line : USAGE_LINES) print_message(line);
}

void print_read_failed(void) { print_message(MSG_READ_FAILED); }

void print_write_failed(void) { print_message(MSG_WRITE_FAILED); }

// Straight from the catalogue: with the heap exhausted, the string that
// print_message builds would fail too.
void print_no_memory(void) {
  Stream *stream = stream_for(MSG_NO_MEMORY.stream);
  const char *text =
      stream_shows_utf8(stream) ? MSG_NO_MEMORY.utf8 : MSG_NO_MEMORY.text;
  stream_write(stream, text, std::strlen(text));
}

void print_finished(void) { print_message(MSG_FINISHED); }
