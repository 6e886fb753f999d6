#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/platform.h"

namespace {

int descriptor(PlatformFile file) { return static_cast<int>(file); }

// The terminal whose mode the key read has changed, so that a signal that
// ends the process mid-wait still leaves the terminal as it found it.
volatile sig_atomic_t raw_terminal = -1;
struct termios saved_mode;

const int ending_signals[] = {SIGHUP, SIGTERM, SIGQUIT, SIGALRM};

void restore_and_reraise(int signal_number) {
  if (raw_terminal >= 0) tcsetattr(raw_terminal, TCSANOW, &saved_mode);
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

void guard_signals(bool on) {
  for (int number : ending_signals)
    ::signal(number, on ? restore_and_reraise : SIG_DFL);
}

// Returns 1 when a byte arrives within the wait, 0 when none does.
int byte_pending(int fd, int milliseconds) {
  struct pollfd wait = {fd, POLLIN, 0};
  int n;
  do {
    n = ::poll(&wait, 1, milliseconds);
  } while (n < 0 && errno == EINTR);
  return n > 0 ? 1 : 0;
}

int read_byte(int fd, unsigned char *byte) {
  ssize_t n;
  do {
    n = ::read(fd, byte, 1);
  } while (n < 0 && errno == EINTR);
  return n == 1 ? 0 : -1;
}

// A terminal sends the keys that a console reports as extended keys as
// escape sequences; a sequence is taken whole so that none of it is left
// behind for the shell.
constexpr int SEQUENCE_GAP_MS = 50;

int read_escape_sequence(int fd) {
  unsigned char byte;
  if (!byte_pending(fd, SEQUENCE_GAP_MS)) return 0x1b;  // Esc alone
  if (read_byte(fd, &byte) != 0) return -1;
  if (byte == '[') {
    // Parameters and intermediates until the final byte.
    while (byte_pending(fd, SEQUENCE_GAP_MS)) {
      if (read_byte(fd, &byte) != 0) return -1;
      if (byte >= 0x40 && byte <= 0x7e) break;
    }
  } else if (byte == 'O') {
    if (byte_pending(fd, SEQUENCE_GAP_MS) && read_byte(fd, &byte) != 0)
      return -1;
  }
  return 0;
}

int read_key(int fd) {
  unsigned char byte;
  if (read_byte(fd, &byte) != 0) return -1;
  if (byte == 0x1b) return read_escape_sequence(fd);
  if (byte >= 0xc0) {
    // The rest of a multibyte character belongs to the same key press.
    unsigned char rest;
    while (byte_pending(fd, 0) && read_byte(fd, &rest) == 0) {
      if ((rest & 0xc0) != 0x80) break;
    }
  }
  return byte;
}

void echo_key(int fd, int key) {
  if (key < 0x20 || key > 0x7e) return;  // control bytes would move the cursor
  unsigned char byte = static_cast<unsigned char>(key);
  ssize_t ignored = ::write(fd, &byte, 1);
  (void)ignored;
}

}  // namespace

void platform_start(void) {
  // A reader that has gone from a pipe must not end the run.
  ::signal(SIGPIPE, SIG_IGN);
}

const char *platform_command_line(void) { return nullptr; }

bool platform_is_lead_byte(unsigned char) { return false; }

PlatformFile platform_std_handle(PlatformStdHandle which) {
  return which == PLATFORM_STDOUT ? STDOUT_FILENO : STDERR_FILENO;
}

bool platform_is_char_device(PlatformFile file) {
  struct stat info;
  return ::fstat(descriptor(file), &info) == 0 && S_ISCHR(info.st_mode);
}

int platform_open(const char *name, PlatformOpenMode mode, PlatformFile *file) {
  int flags = O_CLOEXEC;
  if (mode == PLATFORM_OPEN_READ)
    flags |= O_RDONLY;
  else if (mode == PLATFORM_OPEN_READ_NO_WAIT)
    flags |= O_RDONLY | O_NONBLOCK;
  else if (mode == PLATFORM_OPEN_WRITE_NEW)
    flags |= O_WRONLY | O_CREAT | O_EXCL;  // O_EXCL follows no link either
  else if (mode == PLATFORM_OPEN_WRITE_KEEP)
    flags |= O_WRONLY | O_CREAT | O_NONBLOCK;  // no reader: ENXIO, no wait
  else
    flags |= O_WRONLY | O_CREAT | O_TRUNC;
  int fd;
  do {
    fd = ::open(name, flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0)
    return mode == PLATFORM_OPEN_WRITE_NEW && errno == EEXIST ? -2 : -1;
  struct stat info;
  bool refused = ::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode) ||
                 (mode == PLATFORM_OPEN_WRITE_KEEP &&
                  (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)));
  // Only the open must not wait; reads and writes wait as usual.
  if (!refused && (flags & O_NONBLOCK) != 0) {
    int status = ::fcntl(fd, F_GETFL);
    refused = status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0;
  }
  if (refused) {
    ::close(fd);
    return -1;
  }
  *file = fd;
  return 0;
}

std::ptrdiff_t platform_read(PlatformFile file, void *buffer,
                             std::size_t size) {
  ssize_t n;
  do {
    n = ::read(descriptor(file), buffer, size);
  } while (n < 0 && errno == EINTR);
  return n;
}

std::ptrdiff_t platform_write(PlatformFile file, const void *buffer,
                              std::size_t size) {
  ssize_t n;
  do {
    n = ::write(descriptor(file), buffer, size);
  } while (n < 0 && errno == EINTR);
  return n;
}

std::int64_t platform_seek(PlatformFile file, std::int64_t offset,
                           PlatformSeekOrigin origin) {
  int whence = origin == PLATFORM_SEEK_START     ? SEEK_SET
               : origin == PLATFORM_SEEK_CURRENT ? SEEK_CUR
                                                 : SEEK_END;
  return ::lseek(descriptor(file), static_cast<off_t>(offset), whence);
}

int platform_close(PlatformFile file) {
  // A close interrupted by a signal has still released the descriptor.
  if (::close(descriptor(file)) == 0 || errno == EINTR) return 0;
  return -1;
}

// flock, not fcntl: the lock belongs to this one open of the file, so that
// opening and closing the same file elsewhere in the process (a sample that
// turns out to be the bank) cannot drop it, as it would a record lock.
// A device is no bank that a second run could spoil: two runs may well both
// write to the null device.
int platform_lock(PlatformFile file) {
  struct stat info;
  if (::fstat(descriptor(file), &info) != 0 || !S_ISREG(info.st_mode))
    return -1;
  if (::flock(descriptor(file), LOCK_EX | LOCK_NB) == 0) return 0;
  return errno == EWOULDBLOCK ? -2 : -1;
}

int platform_empty(PlatformFile file) {
  struct stat info;
  if (::fstat(descriptor(file), &info) != 0) return -1;
  if (!S_ISREG(info.st_mode)) return 0;
  int result;
  do {
    result = ::ftruncate(descriptor(file), 0);
  } while (result != 0 && errno == EINTR);
  return result == 0 ? 0 : -1;
}

bool platform_names_open_file(const char *name, PlatformFile file) {
  struct stat named, open;
  if (::stat(name, &named) != 0 || ::fstat(descriptor(file), &open) != 0)
    return false;
  return named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

PlatformFileKind platform_file_kind(const char *name) {
  struct stat info;
  if (::stat(name, &info) != 0) return PLATFORM_FILE_NONE;
  return S_ISDIR(info.st_mode) ? PLATFORM_FILE_DIRECTORY : PLATFORM_FILE_OTHER;
}

int platform_file_size(const char *name, std::uint64_t *size) {
  struct stat info;
  if (::stat(name, &info) != 0) return -1;
  *size = S_ISDIR(info.st_mode) || info.st_size < 0
              ? 0
              : static_cast<std::uint64_t>(info.st_size);
  return 0;
}

int platform_make_directory(const char *name) {
  return ::mkdir(name, 0777) == 0 ? 0 : -1;
}

bool platform_same_file(const char *first, const char *second) {
  struct stat a, b;
  if (::stat(first, &a) != 0 || ::stat(second, &b) != 0) return false;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

int platform_read_console_key(void) {
  int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct termios raw;
  if (::tcgetattr(fd, &saved_mode) != 0) {
    ::close(fd);
    return -1;
  }
  raw = saved_mode;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
  raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | IXON);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  guard_signals(true);
  raw_terminal = fd;
  int key = -1;
  if (::tcsetattr(fd, TCSANOW, &raw) == 0) key = read_key(fd);
  if (::tcsetattr(fd, TCSANOW, &saved_mode) != 0) key = -1;
  raw_terminal = -1;
  guard_signals(false);
  if (key >= 0) echo_key(fd, key);
  ::close(fd);
  return key;
}

void platform_exit(int status) { std::exit(status); }
