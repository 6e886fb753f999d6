#include "pdxdump/pdxdump.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "pdxdump/dump_in_process.h"
#include "pdxdump/hand_made_bank.h"
#include "support/files.h"
#include "support/process.h"

namespace {

using adpack_test::Launcher;
using adpack_test::read_file;
using adpack_test::run;
using adpack_test::RunResult;
using adpack_test::TempDir;
using adpack_test::write_file;

const Launcher kPdxdump{"native", {}, PDXDUMP_PROGRAM};

class Pdxdump : public testing::Test {
 protected:
  void SetUp() override {
    write_file(
        good_ = dir_ + "/good.pdx",
        hand_made_bank({{0, 768, 100}, {1, 868, 10}, {5, 768, 100}}, 878));
    write_file(
        bad_ = dir_ + "/bad.pdx",
        hand_made_bank({{0, 768, 100}, {1, 800, 100}, {2, 100, 1}}, 900));
  }
  TempDir tmp_;
  std::string dir_ = tmp_.path().string(), good_, bad_;
};

TEST_F(Pdxdump, ExitStatusTellsWhetherTheBankHasProblems) {
  DumpRun good = dump({good_});
  EXPECT_EQ(good.status, 0);
  EXPECT_EQ(good.err, "");
  EXPECT_EQ(good.out.find("problem:"), std::string::npos);

  DumpRun bad = dump({bad_});
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.err, "");
  // The table still comes first, then one line per problem.
  EXPECT_EQ(
      bad.out.rfind("slot      offset      length  shares   seconds\n", 0), 0u);
  EXPECT_NE(bad.out.find("\n   2         100           1       -     0.000\n"),
            std::string::npos);
  EXPECT_NE(bad.out.find("\nproblem: slot 2: offset 100 lies inside the table"),
            std::string::npos);
  EXPECT_NE(bad.out.find("\nproblem: slot 0 (offset 768, length 100) and slot "
                         "1 (offset 800, length 100) overlap in bytes 800 to "
                         "867\n"),
            std::string::npos);
}

TEST_F(Pdxdump, FailsWithStatusTwoAndNothingOnStandardOutput) {
  std::filesystem::create_directory(dir_ + "/dir.pdx");
  struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{dir_ + "/missing.pdx"},
       "pdxdump: cannot read '" + dir_ +
           "/missing.pdx': No such file or directory\n"},
      {{dir_ + "/dir.pdx"},
       "pdxdump: cannot read '" + dir_ + "/dir.pdx': Is a directory\n"},
      {{}, "pdxdump: no bank given\nTry 'pdxdump --help' for more.\n"},
      {{"--jsno", good_},
       "pdxdump: unknown option '--jsno'\nTry 'pdxdump --help' for more.\n"},
      {{good_, bad_},
       "pdxdump: one bank at a time: '" + good_ + "' and '" + bad_ +
           "' given\nTry 'pdxdump --help' for more.\n"},
  };
  for (const auto &c : cases) {
    DumpRun r = dump(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.err);
  }
}

TEST_F(Pdxdump, PrintsHelpAndVersionOnStandardOutput) {
  DumpRun help = dump({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: pdxdump [OPTION]... BANK\n", 0), 0u);
  for (const char *option :
       {"--all", "--json", "--extract DIR", "--wav", "--html FILE", "--rate HZ",
        "--help", "--version", "Exit status"})
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  EXPECT_EQ(help.err, "");
  // Help wins over the bank: nothing is read.
  EXPECT_EQ(dump({dir_ + "/missing.pdx", "-h"}).status, 0);

  DumpRun version = dump({"-V"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "pdxdump " PDXDUMP_VERSION_FOR_TEST "\n");
}

TEST_F(Pdxdump, TakesOptionsAfterTheBankAndANameAfterTheirEnd) {
  DumpRun after = dump({good_, "--json"});
  EXPECT_EQ(after.status, 0);
  EXPECT_EQ(after.out.rfind("{\n", 0), 0u);

  write_file(dir_ + "/-j", hand_made_bank({}, 768));
  std::filesystem::path home = std::filesystem::current_path();
  std::filesystem::current_path(dir_);
  DumpRun dashed = dump({"--", "-j"});
  std::filesystem::current_path(home);
  EXPECT_EQ(dashed.status, 0) << dashed.err;
  EXPECT_EQ(dashed.out.rfind("slot ", 0), 0u);
}

TEST_F(Pdxdump, ExtractsAndSaysWhatItWrote) {
  std::string out = dir_ + "/out";
  DumpRun r = dump({"--extract", out, good_});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\nwrote " + out +
                       "/s00.pcm: 100 bytes for slots 0, "
                       "5\nwrote " +
                       out +
                       "/s01.pcm: 10 bytes for slot 1\n"
                       "wrote " +
                       out + "/good.pdl: the list\n"),
            std::string::npos);

  // A second extraction into the same directory replaces nothing.
  std::string list = read_file(out + "/good.pdl").value();
  DumpRun again = dump({good_, "-x", out});
  EXPECT_EQ(again.status, 2);
  EXPECT_EQ(again.out, "");
  EXPECT_EQ(again.err, "pdxdump: '" + out +
                           "/s00.pcm' exists already; nothing was extracted\n");
  EXPECT_EQ(read_file(out + "/good.pdl"), list);
}

// The entry: the statuses reach the shell, the output is ASCII with bare
// line feeds.
TEST_F(Pdxdump, ProgramEndsWithTheRunsStatus) {
  struct {
    std::vector<std::string> args;
    int status;
  } cases[] = {
      {{"good.pdx"}, 0},
      {{"GOOD.PDX"}, 0},  // found in another letter case, as adpack would
      {{"--json", "--all", "bad.pdx"}, 1},
      {{"missing.pdx"}, 2},
      {{"--help"}, 0},
  };
  for (const auto &c : cases) {
    RunResult r = run({.argv = kPdxdump.command(c.args), .cwd = dir_});
    EXPECT_EQ(r.exit_status, c.status) << c.args.back();
    for (char byte : r.out + r.err) {
      EXPECT_NE(byte, '\r');
      EXPECT_LT(static_cast<unsigned char>(byte), 0x80);
    }
    EXPECT_EQ(r.out.empty(), c.status == 2);
    EXPECT_EQ(r.err.empty(), c.status != 2);
  }
}

// The program behind the words that drop root's privileges, which would read
// and write anything; the program is copied where the unprivileged user can
// run it.
Launcher unprivileged_in(const std::string &dir) {
  if (geteuid() != 0) return kPdxdump;
  std::filesystem::permissions(dir, std::filesystem::perms::all);
  std::filesystem::copy_file(PDXDUMP_PROGRAM, dir + "/pdxdump");
  return {"unprivileged",
          {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
           "--clear-groups", "--"},
          dir + "/pdxdump"};
}

// Every failure that comes from the system says why, in its words; what is
// not a regular file is refused at once, never waited on.
TEST_F(Pdxdump, SaysWhyItCannotReadOrWrite) {
  if (geteuid() == 0 && !std::filesystem::exists("/usr/bin/setpriv"))
    GTEST_SKIP() << "root reads anything, and setpriv is not there to drop it";
  ASSERT_EQ(mkfifo((dir_ + "/fifo.pdx").c_str(), 0666), 0);
  std::filesystem::create_directory(dir_ + "/dir.pdx");
  std::filesystem::create_symlink("/dev/null", dir_ + "/null.pdx");
  write_file(dir_ + "/locked.pdx", read_file(good_).value());
  std::filesystem::permissions(dir_ + "/locked.pdx",
                               std::filesystem::perms::none);
  std::filesystem::create_directory(dir_ + "/ro");
  std::filesystem::permissions(
      dir_ + "/ro",
      std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  // Readable by the unprivileged user.
  std::filesystem::permissions(good_, std::filesystem::perms::all);
  struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"missing.pdx"}, "cannot read 'missing.pdx': No such file or directory"},
      {{"dir.pdx"}, "cannot read 'dir.pdx': Is a directory"},
      {{"fifo.pdx"}, "cannot read 'fifo.pdx': Not a regular file"},
      {{"null.pdx"}, "cannot read 'null.pdx': Not a regular file"},
      {{"locked.pdx"}, "cannot read 'locked.pdx': Permission denied"},
      {{"-x", "ro/out", "good.pdx"},
       "cannot make the directory 'ro/out': Permission denied"},
      {{"-x", "ro", "good.pdx"},
       "cannot create 'ro/s00.pcm': Permission denied"},
      {{"-x", "no/out", "good.pdx"},
       "cannot make the directory 'no/out': No such file or directory"},
  };
  Launcher run_as = unprivileged_in(dir_);
  for (const auto &c : cases) {
    RunResult r = run({.argv = run_as.command(c.args), .cwd = dir_});
    EXPECT_EQ(r.exit_status, 2) << c.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "pdxdump: " + c.err + "\n");
  }
}

// A real file system too small for the samples: what the run wrote before
// the disk filled goes again, and so does the directory when the run made
// it.
TEST_F(Pdxdump, ExtractionThatFillsTheDiskLeavesNothing) {
  std::string small = dir_ + "/small";
  std::filesystem::create_directory(small);
  if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "cannot mount a 64 KiB tmpfs here (" << std::strerror(errno)
                 << "), so a disk that fills goes untested";
  struct Unmount {
    std::string at;
    ~Unmount() { umount2(at.c_str(), MNT_DETACH); }
  } unmount{small};
  write_file(dir_ + "/big.pdx",
             hand_made_bank({{0, 768, 40000}, {1, 40768, 40000}}, 80768));
  for (const std::string &out : {small + "/out", small}) {
    RunResult r =
        run({.argv = kPdxdump.command({"-x", out, "big.pdx"}), .cwd = dir_});
    EXPECT_EQ(r.exit_status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "pdxdump: cannot write '" + out +
                         "/s01.pcm': No space left on device\n");
    EXPECT_TRUE(std::filesystem::is_empty(small)) << out;
  }
}

}  // namespace
