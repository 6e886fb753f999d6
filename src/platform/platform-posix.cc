#include <dirent.h>
#include <fcntl.h>
#include <langinfo.h>
#include <limits.h>
#include <locale.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace {

int descriptor(PlatformFile file) { return static_cast<int>(file); }

// The terminal whose mode the key read has changed, so that a signal that
// ends or stops the process mid-wait leaves the terminal as it found it.
volatile sig_atomic_t raw_terminal = -1;
volatile sig_atomic_t terminal_is_raw = 0;
struct termios saved_mode;
struct termios raw_mode;

// Signals whose default action neither ends nor stops the process.
bool harmless_by_default(int number) {
  return number == SIGCHLD || number == SIGCONT || number == SIGURG ||
         number == SIGWINCH || number == SIGKILL || number == SIGSTOP;
}

struct sigaction previous_actions[NSIG];
bool guarded[NSIG];

// Only the terminal's foreground may set its mode; a run that was stopped
// and continued in the background has no mode of its own there.
bool owns_terminal(int fd) { return ::tcgetpgrp(fd) == ::getpgrp(); }

void give_terminal_back() {
  int fd = raw_terminal;
  if (fd >= 0 && terminal_is_raw && owns_terminal(fd)) {
    ::tcsetattr(fd, TCSANOW, &saved_mode);
    terminal_is_raw = 0;
  }
}

void take_default_action(int number) {
  ::signal(number, SIG_DFL);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, number);
  ::raise(number);
  ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
}

void on_signal(int number);

void install(int number) {
  struct sigaction action = {};
  action.sa_handler = on_signal;
  sigfillset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(number, &action, nullptr);
}

void on_signal(int number) {
  int saved_errno = errno;
  give_terminal_back();
  take_default_action(number);
  // Only a stop comes back here, when the process is continued.
  install(number);
  int fd = raw_terminal;
  if (fd >= 0 && !terminal_is_raw && owns_terminal(fd) &&
      ::tcsetattr(fd, TCSANOW, &raw_mode) == 0)
    terminal_is_raw = 1;
  errno = saved_errno;
}

// While the question waits, every signal that would end or stop the run
// first gives the terminal back; one the process ignores or handles already
// is left alone, and so is everything once the answer is in.
void guard_signals(bool on) {
  for (int number = 1; number < NSIG; ++number) {
    if (harmless_by_default(number)) continue;
    if (on) {
      guarded[number] = false;
      if (::sigaction(number, nullptr, &previous_actions[number]) != 0 ||
          previous_actions[number].sa_handler != SIG_DFL)
        continue;
      install(number);
      guarded[number] = true;
    } else if (guarded[number]) {
      ::sigaction(number, &previous_actions[number], nullptr);
      guarded[number] = false;
    }
  }
}

// Sets the terminal's mode with no signal in between, so that a handler
// never sees the mode and the record of it disagree. SIGTTOU stays open: a
// run in the background must stop here rather than take the terminal.
int set_mode(int fd, const struct termios *mode, bool raw) {
  sigset_t all, before;
  sigfillset(&all);
  sigdelset(&all, SIGTTOU);
  ::sigprocmask(SIG_BLOCK, &all, &before);
  int result = 0;
  if (raw || terminal_is_raw) result = ::tcsetattr(fd, TCSANOW, mode);
  terminal_is_raw = raw && result == 0;
  raw_terminal = raw ? fd : -1;
  ::sigprocmask(SIG_SETMASK, &before, nullptr);
  return result;
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

// What one key press sent: up to one character of several bytes.
constexpr std::size_t KEY_BYTES_MAX = 4;

struct Key {
  int character;  // what the read returns: the first byte, or 0 or -1
  unsigned char bytes[KEY_BYTES_MAX];
  std::size_t length;
};

std::size_t utf8_length(unsigned char lead) {
  if (lead >= 0xc2 && lead <= 0xdf) return 2;
  if (lead >= 0xe0 && lead <= 0xef) return 3;
  if (lead >= 0xf0 && lead <= 0xf4) return 4;
  return 0;
}

// Whether the bytes so far are the start of one UTF-8 character.
bool utf8_so_far(const Key &key) {
  std::size_t need = utf8_length(key.bytes[0]);
  if (need == 0 || key.length > need) return false;
  for (std::size_t i = 1; i < key.length; ++i)
    if ((key.bytes[i] & 0xc0) != 0x80) return false;
  return true;
}

bool double_byte_lead(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9f) || (byte >= 0xe0 && byte <= 0xfc);
}

// Whether the bytes so far may still grow into one character, in UTF-8 or
// in the double-byte code page; the terminal's encoding is not known, and
// the bytes of one key press arrive together.
bool character_goes_on(const Key &key) {
  if (utf8_so_far(key)) return key.length < utf8_length(key.bytes[0]);
  return key.length == 1 && double_byte_lead(key.bytes[0]);
}

// Takes the rest of a character that does not fit in one byte, so that none
// of it is left behind for the shell and all of it can be echoed.
int read_rest_of_character(int fd, Key *key) {
  while (key->length < KEY_BYTES_MAX && character_goes_on(*key) &&
         byte_pending(fd, SEQUENCE_GAP_MS)) {
    if (read_byte(fd, &key->bytes[key->length]) != 0) return -1;
    ++key->length;
  }
  return 0;
}

void read_key(int fd, Key *key) {
  key->character = -1;
  key->length = 0;
  if (read_byte(fd, &key->bytes[0]) != 0) return;
  key->length = 1;
  if (key->bytes[0] == 0x1b) {
    key->character = read_escape_sequence(fd);
    return;
  }
  if (key->bytes[0] >= 0x80 && read_rest_of_character(fd, key) != 0) return;
  key->character = key->bytes[0];
}

void echo_key(int fd, const Key &key) {
  // Control bytes would move the cursor; every other key shows whole.
  if (key.character < 0x20 || key.character == 0x7f) return;
  std::size_t length = key.character < 0x80 ? 1 : key.length;
  for (std::size_t i = 1; i < length; ++i)
    if (key.bytes[i] < 0x20 || key.bytes[i] == 0x7f) length = i;
  ssize_t ignored = ::write(fd, key.bytes, length);
  (void)ignored;
}

// Spelled "UTF-8" by most systems, "utf8" or "UTF8" by a few.
bool names_utf8(const char *codeset) {
  const char *want = "utf8";
  for (const char *p = codeset; *p; ++p) {
    if (*p == '-') continue;
    char lower =
        *p >= 'A' && *p <= 'Z' ? static_cast<char>(*p - 'A' + 'a') : *p;
    if (lower != *want) return false;
    ++want;
  }
  return *want == '\0';
}

// The character set a locale's name states, as in "ja_JP.UTF-8@mod", and
// whether it is UTF-8.
bool locale_name_says_utf8(const char *name) {
  const char *dot = std::strchr(name, '.');
  if (!dot) return false;
  char codeset[32];
  std::size_t length = std::strcspn(dot + 1, "@");
  if (length >= sizeof codeset) return false;
  std::memcpy(codeset, dot + 1, length);
  codeset[length] = '\0';
  return names_utf8(codeset);
}

// The locale the user asked for, as the C library picks it, even when this
// system has not generated it (as often over ssh and in containers): a
// UTF-8 terminal must not be shown Shift_JIS because of that.
bool named_locale_is_utf8() {
  static const char *const variables[] = {"LC_ALL", "LC_CTYPE", "LANG"};
  for (const char *variable : variables) {
    const char *value = std::getenv(variable);
    if (value && *value) return locale_name_says_utf8(value);
  }
  return false;
}

// Asked once. The program otherwise runs in the "C" locale, and goes back to
// it, so that nothing else the C library does follows the user's locale.
bool locale_is_utf8() {
  static int answer = -1;
  if (answer < 0) {
    answer = ::setlocale(LC_CTYPE, "") != nullptr
                 ? names_utf8(::nl_langinfo(CODESET))
                 : named_locale_is_utf8();
    ::setlocale(LC_CTYPE, "C");
  }
  return answer == 1;
}

// Old lists and banks name files in any letter case, written for a system
// that ignores it. A name that names nothing as written is looked up again,
// each component that names nothing matched against its directory ignoring
// the case of its letters; only a single match counts.
struct FoundName {
  char path[PATH_MAX];
  // Matches of the last component once all before it are found: 1 when the
  // whole name names something (as written or as found), else 0 or several;
  // -1 when a component before it is not found.
  int last_matches;
};

bool names_something(const char *path) {
  struct stat info;
  return ::lstat(path, &info) == 0;
}

// Whether the bytes are UTF-8 throughout: no stray continuation byte, no
// overlong form, no surrogate, nothing past U+10FFFF.
bool is_utf8(const unsigned char *bytes, std::size_t length) {
  std::size_t i = 0;
  while (i < length) {
    unsigned char lead = bytes[i];
    std::size_t need = lead < 0x80 ? 1 : utf8_length(lead);
    if (need == 0 || length - i < need) return false;
    for (std::size_t k = 1; k < need; ++k)
      if ((bytes[i + k] & 0xc0) != 0x80) return false;
    unsigned char second = need > 1 ? bytes[i + 1] : 0;
    if ((lead == 0xe0 && second < 0xa0) || (lead == 0xed && second > 0x9f) ||
        (lead == 0xf0 && second < 0x90) || (lead == 0xf4 && second > 0x8f))
      return false;
    i += need;
  }
  return true;
}

// A name's letters in one case, where a letter is a whole character. In a
// name in UTF-8 every byte below 0x80 is one. Any other name is read as
// Shift_JIS, whose double-byte characters keep their second byte as it is:
// 8E 52 and 8E 72 are two characters, not one in two cases.
void fold_letters(const char *name, std::size_t length, char *folded) {
  const unsigned char *bytes = reinterpret_cast<const unsigned char *>(name);
  bool utf8 = is_utf8(bytes, length);
  for (std::size_t i = 0; i < length; ++i) {
    unsigned char byte = bytes[i];
    folded[i] =
        static_cast<char>(byte >= 'A' && byte <= 'Z' ? byte - 'A' + 'a' : byte);
    if (!utf8 && double_byte_lead(byte) && i + 1 < length) {
      ++i;
      folded[i] = name[i];
    }
  }
}

std::uint64_t hash_bytes(const char *bytes, std::size_t length) {
  std::uint64_t hash = 14695981039346656037u;
  for (std::size_t i = 0; i < length; ++i) {
    hash ^= static_cast<unsigned char>(bytes[i]);
    hash *= 1099511628211u;
  }
  return hash;
}

#ifdef __APPLE__
const struct timespec &modified(const struct stat &info) {
  return info.st_mtimespec;
}
const struct timespec &changed(const struct stat &info) {
  return info.st_ctimespec;
}
#else
const struct timespec &modified(const struct stat &info) {
  return info.st_mtim;
}
const struct timespec &changed(const struct stat &info) { return info.st_ctim; }
#endif

bool same_time(const struct timespec &a, const struct timespec &b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Whether a directory is as it was: an entry made, removed or renamed in it
// moves its times.
bool unchanged(const struct stat &then, const struct stat &now) {
  return then.st_dev == now.st_dev && then.st_ino == now.st_ino &&
         same_time(modified(then), modified(now)) &&
         same_time(changed(then), changed(now));
}

// The entries of a directory that fold alike: how many, and where the folded
// name, and after it the first such entry's own name, lie in the names.
struct FoldedEntry {
  std::size_t offset;
  std::size_t length;
  int matches;  // 0: an empty slot
};

// A directory read once, so that each name looked up in it costs a probe
// rather than a read of the whole directory (a list of thousands of names
// in another case, in a directory of thousands of files). What it was when
// read is kept with it, and it is read again once it has changed, by this
// process or another.
struct Listing {
  Listing *next;
  char *directory;
  struct stat seen;
  char *names;  // each entry: folded name, zero, own name, zero
  FoldedEntry *slots;
  std::size_t slot_count;  // a power of two, at least twice the entries
};

Listing *listings = nullptr;

// More directories than a run looks in; beyond it the least recent goes.
constexpr int LISTINGS_KEPT = 64;

void free_listing(Listing *listing) {
  std::free(listing->directory);
  std::free(listing->names);
  std::free(listing->slots);
  std::free(listing);
}

// After this process has made or removed a name: a change in the same tick
// of the clock as the read need not move a directory's times.
void forget_listings() {
  while (listings) {
    Listing *next = listings->next;
    free_listing(listings);
    listings = next;
  }
}

FoldedEntry *slot_for(const Listing *listing, const char *folded,
                      std::size_t length) {
  std::size_t mask = listing->slot_count - 1;
  std::size_t at = static_cast<std::size_t>(hash_bytes(folded, length)) & mask;
  for (;; at = (at + 1) & mask) {
    FoldedEntry *slot = &listing->slots[at];
    if (slot->matches == 0 ||
        (slot->length == length &&
         std::memcmp(listing->names + slot->offset, folded, length) == 0))
      return slot;
  }
}

bool append(char **buffer, std::size_t *used, std::size_t *capacity,
            std::size_t more) {
  if (*capacity - *used >= more) return true;
  std::size_t grown = *capacity * 2 + more;
  char *bigger = static_cast<char *>(std::realloc(*buffer, grown));
  if (!bigger) return false;
  *buffer = bigger;
  *capacity = grown;
  return true;
}

// Returns 1 with the listing filled, 0 when the directory cannot be read, -1
// when memory runs out.
int read_listing(const char *directory, Listing *listing) {
  DIR *entries = ::opendir(directory);
  if (!entries) return 0;
  // Taken before the entries, so that a change during the read shows later.
  if (::fstat(::dirfd(entries), &listing->seen) != 0) {
    ::closedir(entries);
    return 0;
  }
  std::size_t used = 0, capacity = 0, count = 0;
  int result = 1;
  while (const struct dirent *entry = ::readdir(entries)) {
    std::size_t length = std::strlen(entry->d_name);
    if (!append(&listing->names, &used, &capacity, 2 * length + 2)) {
      result = -1;
      break;
    }
    char *at = listing->names + used;
    fold_letters(entry->d_name, length, at);
    at[length] = '\0';
    std::memcpy(at + length + 1, entry->d_name, length + 1);
    used += 2 * length + 2;
    ++count;
  }
  ::closedir(entries);
  if (result != 1) return result;
  listing->slot_count = 8;
  while (listing->slot_count < 2 * count) listing->slot_count *= 2;
  listing->slots = static_cast<FoldedEntry *>(
      std::calloc(listing->slot_count, sizeof(FoldedEntry)));
  if (!listing->slots) return -1;
  for (std::size_t offset = 0; offset < used;) {
    std::size_t length = std::strlen(listing->names + offset);
    FoldedEntry *slot = slot_for(listing, listing->names + offset, length);
    if (slot->matches++ == 0) {
      slot->offset = offset;
      slot->length = length;
    }
    offset += 2 * length + 2;
  }
  return 1;
}

// The listing of directory, read now unless one read before still holds.
// Null with *unreadable set when the directory cannot be read, and without
// it when memory runs out.
Listing *listing_of(const char *directory, bool *unreadable) {
  *unreadable = false;
  Listing **link = &listings;
  int kept = 0;
  for (; *link; link = &(*link)->next, ++kept) {
    Listing *listing = *link;
    if (std::strcmp(listing->directory, directory) != 0) continue;
    *link = listing->next;
    struct stat now;
    if (::stat(directory, &now) == 0 && unchanged(listing->seen, now)) {
      listing->next = listings;
      listings = listing;
      return listing;
    }
    free_listing(listing);
    break;
  }
  if (kept >= LISTINGS_KEPT) {
    Listing **last = &listings;
    while ((*last)->next) last = &(*last)->next;
    free_listing(*last);
    *last = nullptr;
  }
  Listing *listing = static_cast<Listing *>(std::calloc(1, sizeof(Listing)));
  std::size_t size = std::strlen(directory) + 1;
  char *copy = listing ? static_cast<char *>(std::malloc(size)) : nullptr;
  if (!copy) {
    std::free(listing);
    return nullptr;
  }
  std::memcpy(copy, directory, size);
  listing->directory = copy;
  int read = read_listing(directory, listing);
  if (read != 1) {
    free_listing(listing);
    *unreadable = read == 0;
    return nullptr;
  }
  listing->next = listings;
  listings = listing;
  return listing;
}

// Counts the entries of directory that are component but for the case of
// its letters; one of them goes to match, which holds length bytes.
int count_matches(const char *directory, const char *component,
                  std::size_t length, char *match) {
  char folded[NAME_MAX + 1];
  fold_letters(component, length, folded);
  bool unreadable;
  if (const Listing *listing = listing_of(directory, &unreadable)) {
    const FoldedEntry *slot = slot_for(listing, folded, length);
    if (slot->matches > 0)
      std::memcpy(match, listing->names + slot->offset + length + 1, length);
    return slot->matches;
  }
  if (unreadable) return 0;
  // Out of memory for the listing: the directory read for this name alone.
  DIR *entries = ::opendir(directory);
  if (!entries) return 0;
  int matches = 0;
  while (const struct dirent *entry = ::readdir(entries)) {
    char entry_folded[NAME_MAX + 1];
    if (std::strlen(entry->d_name) != length) continue;
    fold_letters(entry->d_name, length, entry_folded);
    if (std::memcmp(entry_folded, folded, length) != 0) continue;
    std::memcpy(match, entry->d_name, length);
    ++matches;
  }
  ::closedir(entries);
  return matches;
}

// Returns the name to use: name itself, or found->path with every component
// found that could be.
const char *find_name(const char *name, FoundName *found) {
  found->last_matches = 1;
  std::size_t length = std::strlen(name);
  if (names_something(name)) return name;
  if (errno != ENOENT || length == 0 || length >= sizeof found->path) {
    found->last_matches = length == 0 ? 0 : -1;
    return name;
  }
  char *path = found->path;
  std::memcpy(path, name, length + 1);
  std::size_t start = 0;
  while (start < length) {
    if (path[start] == '/') {
      ++start;
      continue;
    }
    std::size_t end = start;
    while (end < length && path[end] != '/') ++end;
    std::size_t rest = end;
    while (rest < length && path[rest] == '/') ++rest;
    bool last = rest == length;
    char after = path[end];
    path[end] = '\0';
    bool exists = names_something(path);
    path[end] = after;
    if (!exists) {
      std::size_t size = end - start;
      char match[NAME_MAX + 1];
      int matches = 0;
      if (size <= NAME_MAX) {
        char first = path[start];
        path[start] = '\0';
        matches =
            count_matches(start == 0 ? "." : path, name + start, size, match);
        path[start] = first;
      }
      if (matches != 1) {
        found->last_matches = last ? matches : -1;
        return path;
      }
      std::memcpy(path + start, match, size);
    }
    start = end;
  }
  return path;
}

}  // namespace

void platform_start(void) {
  // A closed standard descriptor would be the next file's number, and the
  // console's output would land in that file.
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    int holder = ::open("/dev/null", O_RDWR);
    // Without a null device (a container or chroot that has none), the root
    // directory: it holds the number, and nothing can be written to it.
    if (holder < 0) holder = ::open("/", O_RDONLY | O_DIRECTORY);
    if (holder >= 0 && holder != fd) {
      ::dup2(holder, fd);
      ::close(holder);
    }
  }
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

bool platform_is_utf8_terminal(PlatformFile file) {
  return ::isatty(descriptor(file)) == 1 && locale_is_utf8();
}

void platform_find_name(const char *name, char *found) {
  FoundName lookup;
  const char *use = find_name(name, &lookup);
  std::memcpy(found, use, std::strlen(name) + 1);
}

int platform_open(const char *name, PlatformOpenMode mode, PlatformFile *file) {
  FoundName found;
  name = find_name(name, &found);
  // A name that differs only in letter case is the same name elsewhere.
  if (mode == PLATFORM_OPEN_WRITE_NEW && found.last_matches > 0) return -2;
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
  if ((flags & O_CREAT) != 0) {
    int reason = errno;
    forget_listings();
    errno = reason;
  }
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

int platform_open_regular(const char *name, PlatformFile *file) {
  FoundName found;
  name = find_name(name, &found);
  // Without a writer, a FIFO's open would wait; this one never does.
  int fd;
  do {
    fd = ::open(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  struct stat info;
  int result = 0;
  if (::fstat(fd, &info) != 0)
    result = -1;
  else if (S_ISDIR(info.st_mode))
    result = -2;
  else if (!S_ISREG(info.st_mode))
    result = -3;
  else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
    result = -1;
  if (result != 0) {
    int reason = errno;
    ::close(fd);
    errno = reason;
    return result;
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
  // Nothing to empty, and on some file systems (ext4) a truncation to zero
  // marks the file to be written out at its close, a cost for a new bank.
  if (!S_ISREG(info.st_mode) || info.st_size == 0) return 0;
  int result;
  do {
    result = ::ftruncate(descriptor(file), 0);
  } while (result != 0 && errno == EINTR);
  return result == 0 ? 0 : -1;
}

bool platform_names_open_file(const char *name, PlatformFile file) {
  FoundName found;
  name = find_name(name, &found);
  struct stat named, open;
  if (::stat(name, &named) != 0 || ::fstat(descriptor(file), &open) != 0)
    return false;
  return named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

PlatformFileKind platform_file_kind(const char *name) {
  FoundName found;
  name = find_name(name, &found);
  struct stat info;
  if (::stat(name, &info) != 0) return PLATFORM_FILE_NONE;
  return S_ISDIR(info.st_mode) ? PLATFORM_FILE_DIRECTORY : PLATFORM_FILE_OTHER;
}

PlatformNamedKind platform_look_up(const char *name) {
  FoundName spelling;
  const char *used = find_name(name, &spelling);
  struct stat info;
  if (::stat(used, &info) != 0) return PLATFORM_NAMES_NOTHING;
  if (S_ISDIR(info.st_mode)) return PLATFORM_NAMES_DIRECTORY;
  return S_ISREG(info.st_mode) ? PLATFORM_NAMES_REGULAR
                               : PLATFORM_NAMES_SPECIAL;
}

bool platform_same_name(const char *first, const char *second) {
  std::size_t length = std::strlen(first);
  if (std::strlen(second) != length) return false;
  char *folded = static_cast<char *>(std::malloc(2 * length + 1));
  if (!folded) return std::strcmp(first, second) == 0;
  fold_letters(first, length, folded);
  fold_letters(second, length, folded + length);
  bool same = std::memcmp(folded, folded + length, length) == 0;
  std::free(folded);
  return same;
}

int platform_file_size(const char *name, std::uint64_t *size) {
  FoundName found;
  name = find_name(name, &found);
  struct stat info;
  if (::stat(name, &info) != 0) return -1;
  *size = S_ISDIR(info.st_mode) || info.st_size < 0
              ? 0
              : static_cast<std::uint64_t>(info.st_size);
  return 0;
}

int platform_make_directory(const char *name) {
  FoundName found;
  name = find_name(name, &found);
  if (found.last_matches > 0) return -1;
  forget_listings();
  return ::mkdir(name, 0777) == 0 ? 0 : -1;
}

int platform_remove_file(const char *name) {
  forget_listings();
  return ::unlink(name) == 0 ? 0 : -1;
}

int platform_remove_directory(const char *name) {
  forget_listings();
  return ::rmdir(name) == 0 ? 0 : -1;
}

const char *platform_failure_reason(void) {
  // Nothing sets a locale, so the words are the C locale's: plain English.
  return errno != 0 ? std::strerror(errno) : nullptr;
}

bool platform_same_file(const char *first, const char *second) {
  FoundName found_first, found_second;
  first = find_name(first, &found_first);
  second = find_name(second, &found_second);
  struct stat a, b;
  if (::stat(first, &a) != 0 || ::stat(second, &b) != 0) return false;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

int platform_read_console_key(void) {
  int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  if (::tcgetattr(fd, &saved_mode) != 0) {
    ::close(fd);
    return -1;
  }
  raw_mode = saved_mode;
  raw_mode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
  raw_mode.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | IXON);
  raw_mode.c_cc[VMIN] = 1;
  raw_mode.c_cc[VTIME] = 0;
  guard_signals(true);
  Key key = {-1, {}, 0};
  if (set_mode(fd, &raw_mode, true) == 0) read_key(fd, &key);
  if (set_mode(fd, &saved_mode, false) != 0) key.character = -1;
  guard_signals(false);
  if (key.character >= 0) echo_key(fd, key);
  ::close(fd);
  return key.character;
}

void platform_exit(int status) { std::exit(status); }

PlatformFile platform_std_input(void) { return STDIN_FILENO; }

bool platform_failure_is_closed_pipe(void) { return errno == EPIPE; }

int platform_rename(const char *from, const char *to, bool replace) {
  if (replace) return std::rename(from, to) == 0 ? 0 : -1;
  // A link cannot take a name that is taken, so nothing slips in between a
  // check and the rename.
  if (::link(from, to) == 0) {
    ::unlink(from);
    return 0;
  }
  if (errno == EEXIST) return -2;
  if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) return -1;
  // A file system without links: a check, then the rename.
  struct stat info;
  if (::lstat(to, &info) == 0) return -2;
  return std::rename(from, to) == 0 ? 0 : -1;
}

namespace {

const char *volatile interrupt_removes = nullptr;

void remove_and_end(int signal_number) {
  const char *name = interrupt_removes;
  if (name) ::unlink(name);
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

}  // namespace

void platform_remove_on_interrupt(const char *name) {
  interrupt_removes = name;
  static bool handled = false;
  if (!name || handled) return;
  handled = true;
  // SIGXFSZ too: a file-size limit ends the process as an interrupt would.
  const int signals[] = {SIGINT, SIGTERM, SIGHUP, SIGXFSZ};
  for (int which : signals) {
    struct sigaction action;
    // An ignored signal stays ignored: it would not have ended the process.
    if (::sigaction(which, nullptr, &action) != 0 ||
        action.sa_handler == SIG_IGN)
      continue;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = remove_and_end;
    sigemptyset(&action.sa_mask);
    ::sigaction(which, &action, nullptr);
  }
}
