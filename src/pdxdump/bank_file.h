// Reading a bank file: its size, its table, and stretches of its data.
#ifndef ADPACK_PDXDUMP_BANK_FILE_H
#define ADPACK_PDXDUMP_BANK_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bank/bank_layout.h"
#include "platform/platform.h"

struct BankFile {
  PlatformFile file;
  std::uint64_t size;
  unsigned char table[BANK_TABLE_SIZE];
  std::size_t table_bytes;  // the table's size, or the file's when shorter
  bool standard_input;      // file is standard input, which stays open
  bool in_memory;           // read whole into held: a pipe cannot seek
  std::vector<unsigned char> held;
};

// Opens name, which must be a regular file, and reads its size and table.
// Returns 0, or -1 when it cannot be opened or read (nothing stays open
// then), with the reason in *reason when it is given and one is known.
int open_bank_file(const char *name, BankFile *bank,
                   std::string *reason = nullptr);

// Takes the bank from standard input: read in place when it is a file,
// else (a pipe, a terminal) read whole into memory. Returns as
// open_bank_file does.
int open_bank_input(BankFile *bank, std::string *reason = nullptr);

void close_bank_file(BankFile *bank);

// Copies length bytes from offset in the bank to out. Returns 0, -1 when the
// bank cannot be read there, -2 when out cannot be written, with the reason
// in *reason when it is given and one is known.
int copy_bank_bytes(const BankFile *bank, std::uint64_t offset,
                    std::uint64_t length, PlatformFile out,
                    std::string *reason = nullptr);

// Reads up to size bytes from offset in the bank into buffer. Returns the
// count read, short only where the file ends, or -1 when it cannot be read.
std::ptrdiff_t read_bank_bytes(const BankFile *bank, std::uint64_t offset,
                               void *buffer, std::size_t size);

// Writes all of size bytes. Returns 0, or -1 when the file refuses some.
int write_all(PlatformFile file, const void *bytes, std::size_t size);

// Why the platform call that has just failed failed, as printable ASCII, or
// an empty string when the system gave no reason.
std::string failure_reason();

#endif
