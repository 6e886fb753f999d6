#include "driver/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

bool is_shift_jis_lead_byte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9f) || (byte >= 0xe0 && byte <= 0xfc);
}

struct SplitCase {
  const char *line;
  std::vector<std::string> arguments;
};

// Katakana so and the kanji ten end in a backslash byte; the kanji for
// "tokoro"-like 0x8A 0x22 ends in a double quote byte.
#define SO "\x83\x5c"
#define DQ_TRAIL "\x8a\x22"

const SplitCase kSplitCases[] = {
    {"adpack", {}},
    {"adpack   ", {}},
    {"adpack bos", {"bos"}},
    {"adpack\tbos.pdl", {"bos.pdl"}},
    {"adpack  a \t b", {"a", "b"}},
    {"\"C:\\Program Files\\adpack.exe\" bos", {"bos"}},
    {"C:\\tools\\adpack.exe bos", {"bos"}},
    {"adpack \"a b\"", {"a b"}},
    {"adpack \"a b\"c", {"a bc"}},
    {"adpack a\"b c\"d e", {"ab cd", "e"}},
    {"adpack \"a b", {"a b"}},
    {"adpack a\\\"b", {"a\"b"}},
    {"adpack \"a\\\"b\"", {"a\"b"}},
    {"adpack a\\\\b", {"a\\\\b"}},
    // Only the backslash right before the quote escapes it; the one before
    // that stays as it is.
    {"adpack a\\\\\"b c", {"a\\\"b", "c"}},
    {"adpack a\\b\\", {"a\\b\\"}},
    {"adpack \"\"", {""}},
    {"adpack \"\" x", {"", "x"}},
    {"adpack *.pdl ?", {"*.pdl", "?"}},
    // The second byte of a double-byte character is never an escape or a
    // quote.
    {"adpack " SO "\"a b\"", {SO "a b"}},
    {"adpack " DQ_TRAIL " b", {DQ_TRAIL, "b"}},
    {"adpack \"" DQ_TRAIL " b\"", {DQ_TRAIL " b"}},
    {"\"ad" DQ_TRAIL "pack\" x", {"x"}},
    // A lead byte takes the next byte even when that is a blank.
    {"adpack \x81 b", {"\x81 b"}},
    // A lead byte at the very end stands alone.
    {"adpack a\x83", {"a\x83"}},
};

// Keeps test listings readable and stable between builds.
void PrintTo(const SplitCase &c, std::ostream *out) {
  *out << testing::PrintToString(std::string(c.line));
}

class CommandLine : public testing::TestWithParam<SplitCase> {};

TEST_P(CommandLine, SplitsAsTheConsoleUserTypedIt) {
  const SplitCase &c = GetParam();
  EXPECT_EQ(split_command_line(c.line, is_shift_jis_lead_byte), c.arguments)
      << "line: " << c.line;
}

// Rows are named by their index: the names themselves hold bytes that no
// test name may.
std::string row_name(
    const testing::TestParamInfo<CommandLine::ParamType> &row) {
  return "row" + std::to_string(row.index);
}

INSTANTIATE_TEST_SUITE_P(Table, CommandLine, testing::ValuesIn(kSplitCases),
                         row_name);

}  // namespace
