// pdxdump --list through the real program, in a scratch directory that holds
// the samples a musician would have: each list gives the report lines it
// must, and the check never touches a file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "pdxdump/hand_made_bank.h"
#include "pdxdump/sound_file.h"
#include "support/files.h"
#include "support/process.h"

namespace {

using adpack_test::read_file;
using adpack_test::run;
using adpack_test::RunResult;
using adpack_test::TempDir;
using adpack_test::write_file;

const std::string kRiffHead = std::string("RIFF\x24\x00\x00\x00WAVEfmt ", 16);

// The samples: kick.pcm of 100 bytes, a WAV file, an empty one, one whose
// name holds a blank, one in capitals, a directory and a FIFO.
class ListCheck : public testing::Test {
 protected:
  void SetUp() override {
    std::string adpcm;
    for (int i = 0; i < 100; ++i) adpcm += static_cast<char>(0x11 * (i % 15));
    write_file(dir_ + "/kick.pcm", adpcm);
    write_file(dir_ + "/kick.wav", kRiffHead);
    write_file(dir_ + "/empty.pcm", "");
    write_file(dir_ + "/My Kick.pcm", adpcm.substr(0, 40));
    write_file(dir_ + "/SNARE.PCM", adpcm.substr(0, 30));
    std::filesystem::create_directory(dir_ + "/drums");
    ::mkfifo((dir_ + "/pipe").c_str(), 0600);
  }

  RunResult check(const std::string &list,
                  std::vector<std::string> options = {}) {
    write_file(dir_ + "/bos.pdl", list);
    std::vector<std::string> argv = {PDXDUMP_PROGRAM, "--list"};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back("bos");
    return run({.argv = argv, .cwd = dir_, .locale = "C"});
  }

  TempDir tmp_;
  std::string dir_ = tmp_.path().string();
};

struct LineCase {
  std::string list;
  std::vector<std::string> lines;  // each must be a whole line of the report
  int status;
};

bool has_line(const std::string &text, const std::string &line) {
  return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

TEST_F(ListCheck, SaysWhatAdpackMakesOfEachLine) {
  const std::string stops = " (adpack stops here)";
  const LineCase cases[] = {
      {"0 = kick.pcm\n",
       {"line 1: slot 0 'kick.pcm', 100 bytes at offset 768",
        "slots used:                     1",
        "distinct samples:               1",
        "bank size:                    868",
        "seconds at 15625 Hz:        0.013"},
       0},
      // The five silent mistakes.
      {"\xef\xbb\xbf"
       "0 = kick.pcm\n1 = kick.pcm\n",
       {"line 1: skipped", "line 2: slot 1 'kick.pcm', 100 bytes at offset 768",
        "problem: line 1: adpack skips this line, which looks like an entry: "
        "it begins with a UTF-8 byte-order mark"},
       1},
      {" 0 = kick.pcm\n",
       {"line 1: skipped",
        "problem: line 1: adpack skips this line, which looks like an entry: "
        "it begins with blanks or tabs"},
       1},
      {"0 = kick.pcm\t* the kick\n",
       {"line 1: slot 0 'kick.pcm\\t', refused",
        "problem: line 1: 'kick.pcm\\t' names no file in the current "
        "directory" +
            stops,
        "note: line 1: the name 'kick.pcm\\t' holds a tab"},
       1},
      {"0 =\tkick.pcm\n",
       {"line 1: slot 0 '\\tkick.pcm', refused",
        "note: line 1: the name '\\tkick.pcm' holds a tab"},
       1},
      {"0 = My Kick.pcm\n",
       {"problem: line 1: 'MyKick.pcm' names no file in the current "
        "directory" +
            stops,
        "note: line 1: blanks or '=' are removed from the name: "
        "'My Kick.pcm' is read as 'MyKick.pcm'"},
       1},
      {"0 = kick.wav\n",
       {"line 1: slot 0 'kick.wav', 16 bytes at offset 768",
        "note: line 1: 'kick.wav' begins like a WAV file, not ADPCM: its "
        "bytes play as noise; make the sample with 'adpcm encode'"},
       0},
      // Sharing, letter case, spellings, slots given twice, empty samples.
      {"0 = kick.pcm\n* toms\n\n5 = kick.pcm\n",
       {"line 2: skipped", "line 3: skipped",
        "line 4: slot 5 'kick.pcm', the copy of slot 0 (line 1)",
        "slots used:                     2",
        "distinct samples:               1"},
       0},
      {"3 = snare.pcm\n",
       {"line 1: slot 3 'snare.pcm', found as 'SNARE.PCM', 30 bytes at offset "
        "768"},
       0},
      {"0 = kick.pcm\n1 = ./kick.pcm\n",
       {"line 2: slot 1 './kick.pcm', 100 bytes at offset 868",
        "note: line 2: './kick.pcm' is the file of 'kick.pcm' (line 1) spelt "
        "another way: adpack stores it twice"},
       0},
      {"0 = kick.pcm\n0 = empty.pcm\n",
       {"line 2: slot 0 'empty.pcm', 0 bytes at offset 868",
        "note: line 2: 'empty.pcm' is empty: slot 0 holds no sound",
        "note: line 2: slot 0 is given again (line 1); this line wins",
        "slots used:                     1",
        "bank size:                    868"},
       0},
      // Slots.
      {"96 = kick.pcm\n",
       {"problem: line 1: slot 96 is outside 0 to 95" + stops},
       1},
      {"2147483648 = kick.pcm\n",
       {"line 1: slot -2147483648 'kick.pcm', refused",
        "problem: line 1: slot 2147483648 is read as -2147483648, which is "
        "outside 0 to 95" +
            stops},
       1},
      {"4294967297 = kick.pcm\n",
       {"line 1: slot 1 'kick.pcm', 100 bytes at offset 768",
        "note: line 1: slot 4294967297 is read as 1"},
       0},
      {"\x82\x4f = kick.pcm\n",
       {"problem: line 1: adpack skips this line, which looks like an entry: "
        "its slot is written in full-width digits"},
       1},
      // Names that are no sample.
      {"0 = kick.pcm\n1 = drums\n2 = nothing.pcm\n",
       {"problem: line 2: 'drums' is a directory, not a sample" + stops,
        "problem: line 3: 'nothing.pcm' names no file in the current "
        "directory"},
       1},
      {"0 = pipe\n",
       {"line 1: slot 0 'pipe', 0 bytes at offset 768",
        "problem: line 1: 'pipe' is a FIFO or a device, not a sample: adpack "
        "copies 0 bytes of it"},
       1},
      {"0 = bos.pdx\n",
       {"problem: line 1: 'bos.pdx' is the bank itself" + stops},
       1},
      {"0 =\n",
       {"line 1: slot 0 '', refused",
        "problem: line 1: the name is empty, and names no file" + stops},
       1},
      // What the text-mode reading does to the bytes.
      {"0 = kick.pcm\r\n1 = ki\rck.pcm\r\n",
       {"line 2: slot 1 'kick.pcm', the copy of slot 0 (line 1)"},
       0},
      {"0 = kick.pcm\n\x1a"
       "1 = drums\n",
       {"slots used:                     1"},
       0},
      {"* " + std::string(300, 'x') + "\n0 = kick.pcm\n",
       {"line 1: skipped", "line 1 (piece 2): skipped",
        "line 2: slot 0 'kick.pcm', 100 bytes at offset 768",
        "note: line 1: the line holds 302 bytes: adpack reads it as 2 lines "
        "of at most 255 bytes"},
       0},
      {"* " + std::string(253, 'x') + "3 = kick.pcm\n",
       {"line 1 (piece 2): slot 3 'kick.pcm', 100 bytes at offset 768"},
       0},
      {"",
       {"slots used:                     0",
        "bank size:                    768"},
       0},
  };
  for (const LineCase &c : cases) {
    RunResult r = check(c.list);
    EXPECT_TRUE(r.exited) << r.describe();
    EXPECT_EQ(r.exit_status, c.status) << c.list << r.out;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind("list 'bos.pdl' for the bank 'bos.pdx'; samples are "
                          "named from the current directory\n",
                          0),
              0u);
    for (const std::string &line : c.lines)
      EXPECT_TRUE(has_line(r.out, line))
          << "missing: " << line << "\nin the report of:\n"
          << c.list << "\n"
          << r.out;
  }
  // None of it made a bank.
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/bos.pdx"));
}

TEST_F(ListCheck, SaysWhenASampleWouldPassTheBanksLimit) {
  std::filesystem::resize_file(
      (write_file(dir_ + "/huge.pcm", ""), dir_ + "/huge.pcm"),
      4294967295u - 768u);
  RunResult fits = check("0 = huge.pcm\n");
  EXPECT_EQ(fits.exit_status, 0) << fits.out;
  RunResult past = check("0 = kick.pcm\n1 = huge.pcm\n");
  EXPECT_EQ(past.exit_status, 1);
  EXPECT_TRUE(has_line(past.out,
                       "problem: line 2: 'huge.pcm' (4294966527 bytes) would "
                       "take the bank past 4 GiB - 1 (adpack stops here)"))
      << past.out;
}

TEST_F(ListCheck, GivesTheSameInJson) {
  RunResult r =
      check("0 = kick.pcm\n* \"q\"\n1 = a\\b\xe9.pcm\t\n2 = kick.pcm\n",
            {"--json", "--rate", "8000"});
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(
      r.out,
      "{\n"
      "  \"list\": \"bos.pdl\",\n"
      "  \"bank\": \"bos.pdx\",\n"
      "  \"lines\": [\n"
      "    {\"line\": 1, \"piece\": 1, \"kind\": \"entry\", \"slot\": 0, "
      "\"name\": \"kick.pcm\"},\n"
      "    {\"line\": 2, \"piece\": 1, \"kind\": \"skipped\"},\n"
      "    {\"line\": 3, \"piece\": 1, \"kind\": \"entry\", \"slot\": 1, "
      "\"name\": \"a\\\\b\\u00e9.pcm\\t\"},\n"
      "    {\"line\": 4, \"piece\": 1, \"kind\": \"entry\", \"slot\": 2, "
      "\"name\": \"kick.pcm\"}\n"
      "  ],\n"
      "  \"entries\": [\n"
      "    {\"line\": 1, \"slot\": 0, \"name\": \"kick.pcm\", \"found_as\": "
      "null, \"fate\": \"placed\", \"offset\": 768, \"length\": 100},\n"
      "    {\"line\": 3, \"slot\": 1, \"name\": \"a\\\\b\\u00e9.pcm\\t\", "
      "\"found_as\": null, \"fate\": \"refused\"},\n"
      "    {\"line\": 4, \"slot\": 2, \"name\": \"kick.pcm\", \"found_as\": "
      "null, \"fate\": \"shared\", \"offset\": 768, \"length\": 100, "
      "\"shares_slot\": 0, \"shares_line\": 1}\n"
      "  ],\n"
      "  \"slots\": [\n"
      "    {\"slot\": 0, \"offset\": 768, \"length\": 100, \"line\": 1, "
      "\"duration\": 0.025000},\n"
      "    {\"slot\": 2, \"offset\": 768, \"length\": 100, \"line\": 4, "
      "\"duration\": 0.025000}\n"
      "  ],\n"
      "  \"summary\": {\"slots_used\": 2, \"distinct_samples\": 1, "
      "\"data_bytes\": 100, \"bank_size\": 868, \"duration\": 0.025000, "
      "\"rate\": 8000, \"adpack_stops_at\": 3},\n"
      "  \"problems\": [\n"
      "    {\"line\": 3, \"kind\": \"not_found\", \"stops_adpack\": true, "
      "\"text\": \"line 3: 'a\\\\b\\\\xe9.pcm\\\\t' names no file in the "
      "current directory (adpack stops here)\"}\n"
      "  ],\n"
      "  \"notes\": [\n"
      "    {\"line\": 3, \"kind\": \"tab_in_name\", \"text\": \"line 3: the "
      "name 'a\\\\b\\\\xe9.pcm\\\\t' holds a tab\"}\n"
      "  ]\n"
      "}\n");
}

TEST_F(ListCheck, ReadsAListFromAPipeAsAdpackWould) {
  RunResult r = run({.argv = {"bash", "-c",
                              std::string(PDXDUMP_PROGRAM) +
                                  " --list <(printf '0 = kick.pcm\\n')"},
                     .cwd = dir_});
  EXPECT_EQ(r.exit_status, 0) << r.describe();
  EXPECT_TRUE(has_line(r.out,
                       "line 1: slot 0 'kick.pcm', 100 bytes at "
                       "offset 768"))
      << r.out;
  // /dev/fd/N gains no ".pdl" with adpack, and the report says so.
  EXPECT_NE(r.out.find(".pdl' names nothing, so the list is read from "),
            std::string::npos);

  // A FIFO under the list's own name: the check waits for the writer, as
  // adpack does.
  std::string fifo = dir_ + "/live.pdl";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  RunResult live =
      run({.argv = {"bash", "-c",
                    "printf '4 = kick.pcm\\n' > live.pdl & " +
                        std::string(PDXDUMP_PROGRAM) + " --list live; wait"},
           .cwd = dir_});
  EXPECT_EQ(live.exit_status, 0) << live.describe();
  EXPECT_TRUE(has_line(live.out,
                       "line 1: slot 4 'kick.pcm', 100 bytes at "
                       "offset 768"))
      << live.out;
}

TEST_F(ListCheck, FailsWithStatusTwoAndTheSystemsReason) {
  std::filesystem::create_directory(dir_ + "/dir.pdl");
  struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"--list", "missing"},
       "pdxdump: cannot read 'missing.pdl': No such file or directory\n"},
      {{"--list", "dir.pdl"},
       "pdxdump: cannot read 'dir.pdl': Is a directory\n"},
      {{"--list", "kick.pcm/bos.pdl"},
       "pdxdump: cannot read 'kick.pcm/bos.pdl': Not a directory\n"},
      {{"--list", "--extract", "out", "bos"},
       "pdxdump: --list takes only --json and --rate\n"
       "Try 'pdxdump --help' for more.\n"},
  };
  for (const auto &c : cases) {
    std::vector<std::string> argv = {PDXDUMP_PROGRAM};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    RunResult r = run({.argv = argv, .cwd = dir_});
    EXPECT_EQ(r.exit_status, 2) << c.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.err);
  }
}

TEST(SoundFile, TellsSoundFilesFromADPCMByTheirFirstBytes) {
  struct {
    std::string head;
    const char *format;
  } cases[] = {
      {kRiffHead, "WAV"},
      {std::string("RIFF\0\0\0\0AVI ", 12), nullptr},
      {std::string("FORM\0\0\0\0AIFF", 12), "AIFF"},
      {std::string("FORM\0\0\0\0AIFC", 12), "AIFF"},
      {"fLaC\0\0\0\"", "FLAC"},
      {"OggS", "Ogg"},
      {"ID3\x04", "MP3"},
      {"\xff\xfb\x90\x64", "MP3"},    // MPEG-1 layer III, 128 kbit/s
      {"\xff\xfb\xf0\x64", nullptr},  // the bit rate that cannot be
      {"\xff\xe9\x90\x64", nullptr},  // the version that cannot be
      {"RIFF", nullptr},
      {"", nullptr},
      {std::string(12, '\x08'), nullptr},
  };
  for (const auto &c : cases) {
    const char *format = sound_file_format(
        reinterpret_cast<const unsigned char *>(c.head.data()), c.head.size());
    EXPECT_STREQ(format, c.format) << c.head;
  }
}

TEST_F(ListCheck, TheBankCheckNotesASampleThatIsASoundFile) {
  std::string bank = hand_made_bank({{0, 768, 20}, {1, 788, 10}}, 798);
  bank.replace(768, 16, kRiffHead);
  write_file(dir_ + "/b.pdx", bank);
  std::string note =
      "slot 0 begins like a WAV file, not ADPCM: its bytes play as noise; "
      "make the sample with 'adpcm encode'";
  RunResult text = run({.argv = {PDXDUMP_PROGRAM, "b.pdx"}, .cwd = dir_});
  EXPECT_EQ(text.exit_status, 0);
  EXPECT_TRUE(has_line(text.out, "note: " + note)) << text.out;
  EXPECT_EQ(text.out.find("slot 1 begins"), std::string::npos);
  RunResult json =
      run({.argv = {PDXDUMP_PROGRAM, "--json", "b.pdx"}, .cwd = dir_});
  EXPECT_NE(json.out.find("{\"kind\": \"sound_file\", \"slots\": [0], "
                          "\"offset\": 768, \"length\": 20, \"format\": "
                          "\"WAV\", \"text\": \"" +
                          note + "\"}"),
            std::string::npos)
      << json.out;
  RunResult page =
      run({.argv = {PDXDUMP_PROGRAM, "--html", "-", "b.pdx"}, .cwd = dir_});
  EXPECT_NE(page.out.find("<strong>note:</strong> slot 0 begins like a WAV "
                          "file, not ADPCM: its bytes play as noise; make the "
                          "sample with &#39;adpcm encode&#39;</li>"),
            std::string::npos);
}

}  // namespace
