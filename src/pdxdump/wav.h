// Samples decoded from the bank, and the WAV files that carry them: 16-bit
// mono PCM, the 12-bit signal scaled to the full width.
#ifndef ADPACK_PDXDUMP_WAV_H
#define ADPACK_PDXDUMP_WAV_H

#include <cstdint>
#include <string>
#include <vector>

#include "pdxdump/bank_file.h"

constexpr int WAV_SCALE = 16;
constexpr std::size_t WAV_HEADER_SIZE = 44;

// The samples a length of coded bytes decodes to.
std::uint64_t decoded_sample_count(std::uint64_t length);

// Seconds that length coded bytes play for at rate.
double sample_seconds(std::uint64_t length, unsigned rate);

// Whether a WAV of length coded bytes keeps within the format's 32-bit sizes.
bool wav_fits(std::uint64_t length);

// The header of a WAV of sample_count samples at rate.
std::string wav_header(std::uint64_t sample_count, unsigned rate);

// A whole WAV file of the decoded signal, in place of *bytes.
void wav_file_bytes(const std::vector<std::int16_t> &signal, unsigned rate,
                    std::string *bytes);

// Appends count samples of the signal as the WAV file holds them.
void append_wav_samples(const std::int16_t *signal, std::size_t count,
                        std::string *bytes);

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
