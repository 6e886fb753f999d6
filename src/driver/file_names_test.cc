#include "driver/file_names.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct NameCase {
  const char *argument;
  const char *list_name;
  const char *bank_name;
};

// "x.y" followed by the katakana so, whose second byte is a backslash.
#define KATAKANA_SO "\x83\x5c"

const NameCase kNameCases[] = {
    {"bos", "bos.pdl", "bos.pdx"},
    {"BOS.PDL", "BOS.PDL", "BOS.pdx"},
    {"bos.txt", "bos.txt", "bos.pdx"},
    {"bos.", "bos.", "bos.pdx"},
    {"bos.pdx", "bos.pdx", "bos.pdx"},
    {"a.b.c", "a.b.c", "a.b.pdx"},
    {"a.b\\c", "a.b\\c.pdl", "a.b\\c.pdx"},
    {"dir\\", "dir\\.pdl", "dir\\.pdx"},
    {"x.y" KATAKANA_SO, "x.y" KATAKANA_SO ".pdl", "x.y" KATAKANA_SO ".pdx"},
    // A slash separates directories as a backslash does.
    {"sub.d/bos", "sub.d/bos.pdl", "sub.d/bos.pdx"},
    {"../bos", "../bos.pdl", "../bos.pdx"},
    {"./bos.x/", "./bos.x/.pdl", "./bos.x/.pdx"},
    {"C:\\music.v1\\bos", "C:\\music.v1\\bos.pdl", "C:\\music.v1\\bos.pdx"},
};

// Keeps test listings readable and stable between builds.
void PrintTo(const NameCase &c, std::ostream *out) {
  *out << testing::PrintToString(std::string(c.argument));
}

class FileNames : public testing::TestWithParam<NameCase> {};

TEST_P(FileNames, DerivesListAndBankName) {
  const NameCase &c = GetParam();
  std::string buffer(c.argument);
  buffer.resize(buffer.size() + 32, '\0');

  add_default_extension(buffer.data());
  EXPECT_STREQ(buffer.c_str(), c.list_name);
  make_bank_name(buffer.data());
  EXPECT_STREQ(buffer.c_str(), c.bank_name);
}

// Rows are named by their index: the names themselves hold bytes that no
// test name may.
std::string row_name(const testing::TestParamInfo<FileNames::ParamType> &row) {
  return "row" + std::to_string(row.index);
}

INSTANTIATE_TEST_SUITE_P(Table, FileNames, testing::ValuesIn(kNameCases),
                         row_name);

}  // namespace
