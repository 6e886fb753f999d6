// The bank's samples decoded, whole or as WAV files.
#ifndef ADPACK_PDXDUMP_BANK_WAV_H
#define ADPACK_PDXDUMP_BANK_WAV_H

#include <cstdint>
#include <vector>

#include "pdxdump/bank_file.h"

// Decodes length bytes from offset in the bank and writes them to out as a
// WAV file. Returns 0, -1 when the bank cannot be read there, -2 when out
// cannot be written.
int write_wav_file(const BankFile *bank, std::uint64_t offset,
                   std::uint64_t length, unsigned rate, PlatformFile out);

// Decodes as much of length bytes from offset as the bank holds into
// *signal. Returns 0, or -1 when the bank cannot be read.
int decode_bank_sample(const BankFile *bank, std::uint64_t offset,
                       std::uint64_t length, std::vector<std::int16_t> *signal);

#endif
