#include "pdxdump/pdxdump.h"

#include <gmock/gmock.h>
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

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PDXDUMP_TEST_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define PDXDUMP_TEST_ADDRESS_SANITIZER 1
#endif

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
  // The suite's one version, in the three parts its packages carry.
  EXPECT_EQ(version.out, "pdxdump " ADPACK_VERSION "\n");
  EXPECT_THAT(version.out,
              testing::MatchesRegex("pdxdump [0-9]+\\.[0-9]+\\.[0-9]+\n"));
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

// Whatever fails, nothing that the run wrote stays, also where a directory
// is found in another letter case, so that its files have other names than
// the ones given.
TEST_F(Pdxdump, FailureTakesBackEveryFileByItsRealName) {
  write_file(dir_ + "/big.pdx",
             hand_made_bank({{0, 768, 3000}, {1, 3768, 3000}}, 6768));
  std::filesystem::create_directory(dir_ + "/PARTS");
  std::filesystem::create_directory(dir_ + "/SUB");
  struct {
    std::vector<std::string> args;
    unsigned long long file_size_limit;
    std::string err;
  } cases[] = {
      {{"--extract", "parts", "--wav", "big.pdx"},
       4000,
       "cannot write 'PARTS/s00.wav': File too large"},
      {{"--extract", "sub/made", "big.pdx"},
       2000,
       "cannot write 'SUB/made/s00.pcm': File too large"},
      {{"--html", "sub/page.html", "--extract", "parts", "big.pdx"},
       4000,
       "cannot write 'sub/page.html': File too large"},
  };
  for (const auto &c : cases) {
    RunResult r = run({.argv = kPdxdump.command(c.args),
                       .cwd = dir_,
                       .file_size_limit = c.file_size_limit});
    EXPECT_EQ(r.exit_status, 2) << c.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "pdxdump: " + c.err + "\n");
    EXPECT_TRUE(std::filesystem::is_empty(dir_ + "/PARTS")) << c.err;
    EXPECT_TRUE(std::filesystem::is_empty(dir_ + "/SUB")) << c.err;
  }
}

// The page's name is tried before anything is written: a page that exists
// stops the run before the extraction.
TEST_F(Pdxdump, ExistingPageStopsTheRunBeforeTheExtraction) {
  write_file(dir_ + "/page.html", "mine");
  RunResult r = run({.argv = kPdxdump.command(
                         {"--extract", "out", "--html", "PAGE.HTML", good_}),
                     .cwd = dir_});
  EXPECT_EQ(r.exit_status, 2);
  EXPECT_EQ(r.err,
            "pdxdump: 'PAGE.HTML' exists already; it is left as it is\n");
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/out"));
  EXPECT_EQ(read_file(dir_ + "/page.html"), "mine");
}

// As a filter: the bank from a pipe, and a reader that stops early, as
// head does, is no failure.
TEST_F(Pdxdump, WorksAsAFilter) {
  RunResult named = run({.argv = kPdxdump.command({"--json", good_})});
  RunResult piped = run({.argv = kPdxdump.command({"--json", "-"}),
                         .input = read_file(good_).value()});
  EXPECT_EQ(piped.exit_status, 0);
  EXPECT_EQ(piped.err, "");
  EXPECT_EQ(piped.out, std::string(named.out).replace(
                           named.out.find(good_), good_.size(), "-"));

  std::string big = dir_ + "/big.pdx";
  write_file(big, hand_made_bank({{0, 768, 1 << 20}}, 768 + (1 << 20)));
  for (const auto &args : std::vector<std::vector<std::string>>{
           {"--html", "-", big}, {"--all", bad_}}) {
    RunResult r =
        run({.argv = kPdxdump.command(args), .out = adpack_test::Capture::kNoReader});
    EXPECT_TRUE(r.exited) << r.describe();
    EXPECT_EQ(r.exit_status, args.back() == bad_ ? 1 : 0) << args.back();
    EXPECT_EQ(r.err, "") << args.back();
  }
}

// Bytes of something else read as a table point far past the file's end;
// every report says so once, before the problems.
TEST_F(Pdxdump, SaysWhenTheFileIsNoBank) {
  std::string page = "<!DOCTYPE html>\n<html><body>";
  page += std::string(2000, 'x') + "</body></html>\n";
  write_file(dir_ + "/page.pdx", page);
  const std::string warning =
      "this does not look like a bank: 96 of its 96 filled slots point past "
      "the end of the file";
  DumpRun text = dump({dir_ + "/page.pdx"});
  EXPECT_EQ(text.status, 1);
  std::size_t at = text.out.find("\nwarning: " + warning + "\nproblem: ");
  EXPECT_NE(at, std::string::npos);
  EXPECT_EQ(text.out.find("problem: "), at + warning.size() + 11);
  DumpRun json = dump({"--json", dir_ + "/page.pdx"});
  EXPECT_NE(json.out.find("  \"warning\": \"" + warning +
                          "\",\n  \"problems\": ["),
            std::string::npos);
  DumpRun html = dump({"--html", "-", dir_ + "/page.pdx"});
  EXPECT_NE(html.out.find("<ul>\n<li class=\"problem\"><strong>warning:"
                          "</strong> " +
                          warning + "</li>\n"),
            std::string::npos);
  // A bank with a sample past its end is still a bank.
  EXPECT_EQ(dump({bad_}).out.find("warning:"), std::string::npos);
}

// An allocation that fails is a message and status 2, and what the run
// wrote goes: a bank from a pipe is held in memory, more than allowed here.
TEST_F(Pdxdump, OutOfMemoryIsAFailureThatLeavesNothing) {
#ifdef PDXDUMP_TEST_ADDRESS_SANITIZER
  GTEST_SKIP() << "the sanitizer's shadow memory cannot live under RLIMIT_AS";
#endif
  write_file(dir_ + "/big.pdx",
             hand_made_bank({{0, 768, 32 << 20}}, 768 + (32 << 20)));
  RunResult r = run(
      {.argv = {"sh", "-c",
                "cat big.pdx | prlimit --as=" + std::to_string(24 << 20) +
                    " -- '" PDXDUMP_PROGRAM "' --html page.html -"},
       .cwd = dir_});
  ASSERT_TRUE(r.exited) << r.describe();
  EXPECT_EQ(r.exit_status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "pdxdump: out of memory\n");
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/page.html"));
}

}  // namespace
