#include "pdxdump/bank_file.h"

#include <algorithm>

#include "pdxdump/ascii.h"

namespace {

constexpr std::size_t COPY_CHUNK = 64 * 1024;

// Reads exactly size bytes unless the file ends or fails first. Returns 0,
// or -1 after setting *reason.
int read_fully(PlatformFile file, unsigned char *buffer, std::size_t size,
               std::string *reason) {
  std::size_t done = 0;
  while (done < size) {
    std::ptrdiff_t n = platform_read(file, buffer + done, size - done);
    if (n < 0) {
      *reason = failure_reason();
      return -1;
    }
    // The file has shrunk since its size was taken.
    if (n == 0) {
      *reason = "The file ended early";
      return -1;
    }
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

void set_table_bytes(BankFile *bank) {
  bank->table_bytes = static_cast<std::size_t>(
      std::min<std::uint64_t>(bank->size, BANK_TABLE_SIZE));
}

// Everything that is left to read of file.
int read_to_end(PlatformFile file, std::vector<unsigned char> *bytes,
                std::string *reason) {
  unsigned char chunk[COPY_CHUNK];
  for (;;) {
    std::ptrdiff_t n = platform_read(file, chunk, sizeof chunk);
    if (n < 0) {
      *reason = failure_reason();
      return -1;
    }
    if (n == 0) return 0;
    bytes->insert(bytes->end(), chunk, chunk + n);
  }
}

}  // namespace

int open_bank_input(BankFile *bank, std::string *reason) {
  std::string ignored;
  if (!reason) reason = &ignored;
  bank->file = platform_std_input();
  bank->standard_input = true;
  bank->in_memory = false;
  bank->held.clear();
  std::int64_t end = platform_seek(bank->file, 0, PLATFORM_SEEK_END);
  if (end < 0 || platform_is_char_device(bank->file)) {
    if (read_to_end(bank->file, &bank->held, reason) != 0) return -1;
    bank->in_memory = true;
    bank->size = bank->held.size();
  } else {
    if (platform_seek(bank->file, 0, PLATFORM_SEEK_START) != 0) {
      *reason = failure_reason();
      return -1;
    }
    bank->size = static_cast<std::uint64_t>(end);
  }
  set_table_bytes(bank);
  if (read_bank_bytes(bank, 0, bank->table, bank->table_bytes) !=
      static_cast<std::ptrdiff_t>(bank->table_bytes)) {
    *reason = failure_reason();
    return -1;
  }
  return 0;
}

int open_bank_file(const char *name, BankFile *bank, std::string *reason) {
  std::string ignored;
  if (!reason) reason = &ignored;
  bank->standard_input = false;
  bank->in_memory = false;
  bank->held.clear();
  switch (platform_open_regular(name, &bank->file)) {
    case 0:
      break;
    case -2:
      *reason = "Is a directory";
      return -1;
    case -3:
      *reason = "Not a regular file";
      return -1;
    default:
      *reason = failure_reason();
      return -1;
  }
  std::int64_t end = platform_seek(bank->file, 0, PLATFORM_SEEK_END);
  if (end < 0 || platform_seek(bank->file, 0, PLATFORM_SEEK_START) != 0) {
    *reason = failure_reason();
    platform_close(bank->file);
    return -1;
  }
  bank->size = static_cast<std::uint64_t>(end);
  set_table_bytes(bank);
  if (read_fully(bank->file, bank->table, bank->table_bytes, reason) != 0) {
    platform_close(bank->file);
    return -1;
  }
  return 0;
}

void close_bank_file(BankFile *bank) {
  if (!bank->standard_input) platform_close(bank->file);
  bank->held = std::vector<unsigned char>();
}

int copy_bank_bytes(const BankFile *bank, std::uint64_t offset,
                    std::uint64_t length, PlatformFile out,
                    std::string *reason) {
  std::string ignored;
  if (!reason) reason = &ignored;
  if (bank->in_memory) {
    if (offset > bank->size || length > bank->size - offset) {
      *reason = "The file ended early";
      return -1;
    }
    if (write_all(out, bank->held.data() + offset,
                  static_cast<std::size_t>(length)) != 0) {
      *reason = failure_reason();
      return -2;
    }
    return 0;
  }
  if (platform_seek(bank->file, static_cast<std::int64_t>(offset),
                    PLATFORM_SEEK_START) < 0) {
    *reason = failure_reason();
    return -1;
  }
  static unsigned char chunk[COPY_CHUNK];
  while (length > 0) {
    std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(length, COPY_CHUNK));
    if (read_fully(bank->file, chunk, want, reason) != 0) return -1;
    if (write_all(out, chunk, want) != 0) {
      *reason = failure_reason();
      return -2;
    }
    length -= want;
  }
  return 0;
}

std::ptrdiff_t read_bank_bytes(const BankFile *bank, std::uint64_t offset,
                               void *buffer, std::size_t size) {
  if (offset >= bank->size) return 0;
  if (bank->in_memory) {
    size = static_cast<std::size_t>(
        std::min<std::uint64_t>(size, bank->size - offset));
    std::copy_n(bank->held.data() + offset, size,
                static_cast<unsigned char *>(buffer));
    return static_cast<std::ptrdiff_t>(size);
  }
  if (platform_seek(bank->file, static_cast<std::int64_t>(offset),
                    PLATFORM_SEEK_START) < 0)
    return -1;
  size = static_cast<std::size_t>(
      std::min<std::uint64_t>(size, bank->size - offset));
  std::string reason;
  if (read_fully(bank->file, static_cast<unsigned char *>(buffer), size,
                 &reason) != 0)
    return -1;
  return static_cast<std::ptrdiff_t>(size);
}

int write_all(PlatformFile file, const void *bytes, std::size_t size) {
  const unsigned char *next = static_cast<const unsigned char *>(bytes);
  while (size > 0) {
    std::ptrdiff_t n = platform_write(file, next, size);
    if (n <= 0) return -1;
    next += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

std::string failure_reason() {
  const char *reason = platform_failure_reason();
  return reason ? printable_name(reason) : std::string();
}
