// The list check never disagrees with the build, as a property over random
// lists and sample directories: pdxdump --list --json predicts the slot
// table and the bank's size, adpack builds the bank, and the bank is the
// one predicted; on a list adpack refuses, the check's first stop is the
// line where adpack stopped.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/json_fields.h"
#include "support/process.h"

namespace {

using adpack_test::json_member;
using adpack_test::numbers_after;
using adpack_test::read_file;
using adpack_test::run;
using adpack_test::RunResult;
using adpack_test::TempDir;
using adpack_test::write_file;

constexpr unsigned kSeedCount = 150;

unsigned below(std::mt19937 &rng, unsigned bound) {
  return static_cast<unsigned>(rng() % bound);
}

struct Case {
  std::vector<std::pair<std::string, std::string>> files;
  std::string list;
};

// Mostly lists that build, with now and then a line that trips adpack or the
// reading: a slot out of range, a missing name, a directory, the bank, an
// indented or overlong line, carriage returns, a last line without its feed.
Case make_case(unsigned seed) {
  std::mt19937 rng(seed);
  Case c;
  unsigned file_count = 1 + below(rng, 5);
  std::vector<std::string> names;
  for (unsigned i = 0; i < file_count; ++i) {
    std::string name = "f" + std::to_string(i) + ".raw";
    std::string bytes(below(rng, 4) == 0 ? 0 : 1 + below(rng, 900), '\0');
    for (char &byte : bytes) byte = static_cast<char>(below(rng, 256));
    c.files.emplace_back(name, bytes);
    names.push_back(name);
  }
  c.files.emplace_back("Cap.RAW", std::string(1 + below(rng, 50), 'c'));
  names.insert(names.end(), {"./f0.raw", "cap.raw", "Cap.RAW"});
  const std::vector<std::string> odd_names = {"missing.raw", "dir", "bos.pdx",
                                              "BOS.PDX", ""};
  unsigned line_count = below(rng, 30);
  for (unsigned i = 0; i < line_count; ++i) {
    unsigned roll = below(rng, 100);
    std::string end = below(rng, 8) == 0 ? "\r\n" : "\n";
    if (roll < 8) {
      c.list += "* comment" + end;
    } else if (roll < 11) {
      c.list += end;
    } else if (roll < 13) {
      c.list += " " + std::to_string(below(rng, 96)) + " = f0.raw" + end;
    } else if (roll < 15) {
      c.list += "* " + std::string(250 + below(rng, 10), 'x') +
                std::to_string(below(rng, 96)) + "=f1.raw" + end;
    } else {
      std::string slot = std::to_string(below(rng, 96));
      if (below(rng, 40) == 0) slot = std::to_string(96 + below(rng, 200));
      if (below(rng, 80) == 0) slot = "4294967297";
      std::string name = below(rng, 12) == 0
                             ? odd_names[below(rng, 5)]
                             : names[below(rng, unsigned(names.size()))];
      std::string separator = below(rng, 3) == 0 ? "=" : " = ";
      c.list +=
          slot + separator + name + (below(rng, 10) == 0 ? " * hit" : "") + end;
    }
  }
  if (!c.list.empty() && below(rng, 4) == 0) c.list.pop_back();
  return c;
}

std::uint32_t big_endian_at(const std::string &bank, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i)
    value = value << 8 | static_cast<unsigned char>(bank[at + i]);
  return value;
}

std::size_t count_of(const std::string &text, const std::string &needle) {
  std::size_t count = 0;
  for (std::size_t at = text.find(needle); at != std::string::npos;
       at = text.find(needle, at + 1))
    ++count;
  return count;
}

TEST(ListCheckProperty, PredictsTheBankAdpackBuildsAndWhereItStops) {
  unsigned built = 0, refused = 0;
  for (unsigned seed = 1; seed <= kSeedCount; ++seed) {
    Case c = make_case(seed);
    SCOPED_TRACE("seed " + std::to_string(seed) + ", list:\n" + c.list);
    TempDir scratch;
    std::string dir = scratch.path().string();
    for (const auto &[name, bytes] : c.files)
      write_file(dir + "/" + name, bytes);
    std::filesystem::create_directory(dir + "/dir");
    write_file(dir + "/bos.pdl", c.list);

    RunResult checked =
        run({.argv = {PDXDUMP_PROGRAM, "--list", "--json", "bos"}, .cwd = dir});
    ASSERT_TRUE(checked.exited && checked.exit_status <= 1)
        << checked.describe();
    const std::string &json = checked.out;
    RunResult made =
        run({.argv = {ADPACK_PROGRAM, "bos"}, .cwd = dir, .locale = "C"});
    ASSERT_TRUE(made.exited) << made.describe();
    bool stops = json.find("\"adpack_stops_at\": null") == std::string::npos;

    if (made.exit_status == 0) {
      ++built;
      EXPECT_FALSE(stops) << json;
      std::string bank = read_file(dir + "/bos.pdx").value();
      std::vector<std::int64_t> sizes = numbers_after(json, "\"bank_size\": ");
      ASSERT_EQ(sizes.size(), 1u);
      EXPECT_EQ(static_cast<std::int64_t>(bank.size()), sizes[0]);
      std::string slots = json_member(json, "slots");
      std::vector<std::int64_t> slot = numbers_after(slots, "{\"slot\": ");
      std::vector<std::int64_t> offset = numbers_after(slots, "\"offset\": ");
      std::vector<std::int64_t> length = numbers_after(slots, "\"length\": ");
      ASSERT_EQ(slot.size(), offset.size());
      ASSERT_EQ(slot.size(), length.size());
      std::vector<std::pair<std::int64_t, std::int64_t>> predicted(96);
      for (std::size_t i = 0; i < slot.size(); ++i)
        predicted.at(static_cast<std::size_t>(slot[i])) = {offset[i],
                                                           length[i]};
      for (std::size_t s = 0; s < 96; ++s) {
        EXPECT_EQ(big_endian_at(bank, s * 8), predicted[s].first)
            << "slot " << s;
        EXPECT_EQ(big_endian_at(bank, s * 8 + 4), predicted[s].second)
            << "slot " << s;
      }
    } else {
      ++refused;
      ASSERT_TRUE(stops) << json << made.err;
      EXPECT_EQ(checked.exit_status, 1);
      // adpack starts a line on its standard output for each entry it
      // takes; the last is the one it stopped at.
      std::size_t taken = count_of(made.out, "'\t\t\t: ");
      std::vector<std::int64_t> lines =
          numbers_after(json_member(json, "entries"), "{\"line\": ");
      ASSERT_GE(taken, 1u) << made.out;
      ASSERT_LE(taken, lines.size());
      std::vector<std::int64_t> stop =
          numbers_after(json, "\"adpack_stops_at\": ");
      ASSERT_EQ(stop.size(), 1u);
      EXPECT_EQ(stop[0], lines[taken - 1]) << json << made.out;
      // And it is the first problem that stops adpack.
      std::string problems = json_member(json, "problems");
      std::size_t stopping = problems.find("\"stops_adpack\": true");
      ASSERT_NE(stopping, std::string::npos);
      std::vector<std::int64_t> first = numbers_after(
          problems.substr(problems.rfind('\n', stopping)), "{\"line\": ");
      ASSERT_FALSE(first.empty());
      EXPECT_EQ(first[0], stop[0]);
    }
  }
  // The seeds reach both sides of the property.
  EXPECT_GT(built, 20u);
  EXPECT_GT(refused, 10u);
}

}  // namespace
