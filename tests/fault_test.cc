// Faults brought about through the real operating system, not mocks: a disk
// that fills at every byte, an exhausted address space, list reads that
// fail, a sample that cannot be read. Whatever happens, a run either ends
// with 0 and the whole bank, or with 255, one message from the catalogue and
// a bank whose bytes are all correct as far as they got.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "launchers.h"
#include "support/bank_image.h"
#include "support/bytes.h"
#include "support/console_text.h"
#include "support/cp932.h"
#include "support/files.h"
#include "support/process.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ADPACK_TEST_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define ADPACK_TEST_ADDRESS_SANITIZER 1
#endif

namespace adpack_test {
namespace {

namespace fs = std::filesystem;
using text::prefix;

// Runs launcher's program with more sanitizer options, where it has them.
Launcher with_sanitizer_options(Launcher launcher, const std::string& more) {
#ifdef ADPACK_TEST_ADDRESS_SANITIZER
  const char* options = std::getenv("ASAN_OPTIONS");
  std::string all = options != nullptr && *options != '\0'
                        ? std::string(options) + ":" + more
                        : more;
  launcher.prefix.insert(launcher.prefix.begin(),
                         {"env", "ASAN_OPTIONS=" + all});
#else
  (void)more;
#endif
  return launcher;
}

const std::string kA = sample_bytes(100, 1);
const std::string kB = sample_bytes(10, 2);
const std::string kC = sample_bytes(600, 3);  // written past the buffer

std::string banner_then(const std::string& out) {
  return console_bytes(std::string(text::kBanner) + out);
}

// --- The disk filling at every byte -------------------------------------

// Each way a write can fail: a's bytes wait in the buffer for the next
// seek, c's go to the file at once, b's are still buffered when the run
// closes the bank. No slot is given twice, so every slot on disk is either
// still empty or already final.
const std::string kFillList = "0 = a.pcm\n1 = c.pcm\n2 = a.pcm\n3 = b.pcm\n";

std::string fill_bank() {
  BankImage image;
  BankImage::Placed a = image.append(kA);
  image.set_slot(0, a);
  image.set_slot(1, image.append(kC));
  image.set_slot(2, a);
  image.set_slot(3, image.append(kB));
  return image.bytes();
}

// Why the bytes on disk cannot be a bank that was being written correctly,
// or nothing when they can.
std::optional<std::string> inconsistency(const std::string& whole,
                                         const std::string& disk) {
  if (disk.size() > whole.size()) return "longer than the whole bank";
  for (std::size_t at = 0; at < disk.size(); at += 8) {
    if (at < BankImage::kTableSize) {
      std::string slot = disk.substr(at, 8);
      if (slot != std::string(slot.size(), '\0') &&
          slot != whole.substr(at, slot.size())) {
        return "slot " + std::to_string(at / 8) + " holds neither zero nor " +
               "its final value";
      }
      continue;
    }
    std::size_t length = std::min<std::size_t>(8, disk.size() - at);
    if (disk.compare(at, length, whole, at, length) != 0) {
      return "data differs near offset " + std::to_string(at);
    }
  }
  return std::nullopt;
}

// Offsets are tried in chunks, so that each test stays short even under
// the sanitizers.
constexpr unsigned kChunk = 256;

class DiskFillsTest
    : public ::testing::TestWithParam<std::tuple<Launcher, unsigned>> {
 protected:
  TempDir dir_;
};

TEST_P(DiskFillsTest, AtEveryByteOfTheBank) {
  const auto& [param_launcher, chunk] = GetParam();
  if (!param_launcher.posix_file_system) GTEST_SKIP() << "needs RLIMIT_FSIZE";
  // A leak check at each of some 1500 exits would double the time; leaks
  // are for the rest of the suite to find.
  const Launcher launcher =
      with_sanitizer_options(param_launcher, "detect_leaks=0");
  write_file(dir_ / "a.pcm", kA);
  write_file(dir_ / "b.pcm", kB);
  write_file(dir_ / "c.pcm", kC);
  write_file(dir_ / "bos.pdl", kFillList);
  const std::string whole = fill_bank();
  const std::vector<std::string> failures = {console_bytes(text::kWriteFailed),
                                             console_bytes(text::kSeekFailed),
                                             console_bytes(text::kDiskFull)};

  // Up to one byte past the whole bank, which must fit as well.
  const unsigned first = chunk * kChunk;
  const unsigned last = std::min<unsigned>(
      first + kChunk, static_cast<unsigned>(whole.size()) + 2);
  if (first >= last) GTEST_SKIP() << "past the whole bank";
  // The first limit that shows a fault is enough to tell it.
  for (unsigned limit = first; limit < last && !HasFailure(); ++limit) {
    SCOPED_TRACE("file size limit " + std::to_string(limit));
    fs::remove(dir_ / "bos.pdx");
    // Pipes, since the limit would cut the captured streams short too.
    RunResult result = run({.argv = launcher.command({"bos"}),
                            .cwd = dir_.path().string(),
                            .out = Capture::kPipe,
                            .err = Capture::kPipe,
                            .file_size_limit = limit});
    ASSERT_TRUE(result.exited) << result.describe();
    const std::string disk = read_file(dir_ / "bos.pdx").value_or("<none>");
    if (limit >= whole.size()) {
      EXPECT_EQ(result.exit_status, 0) << result.describe();
      EXPECT_PRED_FORMAT2(SameBytes, whole, disk);
      EXPECT_PRED_FORMAT2(SameConsole, console_bytes(text::kFinished),
                          result.err);
    } else {
      EXPECT_EQ(result.exit_status, 255)
          << "a bank of " << disk.size() << " bytes reported as "
          << result.describe();
      EXPECT_NE(std::find(failures.begin(), failures.end(), result.err),
                failures.end())
          << "stderr is not one failure message: " << result.describe();
      EXPECT_LE(disk.size(), limit);
      auto wrong = inconsistency(whole, disk);
      EXPECT_FALSE(wrong.has_value()) << *wrong;
    }
  }
}

std::string DiskFillsName(
    const ::testing::TestParamInfo<std::tuple<Launcher, unsigned>>& param) {
  unsigned chunk = std::get<1>(param.param);
  return std::get<0>(param.param).name + "_limits_" +
         std::to_string(chunk * kChunk) + "_up";
}

// 768 + 100 + 10 + 600 = 1478 bytes, and two limits past it.
INSTANTIATE_TEST_SUITE_P(
    Program, DiskFillsTest,
    ::testing::Combine(::testing::ValuesIn(test_launchers()),
                       ::testing::Range(0u,
                                        (1478u + 2u + kChunk - 1) / kChunk)),
    DiskFillsName);

class FaultTest : public ::testing::TestWithParam<Launcher> {
 protected:
  TempDir dir_;
};

// --- Memory exhausted while a large sample is placed --------------------

TEST_P(FaultTest, NoMemoryForALargeSample) {
  if (!GetParam().posix_file_system) GTEST_SKIP() << "needs RLIMIT_AS";
  // Sparse: the copy buffer is asked for, but never filled.
  constexpr std::uintmax_t kLarge = 512u << 20;
  write_file(dir_ / "a.pcm", kA);
  write_file(dir_ / "b.pcm", kB);
  write_file(dir_ / "large.pcm", "");
  fs::resize_file(dir_ / "large.pcm", kLarge);
  write_file(dir_ / "bos.pdl", "0 = a.pcm\n1 = large.pcm\n2 = b.pcm\n");

  // The sanitizer's shadow memory cannot live under an address-space
  // limit, so there its allocator refuses the same request instead, with a
  // warning of its own before the program's message.
  Launcher launcher = with_sanitizer_options(
      GetParam(), "allocator_may_return_null=1:max_allocation_size_mb=64");
#ifndef ADPACK_TEST_ADDRESS_SANITIZER
  launcher.prefix.insert(
      launcher.prefix.begin(),
      {"prlimit", "--as=" + std::to_string(64u << 20), "--"});
#endif
  RunResult result =
      run({.argv = launcher.command({"bos"}), .cwd = dir_.path().string()});
  ASSERT_TRUE(result.exited) << result.describe();
  EXPECT_EQ(result.exit_status, 255);
  EXPECT_PRED_FORMAT2(
      SameConsole,
      banner_then(prefix("a.pcm") + "done.\n" + prefix("large.pcm")),
      result.out);
  std::string err = result.err;
#ifdef ADPACK_TEST_ADDRESS_SANITIZER
  if (err.rfind("==", 0) == 0 &&
      err.find("WARNING: AddressSanitizer failed to allocate") <
          err.find('\n')) {
    err.erase(0, err.find('\n') + 1);
  }
#endif
  EXPECT_PRED_FORMAT2(SameConsole, console_bytes(text::kNoMemory), err);

  // The large sample's slot is written before its buffer is asked for.
  BankImage image;
  BankImage::Placed a = image.append(kA);
  image.set_slot(0, a);
  image.set_slot(1, {a.offset + a.length, static_cast<std::uint32_t>(kLarge)});
  EXPECT_PRED_FORMAT2(SameBytes, image.bytes(),
                      read_file(dir_ / "bos.pdx").value_or("<none>"));
}

// --- List reads that fail -------------------------------------------------

// Reading a process's own memory at offset 0 fails: the very first read.
TEST_P(FaultTest, ListWhoseFirstReadFails) {
  if (!GetParam().posix_file_system) GTEST_SKIP() << "needs /proc";
  write_file(dir_ / "a.pcm", kA);
  fs::create_symlink("/proc/self/mem", dir_ / "x.pdl");
  RunResult result =
      run({.argv = GetParam().command({"x"}), .cwd = dir_.path().string()});
  ASSERT_TRUE(result.exited) << result.describe();
  EXPECT_EQ(result.exit_status, 255);
  EXPECT_PRED_FORMAT2(SameConsole, banner_then(""), result.out);
  EXPECT_PRED_FORMAT2(SameConsole, console_bytes(text::kReadFailed),
                      result.err);
  EXPECT_PRED_FORMAT2(SameBytes, std::string(768, '\0'),
                      read_file(dir_ / "x.pdx").value_or("<none>"));
}

// A terminal whose other end has gone fails every further read, so a list
// read from one fails after the lines it has already delivered.
TEST_P(FaultTest, ListReadFailsAfterTwoEntries) {
  if (!GetParam().posix_file_system) GTEST_SKIP() << "needs ptys";
  write_file(dir_ / "a.pcm", kA);
  write_file(dir_ / "c.pcm", kC);
  std::optional<Pty> list_tty(std::in_place);
  fs::create_symlink(ttyname(list_tty->slave()), dir_ / "x.pdl");
  // A controlling terminal of its own, so that the list's hangup sends it
  // no signal.
  Pty console;
  Child child({.argv = GetParam().command({"x"}),
               .cwd = dir_.path().string(),
               .controlling_terminal = console.slave()});
  list_tty->type("0 = a.pcm\n1 = c.pcm\n");

  // c.pcm goes past the buffer straight to the file, after a.pcm's bytes
  // and both slots have been written out by the seeks before it.
  BankImage image;
  image.set_slot(0, image.append(kA));
  image.set_slot(1, image.append(kC));
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(5);
  std::error_code ignored;
  while (fs::file_size(dir_ / "x.pdx", ignored) != image.bytes().size() &&
         child.running() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  list_tty.reset();

  RunResult result = child.finish();
  ASSERT_TRUE(result.exited) << result.describe();
  EXPECT_EQ(result.exit_status, 255);
  EXPECT_PRED_FORMAT2(
      SameConsole,
      banner_then(prefix("a.pcm") + "done.\n" + prefix("c.pcm") + "done.\n"),
      result.out);
  EXPECT_PRED_FORMAT2(SameConsole, console_bytes(text::kReadFailed),
                      result.err);
  EXPECT_PRED_FORMAT2(SameBytes, image.bytes(),
                      read_file(dir_ / "x.pdx").value_or("<none>"));
}

// --- Files the user may not use -------------------------------------------

// Root reads and writes any file, so the run drops to an unprivileged user;
// the directory and the program must then be open to that user.
Launcher as_unprivileged_user(Launcher launcher, const TempDir& dir) {
  if (geteuid() != 0) return launcher;
  fs::permissions(dir.path(), fs::perms::all);
  fs::copy_file(launcher.binary, dir / "adpack");
  launcher.binary = (dir / "adpack").string();
  std::vector<std::string> drop = {"setpriv", "--reuid=65534", "--regid=65534",
                                   "--clear-groups", "--"};
  launcher.prefix.insert(launcher.prefix.begin(), drop.begin(), drop.end());
  return launcher;
}

TEST_P(FaultTest, SampleWithoutReadPermission) {
  if (!GetParam().posix_file_system) GTEST_SKIP() << "needs POSIX permissions";
  const std::string locked(50, 'L');
  write_file(dir_ / "a.pcm", kA);
  write_file(dir_ / "b.pcm", kB);
  write_file(dir_ / "locked.pcm", locked);
  write_file(dir_ / "bos.pdl", "0 = a.pcm\n1 = locked.pcm\n2 = b.pcm\n");
  fs::permissions(dir_ / "locked.pcm", fs::perms::none);

  Launcher launcher = as_unprivileged_user(GetParam(), dir_);
  const std::vector<std::string> argv = launcher.command({"bos"});
  RunResult result = run({.argv = argv, .cwd = dir_.path().string()});
  ASSERT_TRUE(result.exited) << result.describe();
  EXPECT_EQ(result.exit_status, 255);
  EXPECT_PRED_FORMAT2(
      SameConsole,
      banner_then(prefix("a.pcm") + "done.\n" + prefix("locked.pcm")),
      result.out);
  EXPECT_PRED_FORMAT2(
      SameConsole, console_bytes(text::open_failed("locked.pcm")), result.err);

  // Its slot is already written when the open fails; none of its bytes are.
  BankImage image;
  BankImage::Placed a = image.append(kA);
  image.set_slot(0, a);
  image.set_slot(
      1, {a.offset + a.length, static_cast<std::uint32_t>(locked.size())});
  EXPECT_PRED_FORMAT2(SameBytes, image.bytes(),
                      read_file(dir_ / "bos.pdx").value_or("<none>"));
}

// A bank that cannot be written is found so before it is locked or asked
// about: no question about a file that could not be replaced anyway.
TEST_P(FaultTest, BankWithoutWritePermission) {
  if (!GetParam().posix_file_system) GTEST_SKIP() << "needs POSIX permissions";
  write_file(dir_ / "a.pcm", kA);
  write_file(dir_ / "bos.pdl", "0 = a.pcm\n");
  const std::string old_bank(50, 'O');
  write_file(dir_ / "bos.pdx", old_bank);
  fs::permissions(dir_ / "bos.pdx", fs::perms::owner_read |
                                        fs::perms::group_read |
                                        fs::perms::others_read);
  Pty console;
  console.type("y");
  RunResult result =
      run({.argv = as_unprivileged_user(GetParam(), dir_).command({"bos"}),
           .cwd = dir_.path().string(),
           .controlling_terminal = console.slave()});
  ASSERT_TRUE(result.exited) << result.describe();
  EXPECT_EQ(result.exit_status, 255);
  EXPECT_PRED_FORMAT2(SameConsole, banner_then(""), result.out);
  EXPECT_PRED_FORMAT2(SameConsole, console_bytes(text::open_failed("bos.pdx")),
                      result.err);
  EXPECT_PRED_FORMAT2(SameBytes, old_bank,
                      read_file(dir_ / "bos.pdx").value_or("<none>"));
}

// --- A system without a null device ---------------------------------------

// A container or chroot may have no /dev/null to hold a descriptor the shell
// closed; the run is given one: a mount namespace of its own, with an empty
// file system over /dev. The console's bytes must still not land in the
// list's or the bank's descriptor: progress fills more than a buffer before
// the run ends, and a missing sample is reported while the bank is open.
TEST_P(FaultTest, ClosedDescriptorsWithoutANullDevice) {
  if (!GetParam().posix_file_system) GTEST_SKIP() << "needs mount namespaces";
  const std::vector<std::string> without_dev = {
      "unshare",
      "--mount",
      "--propagation",
      "private",
      "--",
      "sh",
      "-c",
      "mount -t tmpfs tmpfs /dev && test ! -e /dev/null && exec \"$@\"",
      "sh"};
  std::vector<std::string> probe = without_dev;
  probe.push_back("true");
  RunResult can = run({.argv = probe});
  if (!can.exited || can.exit_status != 0)
    GTEST_SKIP() << "cannot hide /dev in a mount namespace here: "
                 << can.describe();
  Launcher launcher = GetParam();
  launcher.prefix.insert(launcher.prefix.begin(), without_dev.begin(),
                         without_dev.end());
  std::string list;
  BankImage image;
  BankImage::Placed a = image.append(kA);
  for (int slot = 0; slot < 60; ++slot) {
    list += std::to_string(slot) + " = a.pcm\n";
    image.set_slot(slot, a);
  }
  list += "60 = b.pcm\n61 = missing.pcm\n";
  image.set_slot(60, image.append(kB));
  for (const std::vector<int>& closed :
       std::vector<std::vector<int>>{{1, 2}, {0, 1, 2}}) {
    SCOPED_TRACE(testing::Message()
                 << "closed " << testing::PrintToString(closed));
    fs::remove(dir_ / "bos.pdx");
    write_file(dir_ / "a.pcm", kA);
    write_file(dir_ / "b.pcm", kB);
    write_file(dir_ / "bos.pdl", list);
    RunResult result = run({.argv = launcher.command({"bos"}),
                            .cwd = dir_.path().string(),
                            .closed = closed});
    ASSERT_TRUE(result.exited) << result.describe();
    EXPECT_EQ(result.exit_status, 255) << result.describe();
    EXPECT_PRED_FORMAT2(SameBytes, image.bytes(),
                        read_file(dir_ / "bos.pdx").value_or("<none>"));
    EXPECT_PRED_FORMAT2(SameBytes, list,
                        read_file(dir_ / "bos.pdl").value_or("<none>"));
  }
}

INSTANTIATE_TEST_SUITE_P(Program, FaultTest,
                         ::testing::ValuesIn(test_launchers()), LauncherName);

}  // namespace
}  // namespace adpack_test
