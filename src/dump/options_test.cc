#include "dump/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<char *> argv_of(std::vector<std::string> &words) {
  std::vector<char *> argv;
  for (std::string &word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  return argv;
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
  std::vector<std::string> words = {"pdxdump"};
  words.insert(words.end(), c.args.begin(), c.args.end());
  std::vector<char *> argv = argv_of(words);
  DumpOptions options;
  std::string error;
  ASSERT_EQ(parse_options(static_cast<int>(words.size()), argv.data(), &options,
                          &error),
            0)
      << error;
  EXPECT_STREQ(options.bank, c.bank);
  EXPECT_STREQ(options.extract_dir, c.extract_dir);
  EXPECT_EQ(options.all, c.all);
  EXPECT_EQ(options.json, c.json);
  EXPECT_EQ(options.help, c.help);
  EXPECT_EQ(options.version, c.version);
}

INSTANTIATE_TEST_SUITE_P(Table, Options, testing::ValuesIn(kOptionCases));

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
};

class RefusedOptions : public testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedOptions, SayWhy) {
  const RefusedCase &c = GetParam();
  std::vector<std::string> words = {"pdxdump"};
  words.insert(words.end(), c.args.begin(), c.args.end());
  std::vector<char *> argv = argv_of(words);
  DumpOptions options;
  std::string error;
  EXPECT_EQ(parse_options(static_cast<int>(words.size()), argv.data(), &options,
                          &error),
            -1);
  EXPECT_EQ(error, c.error);
}

INSTANTIATE_TEST_SUITE_P(Table, RefusedOptions,
                         testing::ValuesIn(kRefusedCases));

}  // namespace
