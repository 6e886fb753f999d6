#include "wav/wav.h"

#include <algorithm>

#include "adpcm/adpcm.h"

namespace {

constexpr std::uint64_t WAV_SIZE_LIMIT = 0xffffffffu;

void put16(std::string *out, unsigned value) {
  *out += static_cast<char>(value & 0xff);
  *out += static_cast<char>((value >> 8) & 0xff);
}

void put32(std::string *out, std::uint64_t value) {
  put16(out, static_cast<unsigned>(value & 0xffff));
  put16(out, static_cast<unsigned>((value >> 16) & 0xffff));
}

}  // namespace

std::uint64_t decoded_sample_count(std::uint64_t length) {
  return length * ADPCM_SAMPLES_PER_BYTE;
}

double sample_seconds(std::uint64_t length, unsigned rate) {
  return static_cast<double>(decoded_sample_count(length)) / rate;
}

bool wav_fits(std::uint64_t length) {
  return WAV_HEADER_SIZE - 8 + decoded_sample_count(length) * 2 <=
         WAV_SIZE_LIMIT;
}

std::string wav_header(std::uint64_t sample_count, unsigned rate) {
  std::uint64_t data_bytes = sample_count * 2;
  std::string header = "RIFF";
  put32(&header, WAV_HEADER_SIZE - 8 + data_bytes);
  header += "WAVEfmt ";
  put32(&header, 16);
  put16(&header, 1);  // integer PCM
  put16(&header, 1);  // mono
  put32(&header, rate);
  put32(&header, rate * 2u);  // bytes a second
  put16(&header, 2);          // bytes a frame
  put16(&header, 16);         // bits a sample
  header += "data";
  put32(&header, data_bytes);
  return header;
}

// Through a small buffer, since resizing would first fill megabytes with zeros.
void wav_append_samples(const std::int16_t *signal, std::size_t count,
                        std::string *out) {
  char buffer[4096];
  std::size_t used = 0;
  for (std::size_t i = 0; i < count; ++i) {
    unsigned v = static_cast<unsigned>(signal[i] * WAV_SCALE);
    buffer[used++] = static_cast<char>(v & 0xff);
    buffer[used++] = static_cast<char>((v >> 8) & 0xff);
    if (used == sizeof buffer) {
      out->append(buffer, used);
      used = 0;
    }
  }
  out->append(buffer, used);
}

void wav_file_bytes(const std::vector<std::int16_t> &signal, unsigned rate,
                    std::string *bytes) {
  bytes->assign(wav_header(signal.size(), rate));
  wav_append_samples(signal.data(), signal.size(), bytes);
}
