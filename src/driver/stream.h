// Buffered file and console streams. All buffering and all text translation
// live here, in portable code, so that every platform writes the same bytes.
#ifndef ADPACK_DRIVER_STREAM_H
#define ADPACK_DRIVER_STREAM_H

#include <cstddef>
#include <cstdint>

struct Stream;

// File streams have buffers of this size, and so has a buffered standard
// output.
constexpr std::size_t STREAM_BUFFER_SIZE = 512;

enum StreamOrigin {
  STREAM_SEEK_START,
  STREAM_SEEK_END,
};

// Opens a file stream. mode is "rb", "rt" (read an existing file; "rt" drops
// every carriage return and ends the data at the first Ctrl-Z) or "wb"
// (create, or empty an existing file). "rb" never waits to open: a FIFO
// opens at once. Returns null on failure.
Stream *stream_open(const char *name, const char *mode);

// Opens name for writing as "wb" does, but leaves an existing file's bytes as
// they are until stream_empty, so that it can be locked and asked about
// first. Never waits to open: a FIFO fails. Returns null on failure.
Stream *stream_open_unemptied(const char *name);

// Locks the stream's file against other runs; see platform_lock for the
// result.
int stream_lock(Stream *stream);

// Empties a write stream's file before anything is written. Returns 0 or -1.
int stream_empty(Stream *stream);

// Whether name names the stream's own file.
bool stream_is_file(const Stream *stream, const char *name);

// Writes out pending bytes and closes. Returns 0, or -1 when writing out or
// closing failed; the stream is gone either way.
int stream_close(Stream *stream);

// Like fgets: reads up to size - 1 bytes, through the first line feed, and
// adds a zero byte. Returns null when no byte was read (end of data or
// failure); the bytes of a line that failed part-way are dropped. The count
// read goes to *length when it is given: a zero byte read ends no line.
char *stream_read_line(Stream *stream, char *line, std::size_t size,
                       std::size_t *length = nullptr);

// Reads up to size bytes; returns the count read.
std::size_t stream_read(Stream *stream, void *buffer, std::size_t size);

// Writes size bytes; returns the count accepted. A file stream may accept
// bytes into its buffer that fail only when they are written out.
std::size_t stream_write(Stream *stream, const void *buffer, std::size_t size);

// Writes out pending bytes, then moves the position. Returns 0 or -1.
int stream_seek(Stream *stream, std::int64_t offset, StreamOrigin origin);

// The position from the start of the file, or -1.
std::int64_t stream_tell(Stream *stream);

bool stream_eof(const Stream *stream);
bool stream_error(const Stream *stream);

// Standard output and standard error. Each line feed goes out as a carriage
// return and a line feed. Standard error is unbuffered; standard output is
// unbuffered on a character device and otherwise buffered in 512 printed
// bytes, the carriage returns added when they are written out. A failed
// console write is lost, never an error of the run.
Stream *stream_stdout(void);
Stream *stream_stderr(void);

// Whether the stream is a terminal that shows UTF-8 and so takes the
// catalogue's texts in UTF-8. Each standard stream answers for itself; file
// streams never do.
bool stream_shows_utf8(const Stream *stream);

// Closes every open file stream (not the standard streams). Returns how many
// it closed, or -1 when any of them failed.
int close_all_file_streams(void);

// Writes out whatever every open stream, standard output included, still
// holds; failures are not reported.
void flush_all_streams(void);

#endif
