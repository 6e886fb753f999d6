#include "list/list_reader.h"

#include <cstring>

#include "driver/messages.h"
#include "driver/run_end.h"

namespace {

bool is_digit(char byte) { return byte >= '0' && byte <= '9'; }

bool ends_number_field(char byte) { return byte == ' ' || byte == '='; }

// Decimal digits in 32-bit arithmetic: a run too long for the type wraps, as
// it always has, and the slot check downstream refuses the result.
std::int32_t parse_slot_number(const char *field) {
  std::uint32_t value = 0;
  for (const char *p = field; is_digit(*p); ++p)
    value = value * 10u + static_cast<std::uint32_t>(*p - '0');
  return static_cast<std::int32_t>(value);
}

}  // namespace

int parse_list_line(char *line, std::int32_t *number, char *name) {
  for (char *p = line; *p; ++p)
    if (*p == '\n') *p = '\0';
  if (!is_digit(line[0])) return 0;

  char field[LIST_LINE_SIZE];
  std::size_t length = 0;
  const char *p = line;
  while (*p && !ends_number_field(*p)) field[length++] = *p++;
  field[length] = '\0';

  char built[LIST_LINE_SIZE];
  length = 0;
  for (; *p && *p != '*'; ++p)
    if (!ends_number_field(*p)) built[length++] = *p;
  built[length] = '\0';

  *number = parse_slot_number(field);
  std::memcpy(name, built, length + 1);
  return 1;
}

ListLineRead read_list_line(Stream *list, char *line, std::size_t *length) {
  if (stream_read_line(list, line, LIST_LINE_SIZE, length))
    return LIST_LINE_READ;
  return stream_eof(list) ? LIST_LINE_END : LIST_LINE_FAILED;
}

int read_list_entry(std::int32_t *number, char *name, Stream *list) {
  char line[LIST_LINE_SIZE];
  std::size_t length;
  ListLineRead read = read_list_line(list, line, &length);
  if (read == LIST_LINE_END) exit_run(finish_run());
  if (read == LIST_LINE_FAILED) {
    print_read_failed();
    fail_run();
  }
  return parse_list_line(line, number, name);
}
