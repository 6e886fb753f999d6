#include "pdxdump/sound_file.h"

#include <cstring>

namespace {

bool begins_with(const unsigned char *bytes, std::size_t count, std::size_t at,
                 const char *text) {
  std::size_t length = std::strlen(text);
  return count >= at + length && std::memcmp(bytes + at, text, length) == 0;
}

// An MPEG audio frame header: the sync bits, then a version, layer, bit rate
// and sampling rate that are not the reserved values. Raw ADPCM starts so by
// chance once in several thousand samples; a note is cheap then.
bool is_mpeg_frame(const unsigned char *bytes, std::size_t count) {
  if (count < 3 || bytes[0] != 0xff || (bytes[1] & 0xe0) != 0xe0) return false;
  unsigned version = (bytes[1] >> 3) & 3u, layer = (bytes[1] >> 1) & 3u;
  unsigned bit_rate = bytes[2] >> 4, sampling = (bytes[2] >> 2) & 3u;
  return version != 1 && layer != 0 && bit_rate != 0 && bit_rate != 15 &&
         sampling != 3;
}

}  // namespace

const char *sound_file_format(const unsigned char *bytes, std::size_t count) {
  if (begins_with(bytes, count, 0, "RIFF") &&
      begins_with(bytes, count, 8, "WAVE"))
    return "WAV";
  if (begins_with(bytes, count, 0, "FORM") &&
      (begins_with(bytes, count, 8, "AIFF") ||
       begins_with(bytes, count, 8, "AIFC")))
    return "AIFF";
  if (begins_with(bytes, count, 0, "fLaC")) return "FLAC";
  if (begins_with(bytes, count, 0, "OggS")) return "Ogg";
  if (begins_with(bytes, count, 0, "ID3") || is_mpeg_frame(bytes, count))
    return "MP3";
  return nullptr;
}

std::string sound_file_remark(const char *format) {
  return "begins like " + std::string(format[0] == 'A' ? "an " : "a ") +
         format +
         " file, not ADPCM: its bytes play as noise; make the sample with "
         "'adpcm encode'";
}
