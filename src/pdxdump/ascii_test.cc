#include "pdxdump/ascii.h"

#include <gtest/gtest.h>

namespace {

struct AsciiCase {
  std::string bytes;
  const char *printable;
  const char *json;
};

const AsciiCase kAsciiCases[] = {
    {"demo.pdx", "demo.pdx", "\"demo.pdx\""},
    {"", "", "\"\""},
    {"a\\b \"c\"", "a\\b \"c\"", "\"a\\\\b \\\"c\\\"\""},
    {"line\nfeed\ttab\rcr", "line\\x0afeed\\x09tab\\x0dcr",
     "\"line\\nfeed\\ttab\\rcr\""},
    // Shift_JIS "so", whose second byte is a backslash, and DEL.
    {"\x83\x5c.pdx\x7f", "\\x83\\.pdx\\x7f", "\"\\u0083\\\\.pdx\\u007f\""},
    {std::string("a\0b", 3), "a\\x00b", "\"a\\u0000b\""},
};

class Ascii : public testing::TestWithParam<AsciiCase> {};

TEST_P(Ascii, KeepsOnlyPrintableAscii) {
  const AsciiCase &c = GetParam();
  EXPECT_EQ(printable_name(c.bytes), c.printable);
  EXPECT_EQ(json_string(c.bytes), c.json);
}

INSTANTIATE_TEST_SUITE_P(Table, Ascii, testing::ValuesIn(kAsciiCases));

}  // namespace
