// Samples that are really sound files: adpack copies whatever bytes a file
// holds, so a WAV named in a list becomes a slot of noise. Their first bytes
// give them away.
#ifndef ADPACK_PDXDUMP_SOUND_FILE_H
#define ADPACK_PDXDUMP_SOUND_FILE_H

#include <cstddef>
#include <string>

// How many first bytes sound_file_format needs to tell every format.
constexpr std::size_t SOUND_FILE_HEAD_SIZE = 12;

// The format whose header count bytes begin with ("WAV", "AIFF", "FLAC",
// "Ogg", "MP3"), or null when they begin like none of them.
const char *sound_file_format(const unsigned char *bytes, std::size_t count);

// The note's words after what is named: "begins like a WAV file, ...".
std::string sound_file_remark(const char *format);

#endif
