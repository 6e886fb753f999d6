// The WAV files that carry decoded samples, for every program that writes
// them: 16-bit mono PCM, the 12-bit signal scaled to the full width.
#ifndef ADPACK_WAV_WAV_H
#define ADPACK_WAV_WAV_H

#include <cstdint>
#include <string>
#include <vector>

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

// Appends count signals to *out as the WAV file's data: little-endian,
// scaled to 16 bits.
void wav_append_samples(const std::int16_t *signal, std::size_t count,
                        std::string *out);

#endif
