#include "pdxdump/wav.h"

#include <algorithm>

#include "adpcm/adpcm.h"

namespace {

constexpr std::size_t CHUNK_BYTES = 32 * 1024;
constexpr std::uint64_t WAV_SIZE_LIMIT = 0xffffffffu;

void put16(std::string *out, unsigned value) {
  *out += static_cast<char>(value & 0xff);
  *out += static_cast<char>((value >> 8) & 0xff);
}

void put32(std::string *out, std::uint64_t value) {
  put16(out, static_cast<unsigned>(value & 0xffff));
  put16(out, static_cast<unsigned>((value >> 16) & 0xffff));
}

// Little-endian whatever the host, scaled to 16 bits; through a small
// buffer, since resizing would first fill megabytes with zeros.
void put_samples(std::string *out, const std::int16_t *signal,
                 std::size_t count) {
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

}  // namespace

void append_wav_samples(const std::int16_t *signal, std::size_t count,
                        std::string *bytes) {
  put_samples(bytes, signal, count);
}

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

void wav_file_bytes(const std::vector<std::int16_t> &signal, unsigned rate,
                    std::string *bytes) {
  bytes->assign(wav_header(signal.size(), rate));
  put_samples(bytes, signal.data(), signal.size());
}

int write_wav_file(const BankFile *bank, std::uint64_t offset,
                   std::uint64_t length, unsigned rate, PlatformFile out) {
  std::string header = wav_header(decoded_sample_count(length), rate);
  if (write_all(out, header.data(), header.size()) != 0) return -2;
  static unsigned char coded[CHUNK_BYTES];
  static std::int16_t signal[CHUNK_BYTES * ADPCM_SAMPLES_PER_BYTE];
  std::string bytes;
  AdpcmState state = {0, 0};
  while (length > 0) {
    std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(length, CHUNK_BYTES));
    if (read_bank_bytes(bank, offset, coded, want) !=
        static_cast<std::ptrdiff_t>(want))
      return -1;
    adpcm_decode(coded, want, &state, signal);
    bytes.clear();
    put_samples(&bytes, signal, want * ADPCM_SAMPLES_PER_BYTE);
    if (write_all(out, bytes.data(), bytes.size()) != 0) return -2;
    offset += want;
    length -= want;
  }
  return 0;
}

int decode_bank_sample(const BankFile *bank, std::uint64_t offset,
                       std::uint64_t length,
                       std::vector<std::int16_t> *signal) {
  signal->clear();
  if (offset >= bank->size) return 0;
  std::size_t there = static_cast<std::size_t>(
      std::min<std::uint64_t>(length, bank->size - offset));
  std::vector<unsigned char> coded(there);
  if (read_bank_bytes(bank, offset, coded.data(), there) !=
      static_cast<std::ptrdiff_t>(there))
    return -1;
  signal->resize(there * ADPCM_SAMPLES_PER_BYTE);
  AdpcmState state = {0, 0};
  adpcm_decode(coded.data(), there, &state, signal->data());
  return 0;
}
