#include "bank/placed_samples.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "bank/bank_layout.h"
#include "driver/messages.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PLACED_TEST_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define PLACED_TEST_SANITIZER 1
#endif

namespace {

std::array<unsigned char, 4> bytes_of(std::uint32_t value) {
  std::array<unsigned char, 4> bytes;
  std::memcpy(bytes.data(), &value, 4);
  return bytes;
}

TEST(ByteOrder, StoresMostSignificantByteFirst) {
  using Bytes = std::array<unsigned char, 4>;
  EXPECT_EQ(bytes_of(to_big_endian32(768)), (Bytes{0x00, 0x00, 0x03, 0x00}));
  EXPECT_EQ(bytes_of(to_big_endian32(1000)), (Bytes{0x00, 0x00, 0x03, 0xe8}));
  EXPECT_EQ(bytes_of(to_big_endian32(0x01020304)), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(bytes_of(to_big_endian32(0xfffffffe)),
            (Bytes{0xff, 0xff, 0xff, 0xfe}));
}

// The registry is process-wide and never shrinks, so one test walks it
// through its life in order.
TEST(PlacedSamples, SharesByExactNameOnly) {
  std::uint32_t offset = 11, length = 22;
  EXPECT_EQ(find_placed_sample("kick.pcm", &offset, &length), -1);
  EXPECT_EQ(offset, 11u);
  EXPECT_EQ(length, 22u);

  remember_placed_sample("kick.pcm", 0x00030000u, 0xe8030000u);
  remember_placed_sample("", 5, 6);
  remember_placed_sample("snare\x83\x5c.pcm", 7, 8);

  ASSERT_EQ(find_placed_sample("kick.pcm", &offset, &length), 0);
  EXPECT_EQ(offset, 0x00030000u);
  EXPECT_EQ(length, 0xe8030000u);
  ASSERT_EQ(find_placed_sample("snare\x83\x5c.pcm", &offset, &length), 0);
  EXPECT_EQ(offset, 7u);
  ASSERT_EQ(find_placed_sample("", &offset, &length), 0);
  EXPECT_EQ(length, 6u);

  offset = length = 99;
  for (const char *other : {"KICK.PCM", "kick.pc", "kick.pcmx", "./kick.pcm",
                            "snare\x83\x5d.pcm"}) {
    EXPECT_EQ(find_placed_sample(other, &offset, &length), -1) << other;
  }
  EXPECT_EQ(offset, 99u);
  EXPECT_EQ(length, 99u);
}

TEST(PlacedSamples, KeepsItsOwnCopyOfTheName) {
  char name[] = "hat.pcm";
  remember_placed_sample(name, 1, 2);
  std::strcpy(name, "xyz.pcm");
  std::uint32_t offset = 0, length = 0;
  EXPECT_EQ(find_placed_sample("hat.pcm", &offset, &length), 0);
  EXPECT_EQ(find_placed_sample("xyz.pcm", &offset, &length), -1);
}

#ifndef PLACED_TEST_SANITIZER
// Remembers new names under an address-space limit until memory runs out,
// which must end the run.
void remember_until_memory_runs_out() {
  std::ifstream statm("/proc/self/statm");
  unsigned long pages = 0;
  statm >> pages;
  rlim_t limit =
      static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) +
      (64u << 20);
  struct rlimit rl = {limit, limit};
  if (setrlimit(RLIMIT_AS, &rl) != 0) std::_Exit(3);
  char name[32];
  for (unsigned i = 0; i < 50000000u; ++i) {
    std::snprintf(name, sizeof name, "n%u.pcm", i);
    remember_placed_sample(name, i, i);
  }
  std::_Exit(4);
}
#endif

// Lookups by name must stay cheap however many samples there are, so the
// registry keeps an index beside its records; the index's growth must run
// out of memory as the records do, with the message and the run's status.
TEST(PlacedSamplesDeathTest, RunsOutOfMemoryWithTheMessage) {
#ifdef PLACED_TEST_SANITIZER
  GTEST_SKIP() << "the sanitizer's shadow memory cannot live under RLIMIT_AS";
#else
  std::string message = MSG_NO_MEMORY.text;
  std::erase(message, '\n');
  EXPECT_EXIT(remember_until_memory_runs_out(), testing::ExitedWithCode(255),
              message);
#endif
}

}  // namespace
