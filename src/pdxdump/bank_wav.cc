#include "pdxdump/bank_wav.h"

#include <algorithm>

#include "adpcm/adpcm.h"
#include "wav/wav.h"

namespace {

constexpr std::size_t CHUNK_BYTES = 32 * 1024;

}  // namespace

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
    wav_append_samples(signal, want * ADPCM_SAMPLES_PER_BYTE, &bytes);
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
