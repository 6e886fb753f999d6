#include "adpcm/encoder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "adpcm/test_signals.h"

namespace {

constexpr unsigned RATE = ADPCM_DEFAULT_RATE;
const AdpcmQuality QUALITIES[] = {ADPCM_QUALITY_FAST, ADPCM_QUALITY_GOOD,
                                  ADPCM_QUALITY_BEST};

AdpcmCodes encode(const std::vector<std::int16_t> &target, AdpcmQuality quality,
                  bool settle = true, std::size_t piece = 0) {
  AdpcmEncoder encoder;
  AdpcmCodes codes;
  adpcm_encoder_start(&encoder, quality);
  if (piece == 0) piece = target.size();
  for (std::size_t at = 0; at < target.size(); at += piece)
    adpcm_encode(&encoder, target.data() + at,
                 std::min(piece, target.size() - at), &codes);
  adpcm_encoder_finish(&encoder, settle, &codes);
  return codes;
}

// What the decoder plays of the packed codes.
std::vector<std::int16_t> played(const AdpcmCodes &codes) {
  std::vector<unsigned char> bytes(codes.codes.size() / 2);
  adpcm_pack_codes(codes.codes.data(), codes.codes.size(), bytes.data());
  std::vector<std::int16_t> signal(codes.codes.size());
  AdpcmState state = {0, 0};
  adpcm_decode(bytes.data(), bytes.size(), &state, signal.data());
  return signal;
}

std::vector<std::int16_t> target_of(const std::string &name) {
  return levelled_12_bit(test_signal(name, RATE));
}

double snr(const std::string &name, AdpcmQuality quality) {
  static std::map<std::pair<std::string, int>, double> known;
  auto key = std::make_pair(name, static_cast<int>(quality));
  if (!known.count(key)) {
    std::vector<std::int16_t> target = target_of(name);
    known[key] = snr_db(target, played(encode(target, quality)));
  }
  return known[key];
}

// The test that catches a model of the decoder that drifts from it: what
// the encoder believed it wrote is what the decoder plays.
TEST(Encoder, ReconstructionIsWhatTheDecoderPlays) {
  for (const std::string &name : test_signal_names()) {
    for (AdpcmQuality quality : QUALITIES) {
      for (bool settle : {true, false}) {
        SCOPED_TRACE(name + " quality " + std::to_string(quality) +
                     (settle ? " settled" : " exact"));
        std::vector<std::int16_t> target = target_of(name);
        AdpcmCodes codes = encode(target, quality, settle);
        ASSERT_EQ(codes.codes.size() % 2, 0u);
        ASSERT_GE(codes.codes.size(), target.size());
        EXPECT_EQ(played(codes), codes.signal);
        if (!settle) {
          EXPECT_LE(codes.codes.size(), target.size() + 1);
        }
      }
    }
  }
}

TEST(Encoder, WiderSearchesScoreHigher) {
  for (const std::string &name : test_signal_names()) {
    SCOPED_TRACE(name);
    EXPECT_GE(snr(name, ADPCM_QUALITY_GOOD), snr(name, ADPCM_QUALITY_FAST));
    EXPECT_GE(snr(name, ADPCM_QUALITY_BEST), snr(name, ADPCM_QUALITY_GOOD));
  }
  for (const char *name : {"noise", "speech"}) {
    SCOPED_TRACE(name);
    EXPECT_GE(snr(name, ADPCM_QUALITY_GOOD),
              snr(name, ADPCM_QUALITY_FAST) + 1.5);
  }
}

TEST(Encoder, SpeechReachesItsMark) {
  EXPECT_GE(snr("speech", ADPCM_QUALITY_GOOD), 26.5);
}

TEST(Encoder, SettlesNearZeroInFewCodes) {
  // Cut off at full swing: the last samples stand far from 0.
  std::vector<std::int16_t> target(991);
  for (std::size_t i = 0; i < target.size(); ++i)
    target[i] = static_cast<std::int16_t>((i / 40) % 2 == 0 ? 1800 : -1800);
  for (AdpcmQuality quality : QUALITIES) {
    SCOPED_TRACE(quality);
    AdpcmCodes exact = encode(target, quality, false);
    ASSERT_GT(std::abs(exact.signal[target.size() - 1]), 1000);
    AdpcmCodes settled = encode(target, quality, true);
    EXPECT_LE(settled.codes.size(), target.size() + ADPCM_SETTLE_MAX_CODES + 1);
    EXPECT_LE(std::abs(settled.signal.back()), ADPCM_SETTLE_LEVEL);
    // Settling adds codes after the input and changes none before.
    EXPECT_THAT(std::vector<std::int16_t>(
                    settled.signal.begin(),
                    settled.signal.begin() +
                        static_cast<std::ptrdiff_t>(target.size())),
                testing::ElementsAreArray(exact.signal.data(), target.size()));
  }
}

TEST(Encoder, SilenceNeedsNoSettling) {
  std::vector<std::int16_t> silence(100, 0);
  for (AdpcmQuality quality : QUALITIES) {
    AdpcmCodes codes = encode(silence, quality, true);
    EXPECT_EQ(codes.codes.size(), 100u);
    for (std::int16_t s : codes.signal) EXPECT_LE(std::abs(s), 2);
  }
}

TEST(Encoder, OddCountsArePaddedWithTheLeastMove) {
  for (std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{3}}) {
    std::vector<std::int16_t> target(count, 30);
    AdpcmCodes codes = encode(target, ADPCM_QUALITY_GOOD, false);
    EXPECT_EQ(codes.codes.size(), (count + 1) / 2 * 2);
    if (count % 2 == 1) {
      int before = codes.signal[count - 1];
      // From any step index the least move is an eighth of the step.
      EXPECT_LE(std::abs(codes.signal.back() - before), 194);
      EXPECT_EQ(played(codes), codes.signal);
    }
  }
}

// Commits cut the search every ADPCM_COMMIT_SAMPLES, whatever the caller's
// pieces: the same codes either way, and the same memory after ten windows
// as after one.
TEST(Encoder, LongInputsInPiecesAndInBoundedMemory) {
  std::vector<double> speech = test_signal("speech", RATE);
  std::vector<double> longer;
  while (longer.size() < 10 * ADPCM_COMMIT_SAMPLES)
    longer.insert(longer.end(), speech.begin(), speech.end());
  std::vector<std::int16_t> target = levelled_12_bit(longer);
  AdpcmCodes whole = encode(target, ADPCM_QUALITY_GOOD);
  AdpcmCodes pieces = encode(target, ADPCM_QUALITY_GOOD, true, 1000);
  EXPECT_EQ(whole.codes, pieces.codes);

  AdpcmEncoder encoder;
  AdpcmCodes codes;
  adpcm_encoder_start(&encoder, ADPCM_QUALITY_BEST);
  adpcm_encode(&encoder, target.data(), ADPCM_COMMIT_SAMPLES, &codes);
  std::size_t held = encoder.rows.capacity();
  adpcm_encode(&encoder, target.data() + ADPCM_COMMIT_SAMPLES,
               target.size() - ADPCM_COMMIT_SAMPLES, &codes);
  EXPECT_EQ(encoder.rows.capacity(), held);
  EXPECT_LE(encoder.row_starts.size(), ADPCM_COMMIT_SAMPLES + 1);
}

}  // namespace
