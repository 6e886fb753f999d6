// The list file: one entry per line that begins with a digit, "slot = name".
#ifndef ADPACK_LIST_LIST_READER_H
#define ADPACK_LIST_LIST_READER_H

#include <cstddef>
#include <cstdint>

#include "driver/stream.h"

// One read takes at most LIST_LINE_SIZE - 1 bytes; a longer line is read in
// pieces, each a line of its own.
constexpr std::size_t LIST_LINE_SIZE = 256;

// The caller's name buffer. Names have at most 253 bytes.
constexpr std::size_t LIST_NAME_SIZE = 256;

// Parses one line as read (a line feed, if any, included). Returns 1 and
// fills number and name for an entry line, 0 for any other line, leaving them
// alone.
int parse_list_line(char *line, std::int32_t *number, char *name);

enum ListLineRead {
  LIST_LINE_READ,
  LIST_LINE_END,     // no line left: the data has ended
  LIST_LINE_FAILED,  // the read failed
};

// Reads the next line of list as the run reads it, into line (LIST_LINE_SIZE
// bytes), its byte count, line feed included, into *length.
ListLineRead read_list_line(Stream *list, char *line, std::size_t *length);

// Reads and parses the next line of list. When there is no line left, the run
// ends here: complete at the end of the data, failed on a read error.
int read_list_entry(std::int32_t *number, char *name, Stream *list);

#endif
