// The round trip, as a property over random lists: adpack builds a bank,
// pdxdump takes it apart, adpack builds it again from what pdxdump wrote,
// and the two banks are the same, byte for byte, whenever the first has no
// bytes that no slot points at.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/process.h"

namespace {

using adpack_test::Launcher;
using adpack_test::read_file;
using adpack_test::run;
using adpack_test::RunResult;
using adpack_test::TempDir;
using adpack_test::write_file;

const Launcher kAdpack{"native", {}, ADPACK_PROGRAM};
const Launcher kPdxdump{"native", {}, PDXDUMP_PROGRAM};

constexpr unsigned kSeedCount = 80;

struct Case {
  std::map<std::string, std::string> files;  // name on disk -> bytes
  std::vector<std::string> names;  // every spelling a list line may use
  std::vector<std::pair<int, std::string>> entries;
  std::string list;
  std::uint64_t unreferenced;  // the bytes of samples no slot keeps
  bool has_empty_sample, has_shared_slots, has_slot_twice, has_two_spellings;
};

// std::mt19937's output is the same everywhere; the distributions are not.
unsigned below(std::mt19937 &rng, unsigned bound) {
  return static_cast<unsigned>(rng() % bound);
}

Case make_case(unsigned seed) {
  std::mt19937 rng(seed);
  Case c = {};
  unsigned file_count = 1 + below(rng, 6);
  for (unsigned i = 0; i < file_count; ++i) {
    std::string name = "f" + std::to_string(i) + ".raw";
    std::size_t length = below(rng, 4) == 0 ? 0 : 1 + below(rng, 1500);
    std::string bytes(length, '\0');
    for (char &byte : bytes) byte = static_cast<char>(below(rng, 256));
    c.files[name] = bytes;
    c.names.push_back(name);
    // Another spelling of the same file is another sample to adpack.
    if (below(rng, 5) == 0) c.names.push_back("./" + name);
  }
  unsigned entry_count = below(rng, 25);
  for (unsigned i = 0; i < entry_count; ++i) {
    int slot =
        static_cast<int>(below(rng, 2) == 0 ? below(rng, 8) : below(rng, 96));
    const std::string &name =
        c.names[below(rng, static_cast<unsigned>(c.names.size()))];
    c.entries.emplace_back(slot, name);
    if (below(rng, 6) == 0) c.list += "* a comment\n\n";
    c.list += std::to_string(slot) + " = " + name + "\n";
  }

  // What adpack does, told independently: each new name is placed once,
  // and the last entry of a slot wins.
  std::map<std::string, std::uint64_t> placed;
  std::map<int, std::string> slots;
  for (const auto &[slot, name] : c.entries) {
    std::string file = name.rfind("./", 0) == 0 ? name.substr(2) : name;
    placed.emplace(name, c.files[file].size());
    if (slots.count(slot)) c.has_slot_twice = true;
    slots[slot] = name;
    if (c.files[file].empty()) c.has_empty_sample = true;
  }
  std::set<std::string> kept;
  for (const auto &[slot, name] : slots) {
    if (kept.count(name)) c.has_shared_slots = true;
    kept.insert(name);
    if (name.rfind("./", 0) == 0 && kept.count(name.substr(2)))
      c.has_two_spellings = true;
  }
  for (const auto &[name, length] : placed)
    if (!kept.count(name)) c.unreferenced += length;
  return c;
}

std::uint32_t big_endian_at(const std::string &bank, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i)
    value = value << 8 | static_cast<unsigned char>(bank[at + i]);
  return value;
}

// Each slot's sample, read straight from the bytes; empty slots give "".
std::vector<std::string> samples_by_slot(const std::string &bank) {
  std::vector<std::string> samples;
  for (std::size_t slot = 0; slot < 96; ++slot) {
    std::uint32_t offset = big_endian_at(bank, slot * 8);
    std::uint32_t length = big_endian_at(bank, slot * 8 + 4);
    samples.push_back(offset == 0 && length == 0
                          ? std::string()
                          : "@" + bank.substr(offset, length));
  }
  return samples;
}

bool has_line_beginning(const std::string &text, const std::string &start) {
  return text.rfind(start, 0) == 0 ||
         text.find("\n" + start) != std::string::npos;
}

TEST(RoundTrip, RebuildsTheSameBankFromWhatPdxdumpExtracts) {
  unsigned with_gaps = 0, identical = 0, empty_samples = 0, shared = 0,
           twice = 0, spellings = 0;
  for (unsigned seed = 1; seed <= kSeedCount; ++seed) {
    Case c = make_case(seed);
    SCOPED_TRACE("seed " + std::to_string(seed) + ", list:\n" + c.list);
    TempDir scratch;
    std::string dir = scratch.path().string();
    for (const auto &[name, bytes] : c.files)
      write_file(dir + "/" + name, bytes);
    write_file(dir + "/bank.pdl", c.list);

    RunResult built = run({.argv = kAdpack.command({"bank.pdl"}), .cwd = dir});
    ASSERT_EQ(built.exit_status, 0) << built.err;
    std::string bank = read_file(dir + "/bank.pdx").value();

    RunResult checked =
        run({.argv = kPdxdump.command({"bank.pdx"}), .cwd = dir});
    EXPECT_EQ(checked.exit_status, 0) << checked.out;
    EXPECT_FALSE(has_line_beginning(checked.out, "problem:")) << checked.out;
    EXPECT_EQ(has_line_beginning(checked.out, "note:"), c.unreferenced > 0)
        << checked.out;

    RunResult extracted =
        run({.argv = kPdxdump.command({"bank.pdx", "--extract", "out"}),
             .cwd = dir});
    ASSERT_EQ(extracted.exit_status, 0) << extracted.err;

    std::string out = dir + "/out";
    RunResult rebuilt =
        run({.argv = kAdpack.command({"bank.pdl"}), .cwd = out});
    ASSERT_EQ(rebuilt.exit_status, 0) << rebuilt.err;
    std::string again = read_file(out + "/bank.pdx").value();

    RunResult rechecked =
        run({.argv = kPdxdump.command({"bank.pdx"}), .cwd = out});
    EXPECT_EQ(rechecked.exit_status, 0) << rechecked.out;
    EXPECT_FALSE(has_line_beginning(rechecked.out, "problem:"));
    EXPECT_FALSE(has_line_beginning(rechecked.out, "note:"));

    if (c.unreferenced == 0) {
      EXPECT_EQ(again, bank);
      identical += again == bank;
    } else {
      // The bytes no slot keeps are gone; every slot still holds its own.
      EXPECT_EQ(again.size(), bank.size() - c.unreferenced);
      EXPECT_EQ(samples_by_slot(again), samples_by_slot(bank));
      ++with_gaps;
    }
    empty_samples += c.has_empty_sample;
    shared += c.has_shared_slots;
    twice += c.has_slot_twice;
    spellings += c.has_two_spellings;
  }
  // The seeds must reach every kind of list the property is about.
  EXPECT_GT(identical, 0u);
  EXPECT_GT(with_gaps, 0u);
  EXPECT_GT(empty_samples, 0u);
  EXPECT_GT(shared, 0u);
  EXPECT_GT(twice, 0u);
  EXPECT_GT(spellings, 0u);
}

}  // namespace
