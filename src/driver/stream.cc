#include "driver/stream.h"

#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace {

enum StreamKind {
  STREAM_READ_BINARY,
  STREAM_READ_TEXT,
  STREAM_WRITE_BINARY,
  STREAM_CONSOLE,
};

}  // namespace

struct Stream {
  PlatformFile file;
  StreamKind kind;
  bool buffered;    // a console stream may be unbuffered
  bool shows_utf8;  // a console stream on a terminal that shows UTF-8
  unsigned char buffer[STREAM_BUFFER_SIZE];
  std::size_t length;  // bytes held: unread input, or output not yet written
  std::size_t next;    // index of the next unread input byte
  bool eof;
  bool error;
  bool data_ended;  // a text stream met its Ctrl-Z
  // Where the file's own position stands, as this stream moved it.
  std::int64_t file_position;
  Stream *next_open;
};

namespace {

constexpr unsigned char CTRL_Z = 0x1a;
constexpr unsigned char CARRIAGE_RETURN = 0x0d;

// Every open file stream, so that they can all be closed or written out.
Stream *open_streams = nullptr;

Stream console_out;
Stream console_err;
bool consoles_ready = false;

void set_up_console(Stream *stream, PlatformStdHandle which, bool buffered) {
  stream->file = platform_std_handle(which);
  stream->kind = STREAM_CONSOLE;
  stream->buffered = buffered;
  stream->shows_utf8 = platform_is_utf8_terminal(stream->file);
}

void set_up_consoles() {
  if (consoles_ready) return;
  consoles_ready = true;
  set_up_console(&console_err, PLATFORM_STDERR, false);
  PlatformFile out = platform_std_handle(PLATFORM_STDOUT);
  set_up_console(&console_out, PLATFORM_STDOUT, !platform_is_char_device(out));
}

// Writes all of size bytes unless the file refuses; returns the count written.
std::size_t write_fully(PlatformFile file, const unsigned char *bytes,
                        std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    std::ptrdiff_t n = platform_write(file, bytes + done, size - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

// Writes the bytes with a carriage return before each line feed, so that a
// print of up to 512 bytes is one write and a carriage return never leaves
// without its line feed. Returns whether everything was written.
bool write_console_text(PlatformFile file, const unsigned char *bytes,
                        std::size_t size) {
  unsigned char piece[2 * STREAM_BUFFER_SIZE];
  std::size_t used = 0;
  bool written = true;
  for (std::size_t i = 0; i < size; ++i) {
    if (used + 2 > sizeof piece) {
      written = write_fully(file, piece, used) == used && written;
      used = 0;
    }
    if (bytes[i] == '\n') piece[used++] = CARRIAGE_RETURN;
    piece[used++] = bytes[i];
  }
  return write_fully(file, piece, used) == used && written;
}

// Returns 0, or -1 when the held output could not all be written.
int flush_output(Stream *stream) {
  if (stream->kind == STREAM_READ_BINARY || stream->kind == STREAM_READ_TEXT)
    return 0;
  std::size_t held = stream->length;
  stream->length = 0;
  if (held == 0) return 0;
  if (stream->kind == STREAM_CONSOLE) {
    if (write_console_text(stream->file, stream->buffer, held)) return 0;
    stream->error = true;
    return -1;
  }
  std::size_t done = write_fully(stream->file, stream->buffer, held);
  stream->file_position += static_cast<std::int64_t>(done);
  if (done == held) return 0;
  stream->error = true;
  return -1;
}

// Drops every carriage return and ends the data at the first Ctrl-Z.
std::size_t translate_text_input(Stream *stream, std::size_t size) {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < size; ++i) {
    unsigned char byte = stream->buffer[i];
    if (byte == CTRL_Z) {
      stream->data_ended = true;
      break;
    }
    if (byte != CARRIAGE_RETURN) stream->buffer[kept++] = byte;
  }
  return kept;
}

// Refills an empty input buffer. Returns the bytes now held, 0 at the end of
// the data, -1 on a read failure.
std::ptrdiff_t fill_input(Stream *stream) {
  stream->next = 0;
  stream->length = 0;
  while (!stream->data_ended) {
    std::ptrdiff_t n =
        platform_read(stream->file, stream->buffer, sizeof stream->buffer);
    if (n < 0) return -1;
    if (n == 0) return 0;
    stream->file_position += n;
    std::size_t got = static_cast<std::size_t>(n);
    if (stream->kind == STREAM_READ_TEXT)
      got = translate_text_input(stream, got);
    if (got > 0) {
      stream->length = got;
      return static_cast<std::ptrdiff_t>(got);
    }
  }
  return 0;
}

// A run holds at most three file streams at once: the bank, the list and one
// sample. Kept out of the heap, a sample's stream cannot sit just above the
// copy buffer allocated before it, where it would keep the freed buffer from
// serving the next sample and leave two buffers' worth of pages resident.
constexpr std::size_t POOLED_STREAM_COUNT = 3;
Stream pooled_streams[POOLED_STREAM_COUNT];
bool pooled_stream_used[POOLED_STREAM_COUNT];

Stream *allocate_stream() {
  for (std::size_t i = 0; i < POOLED_STREAM_COUNT; ++i) {
    if (!pooled_stream_used[i]) {
      pooled_stream_used[i] = true;
      pooled_streams[i] = Stream{};
      return &pooled_streams[i];
    }
  }
  return static_cast<Stream *>(std::calloc(1, sizeof(Stream)));
}

void release_stream(Stream *stream) {
  for (std::size_t i = 0; i < POOLED_STREAM_COUNT; ++i) {
    if (stream == &pooled_streams[i]) {
      pooled_stream_used[i] = false;
      return;
    }
  }
  std::free(stream);
}

void link_open(Stream *stream) {
  stream->next_open = open_streams;
  open_streams = stream;
}

void unlink_open(Stream *stream) {
  for (Stream **link = &open_streams; *link; link = &(*link)->next_open) {
    if (*link == stream) {
      *link = stream->next_open;
      return;
    }
  }
}

// The buffer holds text as printed; the carriage returns join it only on the
// way out, so that a full buffer is 512 printed bytes.
std::size_t write_console(Stream *stream, const unsigned char *bytes,
                          std::size_t size) {
  if (!stream->buffered) {
    write_console_text(stream->file, bytes, size);
    return size;
  }
  std::size_t left = size;
  while (left > 0) {
    if (stream->length == sizeof stream->buffer) flush_output(stream);
    std::size_t take = sizeof stream->buffer - stream->length;
    if (take > left) take = left;
    std::memcpy(stream->buffer + stream->length, bytes, take);
    stream->length += take;
    bytes += take;
    left -= take;
  }
  return size;
}

Stream *open_file_stream(const char *name, StreamKind kind,
                         PlatformOpenMode open_mode) {
  Stream *stream = allocate_stream();
  if (!stream) return nullptr;
  if (platform_open(name, open_mode, &stream->file) != 0) {
    release_stream(stream);
    return nullptr;
  }
  stream->kind = kind;
  stream->buffered = true;
  link_open(stream);
  return stream;
}

}  // namespace

Stream *stream_open(const char *name, const char *mode) {
  // A sample's open must not wait for a FIFO's writer; the list's may.
  if (std::strcmp(mode, "rb") == 0)
    return open_file_stream(name, STREAM_READ_BINARY,
                            PLATFORM_OPEN_READ_NO_WAIT);
  if (std::strcmp(mode, "rt") == 0)
    return open_file_stream(name, STREAM_READ_TEXT, PLATFORM_OPEN_READ);
  if (std::strcmp(mode, "wb") == 0)
    return open_file_stream(name, STREAM_WRITE_BINARY,
                            PLATFORM_OPEN_WRITE_TRUNCATE);
  return nullptr;
}

Stream *stream_open_unemptied(const char *name) {
  return open_file_stream(name, STREAM_WRITE_BINARY, PLATFORM_OPEN_WRITE_KEEP);
}

int stream_lock(Stream *stream) { return platform_lock(stream->file); }

int stream_empty(Stream *stream) {
  if (stream->kind != STREAM_WRITE_BINARY || stream->length != 0 ||
      stream->file_position != 0)
    return -1;
  return platform_empty(stream->file);
}

int stream_close(Stream *stream) {
  int result = flush_output(stream);
  if (platform_close(stream->file) != 0) result = -1;
  unlink_open(stream);
  release_stream(stream);
  return result;
}

char *stream_read_line(Stream *stream, char *line, std::size_t size,
                       std::size_t *length) {
  std::size_t got = 0;
  while (got + 1 < size) {
    if (stream->next == stream->length) {
      std::ptrdiff_t n = fill_input(stream);
      if (n < 0) {
        stream->error = true;
        return nullptr;
      }
      if (n == 0) {
        stream->eof = true;
        break;
      }
    }
    char byte = static_cast<char>(stream->buffer[stream->next++]);
    line[got++] = byte;
    if (byte == '\n') break;
  }
  if (got == 0) return nullptr;
  line[got] = '\0';
  if (length) *length = got;
  return line;
}

std::size_t stream_read(Stream *stream, void *buffer, std::size_t size) {
  unsigned char *out = static_cast<unsigned char *>(buffer);
  std::size_t got = 0;
  while (got < size) {
    if (stream->next < stream->length) {
      std::size_t take = stream->length - stream->next;
      if (take > size - got) take = size - got;
      std::memcpy(out + got, stream->buffer + stream->next, take);
      stream->next += take;
      got += take;
      continue;
    }
    std::ptrdiff_t n;
    if (stream->kind == STREAM_READ_BINARY &&
        size - got >= sizeof stream->buffer) {
      // Large reads go straight to the caller: no second copy.
      n = platform_read(stream->file, out + got, size - got);
      if (n > 0) {
        got += static_cast<std::size_t>(n);
        stream->file_position += n;
      }
    } else {
      n = fill_input(stream);
    }
    if (n < 0) {
      stream->error = true;
      break;
    }
    if (n == 0) {
      stream->eof = true;
      break;
    }
  }
  return got;
}

std::size_t stream_write(Stream *stream, const void *buffer, std::size_t size) {
  const unsigned char *bytes = static_cast<const unsigned char *>(buffer);
  if (stream->kind == STREAM_CONSOLE) return write_console(stream, bytes, size);
  if (stream->kind != STREAM_WRITE_BINARY) return 0;
  if (stream->length + size <= sizeof stream->buffer) {
    std::memcpy(stream->buffer + stream->length, bytes, size);
    stream->length += size;
    return size;
  }
  if (flush_output(stream) != 0) return 0;
  if (size < sizeof stream->buffer) {
    std::memcpy(stream->buffer, bytes, size);
    stream->length = size;
    return size;
  }
  std::size_t done = write_fully(stream->file, bytes, size);
  stream->file_position += static_cast<std::int64_t>(done);
  if (done < size) stream->error = true;
  return done;
}

int stream_seek(Stream *stream, std::int64_t offset, StreamOrigin origin) {
  if (flush_output(stream) != 0) return -1;
  stream->next = stream->length = 0;
  // Slots written in order leave the file where the next one goes: the
  // system call would move nothing.
  if (origin != STREAM_SEEK_START || offset < 0 ||
      offset != stream->file_position) {
    PlatformSeekOrigin from =
        origin == STREAM_SEEK_END ? PLATFORM_SEEK_END : PLATFORM_SEEK_START;
    std::int64_t moved = platform_seek(stream->file, offset, from);
    if (moved < 0) return -1;
    stream->file_position = moved;
  }
  stream->eof = false;
  return 0;
}

std::int64_t stream_tell(Stream *stream) {
  std::int64_t position = platform_seek(stream->file, 0, PLATFORM_SEEK_CURRENT);
  if (position < 0) return -1;
  if (stream->kind == STREAM_WRITE_BINARY)
    return position + static_cast<std::int64_t>(stream->length);
  return position - static_cast<std::int64_t>(stream->length - stream->next);
}

bool stream_is_file(const Stream *stream, const char *name) {
  return platform_names_open_file(name, stream->file);
}

bool stream_eof(const Stream *stream) { return stream->eof; }

bool stream_error(const Stream *stream) { return stream->error; }

bool stream_shows_utf8(const Stream *stream) { return stream->shows_utf8; }

Stream *stream_stdout(void) {
  set_up_consoles();
  return &console_out;
}

Stream *stream_stderr(void) {
  set_up_consoles();
  return &console_err;
}

int close_all_file_streams(void) {
  int closed = 0;
  bool failed = false;
  while (open_streams) {
    if (stream_close(open_streams) != 0) failed = true;
    ++closed;
  }
  return failed ? -1 : closed;
}

void flush_all_streams(void) {
  for (Stream *stream = open_streams; stream; stream = stream->next_open)
    flush_output(stream);
  if (consoles_ready) flush_output(&console_out);
}
