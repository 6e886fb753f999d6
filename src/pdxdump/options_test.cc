#include "pdxdump/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Parses words as they follow the program's name on a command line. The
// options point into words, so the caller keeps them.
int parse(std::vector<std::string> &words, DumpOptions *options,
          std::string *error) {
  words.insert(words.begin(), "pdxdump");
  std::vector<char *> argv;
  for (std::string &word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  return parse_options(static_cast<int>(words.size()), argv.data(), options,
                       error);
}

struct OptionCase {
  std::vector<std::string> args;
  const char *bank;
  const char *extract_dir;
  bool all, json, help, version;
};

const OptionCase kOptionCases[] = {
    {{"bank.pdx"}, "bank.pdx", nullptr, false, false, false, false},
    {{"-a", "b"}, "b", nullptr, true, false, false, false},
    {{"b", "--json", "--all"}, "b", nullptr, true, true, false, false},
    {{"-aj", "b"}, "b", nullptr, true, true, false, false},
    {{"-x", "out", "b"}, "b", "out", false, false, false, false},
    {{"-jxout", "b"}, "b", "out", false, true, false, false},
    {{"--extract", "out", "b"}, "b", "out", false, false, false, false},
    {{"b", "--extract=o=1"}, "b", "o=1", false, false, false, false},
    {{"--extract", "--json", "b"}, "b", "--json", false, false, false, false},
    {{"--", "-x"}, "-x", nullptr, false, false, false, false},
    {{"-a", "--", "--json"}, "--json", nullptr, true, false, false, false},
    {{"-"}, "-", nullptr, false, false, false, false},
    {{"--help"}, nullptr, nullptr, false, false, true, false},
    {{"b", "-h"}, "b", nullptr, false, false, true, false},
    {{"-V"}, nullptr, nullptr, false, false, false, true},
    {{"--version"}, nullptr, nullptr, false, false, false, true},
};

class Options : public testing::TestWithParam<OptionCase> {};

TEST_P(Options, ParseAsDocumented) {
  const OptionCase &c = GetParam();
  std::vector<std::string> words = c.args;
  DumpOptions options;
  std::string error;
  ASSERT_EQ(parse(words, &options, &error), 0) << error;
  EXPECT_STREQ(options.bank, c.bank);
  EXPECT_STREQ(options.extract_dir, c.extract_dir);
  EXPECT_EQ(options.all, c.all);
  EXPECT_EQ(options.json, c.json);
  EXPECT_EQ(options.help, c.help);
  EXPECT_EQ(options.version, c.version);
}

INSTANTIATE_TEST_SUITE_P(Table, Options, testing::ValuesIn(kOptionCases));

struct SoundOptionCase {
  std::vector<std::string> args;
  bool wav;
  const char *html;
  unsigned rate;
};

const SoundOptionCase kSoundOptionCases[] = {
    {{"b"}, false, nullptr, 15625},
    {{"-x", "o", "--wav", "b"}, true, nullptr, 15625},
    {{"--html", "page.html", "b"}, false, "page.html", 15625},
    {{"b", "--html=-"}, false, "-", 15625},
    {{"--html", "-", "--rate", "1000", "b"}, false, "-", 1000},
    {{"--rate=48000", "b"}, false, nullptr, 48000},
    {{"--rate", "07813", "b"}, false, nullptr, 7813},
    // Help needs no bank, and no --extract for --wav.
    {{"--wav", "--help"}, true, nullptr, 15625},
};

class SoundOptions : public testing::TestWithParam<SoundOptionCase> {};

TEST_P(SoundOptions, ParseAsDocumented) {
  const SoundOptionCase &c = GetParam();
  std::vector<std::string> words = c.args;
  DumpOptions options;
  std::string error;
  ASSERT_EQ(parse(words, &options, &error), 0) << error;
  EXPECT_EQ(options.wav, c.wav);
  EXPECT_STREQ(options.html, c.html);
  EXPECT_EQ(options.rate, c.rate);
}

INSTANTIATE_TEST_SUITE_P(Table, SoundOptions,
                         testing::ValuesIn(kSoundOptionCases));

struct RefusedCase {
  std::vector<std::string> args;
  const char *error;
};

const RefusedCase kRefusedCases[] = {
    {{}, "no bank given"},
    {{"-a", "--"}, "no bank given"},
    {{"--bogus", "b"}, "unknown option '--bogus'"},
    {{"-aq", "b"}, "unknown option '-q'"},
    {{"--al", "b"}, "unknown option '--al'"},
    {{"--all=1", "b"}, "option '--all' takes no value"},
    {{"a", "b"}, "one bank at a time: 'a' and 'b' given"},
    {{"--", "a", "--json"}, "one bank at a time: 'a' and '--json' given"},
    {{"b", "--extract"}, "--extract needs a directory"},
    {{"b", "-x"}, "-x needs a directory"},
    {{"--extract=", "b"}, "--extract needs a directory"},
    {{"-x", "o", "--extract", "p", "b"}, "--extract given twice"},
    {{"--\xff\n"}, "unknown option '--\\xff\\x0a'"},
    {{"--wav", "b"}, "--wav needs --extract"},
    {{"b", "--html"}, "--html needs a file"},
    {{"--html=", "b"}, "--html needs a file"},
    {{"--html", "a", "--html", "c", "b"}, "--html given twice"},
    {{"-j", "--html", "-", "b"},
     "--json and --html - both want the standard output"},
    {{"b", "--rate"}, "--rate needs a rate in Hz"},
    {{"--rate", "999", "b"},
     "--rate takes a whole number of Hz from 1000 to 48000, not '999'"},
    {{"--rate=48001", "b"},
     "--rate takes a whole number of Hz from 1000 to 48000, not '48001'"},
    {{"--rate", "", "b"},
     "--rate takes a whole number of Hz from 1000 to 48000, not ''"},
    {{"--rate", "+8000", "b"},
     "--rate takes a whole number of Hz from 1000 to 48000, not '+8000'"},
    {{"--rate", "8000Hz", "b"},
     "--rate takes a whole number of Hz from 1000 to 48000, not '8000Hz'"},
    {{"--rate", "99999999999999999999", "b"},
     "--rate takes a whole number of Hz from 1000 to 48000, not "
     "'99999999999999999999'"},
};

class RefusedOptions : public testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedOptions, SayWhy) {
  const RefusedCase &c = GetParam();
  std::vector<std::string> words = c.args;
  DumpOptions options;
  std::string error;
  EXPECT_EQ(parse(words, &options, &error), -1);
  EXPECT_EQ(error, c.error);
}

INSTANTIATE_TEST_SUITE_P(Table, RefusedOptions,
                         testing::ValuesIn(kRefusedCases));

}  // namespace
