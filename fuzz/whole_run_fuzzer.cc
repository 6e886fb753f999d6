// The whole run, on an arbitrary list over a few sample files: the built
// program runs per input in a child process of its own, and the bank, both
// console streams and the exit status must be what the list calls for.
// pdxdump --list, run first on the same directory, must foretell it: the
// table and size of a complete bank, or the line where the run stops.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "list_model.h"
#include "support/bank_image.h"
#include "support/bytes.h"
#include "support/console_text.h"
#include "support/cp932.h"
#include "support/files.h"
#include "support/json_fields.h"
#include "support/process.h"

namespace {

using adpack_test::BankImage;
using adpack_test::console_bytes;
namespace text = adpack_test::text;

// Present, empty, larger than one stream buffer, a directory; any other
// name is missing.
void make_samples(const adpack_test::TempDir &dir) {
  adpack_test::write_file(dir / "a.pcm", adpack_test::sample_bytes(100, 1));
  adpack_test::write_file(dir / "b.pcm", adpack_test::sample_bytes(10, 2));
  adpack_test::write_file(dir / "c.pcm", adpack_test::sample_bytes(600, 3));
  adpack_test::write_file(dir / "z.pcm", "");
  mkdir((dir / "d").c_str(), 0755);
}

// A catalogue text with a file name in it: the name's bytes pass unchanged.
std::string with_name(std::string_view before, const std::string &name,
                      std::string_view after) {
  return console_bytes(before) + name + console_bytes(after);
}

struct Outcome {
  bool complete = true;
  std::size_t stop_entry = 0;  // when incomplete: the entry it stops at
  std::string bank;
  std::string out;
  std::string err;
};

enum Verdict { kRun, kReject };

// What the directory holds while the samples are placed, the bank included.
const char *const kDirectoryEntries[] = {"a.pcm", "b.pcm",   "c.pcm",  "z.pcm",
                                         "d",     "bos.pdl", "bos.pdx"};

bool same_ignoring_case(const std::string &a, const std::string &b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) {
      return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// The file a name opens: itself when it exists as written, else the one
// entry that differs from it only in letter case; none or several name
// nothing.
std::string found_name(const std::string &name) {
  std::string found;
  int matches = 0;
  for (const char *entry : kDirectoryEntries) {
    if (name == entry) return name;
    if (same_ignoring_case(name, entry)) {
      found = entry;
      ++matches;
    }
  }
  return matches == 1 ? found : name;
}

// What the run must leave, from the list and the files alone. Names that
// reach outside the scratch directory, or name the bank itself, make an
// input that says nothing about the program: those are rejected.
Verdict expect(std::string_view list, int dir_fd, Outcome *outcome) {
  BankImage image;
  std::map<std::string, BankImage::Placed> placed;
  std::string out = console_bytes(text::kBanner);
  std::string err;
  const std::vector<list_model::Entry> entries = list_model::entries(list);
  for (const list_model::Entry &entry : entries) {
    outcome->stop_entry = static_cast<std::size_t>(&entry - entries.data());
    const std::string &name = entry.name;
    // The registry keys on the name as written; the file system answers for
    // the name found.
    const std::string file = found_name(name);
    if (name.find('/') != std::string::npos || file == "bos.pdx")
      return kReject;
    out += "`" + name + "'\t\t\t: ";
    if (entry.slot < 0 || entry.slot >= BankImage::kSlots) {
      err = with_name("`", name,
                      "' のスロット番号 " + std::to_string(entry.slot) +
                          " は範囲外です (0 から 95 まで)。\n");
      break;
    }
    auto known = placed.find(name);
    if (known != placed.end()) {
      image.set_slot(entry.slot, known->second);
      continue;
    }
    struct stat info {};
    if (fstatat(dir_fd, file.c_str(), &info, 0) != 0) {
      err = name + console_bytes(" が見つかりません。\n");
      break;
    }
    if (S_ISDIR(info.st_mode)) {
      // Its slot is written before the open for reading fails.
      image.set_slot(entry.slot,
                     {static_cast<std::uint32_t>(image.bytes().size()), 0});
      err = with_name("`", name, "' がオープンできません。\n");
      break;
    }
    if (!S_ISREG(info.st_mode)) return kReject;
    int fd = openat(dir_fd, file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) std::abort();
    std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
    if (read(fd, bytes.data(), bytes.size()) != info.st_size) std::abort();
    close(fd);
    placed[name] = image.append(bytes);
    image.set_slot(entry.slot, placed[name]);
    out += console_bytes(text::kDone);
  }
  outcome->complete = err.empty();
  if (outcome->complete) err = console_bytes(text::kFinished);
  outcome->bank = image.bytes();
  outcome->out = out;
  outcome->err = err;
  return kRun;
}

// Holds without the model: what any bank of this layout must satisfy.
const char *layout_fault(const std::string &bank, bool complete) {
  if (bank.size() < BankImage::kTableSize) return "bank shorter than its table";
  for (std::size_t slot = 0; slot < BankImage::kSlots; ++slot) {
    auto number = [&](std::size_t at) {
      std::uint32_t value = 0;
      for (std::size_t i = 0; i < 4; ++i)
        value = value << 8 | static_cast<unsigned char>(bank[at + i]);
      return std::uint64_t{value};
    };
    std::uint64_t offset = number(slot * 8), length = number(slot * 8 + 4);
    if (offset == 0 && length == 0) continue;
    if (offset < BankImage::kTableSize) return "a slot points into the table";
    if (complete && offset + length > bank.size())
      return "a slot runs past the end of the bank";
  }
  return nullptr;
}

using adpack_test::json_member;
using adpack_test::numbers_after;

// What the check foretold against what the model says the run does.
const char *check_fault(const std::string &json, const Outcome &expected) {
  std::vector<std::int64_t> stop = numbers_after(json, "\"adpack_stops_at\": ");
  if (expected.complete) {
    if (json.find("\"adpack_stops_at\": null") == std::string::npos)
      return "the check says a complete run stops";
    std::vector<std::int64_t> size = numbers_after(json, "\"bank_size\": ");
    if (size.size() != 1 ||
        static_cast<std::size_t>(size[0]) != expected.bank.size())
      return "the check foretold another bank size";
    std::string slots = json_member(json, "slots");
    std::vector<std::int64_t> slot = numbers_after(slots, "{\"slot\": ");
    std::vector<std::int64_t> offset = numbers_after(slots, "\"offset\": ");
    std::vector<std::int64_t> length = numbers_after(slots, "\"length\": ");
    std::string table(BankImage::kTableSize, '\0');
    for (std::size_t i = 0;
         i < slot.size() && i < offset.size() && i < length.size(); ++i)
      for (std::size_t b = 0; b < 4; ++b) {
        std::size_t at = static_cast<std::size_t>(slot[i]) * 8 + b;
        table.at(at) = static_cast<char>(offset[i] >> (24 - 8 * b));
        table.at(at + 4) = static_cast<char>(length[i] >> (24 - 8 * b));
      }
    if (expected.bank.compare(0, table.size(), table) != 0)
      return "the check foretold another slot table";
    return nullptr;
  }
  std::vector<std::int64_t> lines =
      numbers_after(json_member(json, "entries"), "{\"line\": ");
  if (stop.size() != 1 || expected.stop_entry >= lines.size() ||
      stop[0] != lines[expected.stop_entry])
    return "the check foretold another line for the run's stop";
  return nullptr;
}

[[noreturn]] void report(const char *what, std::string_view list,
                         const adpack_test::RunResult &result) {
  std::fprintf(stderr, "whole run: %s\n  list: \"%s\"\n  %s\n", what,
               adpack_test::escape_bytes(list).c_str(),
               result.describe().c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  // Leaks are for the ordinary sanitizer suite to find; here the leak check
  // at each child's exit would halve the inputs tried.
  const char *options = std::getenv("ASAN_OPTIONS");
  std::string children = options && *options
                             ? std::string(options) + ":detect_leaks=0"
                             : std::string("detect_leaks=0");
  setenv("ASAN_OPTIONS", children.c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data,
                                      std::size_t size) {
  std::string_view list(reinterpret_cast<const char *>(data), size);
  adpack_test::TempDir dir;
  make_samples(dir);
  adpack_test::write_file(dir / "bos.pdl", list);

  int dir_fd = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd < 0) std::abort();
  Outcome expected;
  Verdict verdict = expect(list, dir_fd, &expected);
  close(dir_fd);
  if (verdict == kReject) return -1;

  adpack_test::RunResult checked =
      adpack_test::run({.argv = {PDXDUMP_BINARY, "--list", "--json", "bos"},
                        .cwd = dir.path().string()});
  if (!checked.exited || checked.exit_status > 1)
    report("the list check failed", list, checked);
  if (const char *fault = check_fault(checked.out, expected))
    report(fault, list, checked);

  adpack_test::RunResult result = adpack_test::run(
      {.argv = {ADPACK_BINARY, "bos"}, .cwd = dir.path().string()});
  if (!result.exited) report("did not exit by itself", list, result);
  if (result.exit_status != (expected.complete ? 0 : 255))
    report(expected.complete ? "a complete run did not end with 0"
                             : "an incomplete run did not end with 255",
           list, result);
  auto bank = adpack_test::read_file(dir / "bos.pdx");
  if (!bank) report("no bank", list, result);
  if (const char *fault = layout_fault(*bank, expected.complete))
    report(fault, list, result);
  if (*bank != expected.bank) report("bank differs", list, result);
  if (result.out != expected.out) report("stdout differs", list, result);
  if (result.err != expected.err) report("stderr differs", list, result);
  return 0;
}
