// Reads a WAV file it writes itself through libsndfile and resamples it
// with libsamplerate; prints what it found and exits 1 on any mismatch.
#include <samplerate.h>
#include <sndfile.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

constexpr std::array<std::int16_t, 8> kSamples = {0,      1000,  -1000, 32767,
                                                  -32768, 12345, -54,   7};
constexpr int kRate = 8000;

void put_le(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) {
    out.push_back(static_cast<char>((value >> (8 * i)) & 0xffu));
  }
}

std::string wav_bytes() {
  const auto data_size =
      static_cast<std::uint32_t>(kSamples.size() * sizeof(std::int16_t));
  std::string out = "RIFF";
  put_le(out, 36 + data_size, 4);
  out += "WAVEfmt ";
  put_le(out, 16, 4);
  put_le(out, 1, 2);  // PCM
  put_le(out, 1, 2);  // mono
  put_le(out, kRate, 4);
  put_le(out, kRate * 2, 4);
  put_le(out, 2, 2);
  put_le(out, 16, 2);
  out += "data";
  put_le(out, data_size, 4);
  for (const std::int16_t sample : kSamples) {
    put_le(out, static_cast<std::uint16_t>(sample), 2);
  }
  return out;
}

bool read_back(const char* path) {
  {
    std::ofstream file(path, std::ios::binary);
    file << wav_bytes();
    if (!file.flush()) {
      std::fprintf(stderr, "cannot write %s\n", path);
      return false;
    }
  }
  SF_INFO info{};
  SNDFILE* sound = sf_open(path, SFM_READ, &info);
  if (sound == nullptr) {
    std::fprintf(stderr, "sf_open %s: %s\n", path, sf_strerror(nullptr));
    return false;
  }
  std::array<short, kSamples.size() + 1> read{};
  const sf_count_t count = sf_read_short(sound, read.data(), read.size());
  sf_close(sound);
  std::printf("read %lld frames at %d Hz, %d channel(s), format 0x%x\n",
              static_cast<long long>(count), info.samplerate, info.channels,
              static_cast<unsigned>(info.format));
  if (count != static_cast<sf_count_t>(kSamples.size()) ||
      info.samplerate != kRate || info.channels != 1 ||
      info.format != (SF_FORMAT_WAV | SF_FORMAT_PCM_16)) {
    return false;
  }
  for (std::size_t i = 0; i < kSamples.size(); ++i) {
    if (read[i] != kSamples[i]) {
      std::fprintf(stderr, "sample %zu is %d, not %d\n", i, read[i],
                   kSamples[i]);
      return false;
    }
  }
  return true;
}

bool resample() {
  std::array<float, 64> in{};
  for (std::size_t i = 0; i < in.size(); ++i) {
    in[i] = (i % 8 < 4) ? 0.5f : -0.5f;
  }
  std::array<float, 160> out{};
  SRC_DATA data{};
  data.data_in = in.data();
  data.input_frames = static_cast<long>(in.size());
  data.data_out = out.data();
  data.output_frames = static_cast<long>(out.size());
  data.src_ratio = 2.0;
  const int error = src_simple(&data, SRC_SINC_BEST_QUALITY, 1);
  std::printf("src_simple: %s, %ld frames in, %ld out\n", src_strerror(error),
              data.input_frames_used, data.output_frames_gen);
  return error == 0 && data.input_frames_used == 64 &&
         data.output_frames_gen >= 120 && data.output_frames_gen <= 128;
}

}  // namespace

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : "sound_libraries_check.wav";
  std::printf("%s, %s\n", sf_version_string(), src_get_version());
  const bool read_ok = read_back(path);
  const bool resample_ok = resample();
  std::remove(path);
  std::puts(read_ok && resample_ok ? "ok" : "FAILED");
  return read_ok && resample_ok ? 0 : 1;
}
