// The operating system, as the rest of adpack sees it. One implementation
// file per platform stands behind this header; nothing else may include a
// system header. Every call reports failure by its result and never ends the
// process, except platform_exit. A file name that names nothing as written
// names the one file that matches it ignoring the case of its letters,
// component by component, where there is exactly one, as on a system that
// ignores case. A letter is an ASCII letter that is a whole character: in a
// component that is not UTF-8, read as Shift_JIS, the second byte of a
// double-byte character never is one.
#ifndef ADPACK_PLATFORM_PLATFORM_H
#define ADPACK_PLATFORM_PLATFORM_H

#include <cstddef>
#include <cstdint>

// An open file or standard handle. Wide enough for a descriptor or a HANDLE.
typedef std::intptr_t PlatformFile;

enum PlatformOpenMode {
  PLATFORM_OPEN_READ,  // an existing file; a directory fails
  // As PLATFORM_OPEN_READ, but the open never waits (a FIFO without a
  // writer opens at once); reads wait as usual.
  PLATFORM_OPEN_READ_NO_WAIT,
  PLATFORM_OPEN_WRITE_TRUNCATE,  // created, or emptied if it exists
  PLATFORM_OPEN_WRITE_NEW,  // created; never opens what the name already names
  // Created if absent, its bytes kept; the open never waits. A FIFO or
  // socket fails: it cannot hold a file that is written in place.
  PLATFORM_OPEN_WRITE_KEEP,
};

enum PlatformSeekOrigin {
  PLATFORM_SEEK_START,
  PLATFORM_SEEK_CURRENT,
  PLATFORM_SEEK_END,
};

enum PlatformStdHandle {
  PLATFORM_STDOUT,
  PLATFORM_STDERR,
};

enum PlatformFileKind {
  PLATFORM_FILE_NONE,  // the name names nothing
  PLATFORM_FILE_DIRECTORY,
  PLATFORM_FILE_OTHER,  // a regular file, a device, a pipe...
};

// Process start: standard handles in binary mode, a closed pipe on standard
// output or error never ends the process, and no file the program opens can
// take the place of a closed standard handle (one the process starts
// without is held by something that cannot be written). Called once, before
// anything else.
void platform_start(void);

// The whole command line as one string, where the platform hands it over so
// (the program then splits it itself), or null where the platform already
// gives an argument vector.
const char *platform_command_line(void);

// Whether byte is the lead byte of a double-byte character in the system's
// code page.
bool platform_is_lead_byte(unsigned char byte);

PlatformFile platform_std_handle(PlatformStdHandle which);

// Whether the handle is a character device (a console, a terminal, a null
// device).
bool platform_is_char_device(PlatformFile file);

// Whether the handle is a terminal whose user's locale (LC_ALL, LC_CTYPE,
// LANG) has UTF-8 as its character set; where the system cannot set that
// locale, as its name states it. Never so on Windows, whose console keeps
// its code page.
bool platform_is_utf8_terminal(PlatformFile file);

// Writes to found, which holds as many bytes as name with its zero, the name
// that the calls here take name to mean: name as written, or as found in
// another letter case. Given found, a later call finds the same file
// without looking again.
void platform_find_name(const char *name, char *found);

// Opens name so that other processes may still read and write it. Returns 0,
// or -1 when it cannot be opened. For PLATFORM_OPEN_WRITE_NEW it returns -2
// when the name already names something (a file, a directory, a link, even
// one that leads nowhere; or several in other letter cases), which it leaves
// untouched.
int platform_open(const char *name, PlatformOpenMode mode, PlatformFile *file);

// Opens name for reading when it is a regular file, without waiting on
// anything else (a FIFO with no writer, a device). Returns 0; -1 when it
// cannot be opened; -2 when it is a directory; -3 when it is something else
// that is not a regular file.
int platform_open_regular(const char *name, PlatformFile *file);

// Reads up to size bytes. Returns the count (0 at the end of the file), or
// -1 on failure. A short count is not an error.
std::ptrdiff_t platform_read(PlatformFile file, void *buffer, std::size_t size);

// Writes up to size bytes. Returns the count written, or -1 on failure; a
// count below size means the rest could not be written now.
std::ptrdiff_t platform_write(PlatformFile file, const void *buffer,
                              std::size_t size);

// Moves the file position. Returns the new position from the start of the
// file, or -1 on failure.
std::int64_t platform_seek(PlatformFile file, std::int64_t offset,
                           PlatformSeekOrigin origin);

int platform_close(PlatformFile file);

// Takes an exclusive lock on the open file that other processes taking it
// see, without waiting, and that stops no one from reading or writing the
// file. Released when the file is closed. Returns 0; -2 when another process
// holds it; -1 when the file cannot be locked at all (not a regular file).
int platform_lock(PlatformFile file);

// Empties the open file, whose position must be at its start. What is not a
// regular file (a device), or is empty already, is left as it is. Returns 0
// or -1.
int platform_empty(PlatformFile file);

// Whether name names the very file that is open as file.
bool platform_names_open_file(const char *name, PlatformFile file);

// What name names, without opening it.
PlatformFileKind platform_file_kind(const char *name);

enum PlatformNamedKind {
  PLATFORM_NAMES_NOTHING,
  PLATFORM_NAMES_REGULAR,  // a regular file
  PLATFORM_NAMES_DIRECTORY,
  PLATFORM_NAMES_SPECIAL,  // a FIFO, a device, a socket
};

// What name names, without opening it, told apart more finely than
// platform_file_kind does.
PlatformNamedKind platform_look_up(const char *name);

// Whether two names of one directory entry are one name to the lookup here,
// which ignores the case of letters that are whole characters.
bool platform_same_name(const char *first, const char *second);

// The size in bytes of what name names, without opening it; a directory
// counts as 0. Returns 0, or -1 when the name names nothing.
int platform_file_size(const char *name, std::uint64_t *size);

// Creates the directory name; its parent must exist. Returns 0, or -1 when it
// cannot be made, also when the name already names something.
int platform_make_directory(const char *name);

// Removes the file name, or the empty directory name. Returns 0, or -1.
int platform_remove_file(const char *name);
int platform_remove_directory(const char *name);

// Why the platform call that has just failed failed, as the system words it
// in plain English ("No such file or directory"), or null when the system
// gave no reason. Only right after the failure: any other call may change
// it.
const char *platform_failure_reason(void);

// Whether both names name one and the same existing file.
bool platform_same_file(const char *first, const char *second);

// Reads one key press from the console itself (never from standard input),
// without line editing, echo or interrupt keys, and writes the key back to the
// console. Returns the key's character (the first byte of one that takes
// several, all of which are echoed); 0 for a key that yields none (arrows,
// function keys); -1 when there is no console or it cannot be used. Where
// the system has signals, one that ends or stops the process while it waits
// gives the console its mode back first.
int platform_read_console_key(void);

// Ends the process with status; the low 8 bits where the system keeps only
// those. Streams must have been written out already.
[[noreturn]] void platform_exit(int status);

// Standard input, which a program may read its data from.
PlatformFile platform_std_input(void);

// Whether the write that has just failed failed because the reader of a pipe
// has gone. Only right after the failure.
bool platform_failure_is_closed_pipe(void);

// Gives the file named from the name to, in the same directory. Where replace
// is false, returns -2 and leaves both alone when to already names something;
// otherwise 0, or -1 when the file cannot be given the name.
int platform_rename(const char *from, const char *to, bool replace);

// Removes the file name should the user interrupt the process (Ctrl-C, or a
// request to end it) or a file-size limit end it, before the process ends as it would have; null
// forgets the name. The name must stay valid until it is forgotten.
void platform_remove_on_interrupt(const char *name);

#endif
