#include "list/list_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "driver/messages.h"
#include "driver/run_end.h"
#include "driver/stream.h"

namespace {

std::string repeat(char byte, std::size_t count) {
  return std::string(count, byte);
}

struct ListCase {
  const char *title;
  std::string data;
  // One line per call: "N <name>" for an entry, "skip" for a skipped line.
  std::string calls;
};

const std::string kLetters253 = repeat('n', 253);

const ListCase kListCases[] = {
    {"empty file", "", ""},
    {"only ctrl-z", "\x1a", ""},
    {"spaced entry", "12 = a.dat\n", "12 <a.dat>\n"},
    {"last line without line feed", "12=a.dat", "12 <a.dat>\n"},
    {"space inside the name", "3=a b.dat\n", "3 <ab.dat>\n"},
    {"space alone separates", "3 a.dat\n", "3 <a.dat>\n"},
    {"every = vanishes", "3 == a=b.dat\n", "3 <ab.dat>\n"},
    {"comment after the name", "3 = a.dat * comment\n", "3 <a.dat>\n"},
    {"comment instead of a name", "3 = * a.dat\n", "3 <>\n"},
    {"empty names", "3\n3=\n3 \n", "3 <>\n3 <>\n3 <>\n"},
    {"tab in the number field", "3\t= a.dat\n", "3 <a.dat>\n"},
    {"tabs stay in the name", "3 =\ta.dat\t\n", "3 <\ta.dat\t>\n"},
    {"tab does not separate", "3\ta.dat\n", "3 <>\n"},
    {"leading zeros", "007 = a.dat\n", "7 <a.dat>\n"},
    {"letters after the digits", "12abc = a.dat\n", "12 <a.dat>\n"},
    {"no fractions", "1.5 = a.dat\n", "1 <a.dat>\n"},
    {"star in the number field", "1*2 = a.dat\n", "1 <a.dat>\n"},
    {"digits after the separator", "1 2 = a.dat\n", "1 <2a.dat>\n"},
    {"lines that are not entries",
     " 12 = a.dat\n\t12 = a.dat\n+12 = a.dat\n-1 = a.dat\n* 12 = a.dat\n"
     "= 12 a.dat\n\n",
     "skip\nskip\nskip\nskip\nskip\nskip\nskip\n"},
    {"byte-order mark and full-width digit",
     "\xef\xbb\xbf"
     "1 = a.dat\n\x82\x4f = a.dat\n",
     "skip\nskip\n"},
    {"carriage return line feed", "1=a.dat\r\n2=b.dat\r\n",
     "1 <a.dat>\n2 <b.dat>\n"},
    {"lone carriage returns end no line", "1=a.dat\r2=b.dat\r",
     "1 <a.dat2b.dat>\n"},
    {"carriage return inside a name", "1=a\rb.dat\n", "1 <ab.dat>\n"},
    {"ctrl-z after a line feed",
     "1=a.dat\n\x1a"
     "2=b.dat\n",
     "1 <a.dat>\n"},
    {"ctrl-z inside a line",
     "1=a.dat\x1a"
     "2=b.dat\n",
     "1 <a.dat>\n"},
    {"zero byte ends the line", std::string("1=a.dat\0xyz\n", 12),
     "1 <a.dat>\n"},
    {"300-byte line", "1=" + repeat('n', 298) + "\n",
     "1 <" + kLetters253 + ">\nskip\n"},
    {"long comment then an entry", "*" + repeat('x', 254) + "5=b.dat\n",
     "skip\n5 <b.dat>\n"},
    {"line of exactly 255 bytes", "1=" + kLetters253 + "\n",
     "1 <" + kLetters253 + ">\nskip\n"},
    {"largest slot number", "2147483647 = a.dat\n", "2147483647 <a.dat>\n"},
    {"slot number wraps negative", "2147483648 = a.dat\n",
     "-2147483648 <a.dat>\n"},
    {"slot number wraps to one", "4294967297 = a.dat\n", "1 <a.dat>\n"},
    {"slots past the table", "96 = a.dat\n9999 = a.dat\n",
     "96 <a.dat>\n9999 <a.dat>\n"},
    // 510 stars, so the carriage return is the last byte of the first block.
    {"carriage return ending a block", repeat('*', 510) + "\n\r\n4=b\n",
     "skip\nskip\nskip\nskip\n4 <b>\n"},
    {"double-byte name", "5 = \x83\x5c\x81\x40\x83\x93.pcm\n",
     "5 <\x83\x5c\x81\x40\x83\x93.pcm>\n"},
    {"directories in a name", "5 = C:\\my dir\\..\\a.pcm\n",
     "5 <C:\\mydir\\..\\a.pcm>\n"},
};

std::string write_list_file(const std::string &data) {
  char path[] = "/tmp/adpack-list-XXXXXX";
  int fd = mkstemp(path);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(write(fd, data.data(), data.size()),
            static_cast<ssize_t>(data.size()));
  close(fd);
  return path;
}

// Runs the list through the reader as the driver's loop does, reporting each
// call on standard error, and ends as a complete run ends.
[[noreturn]] void read_whole_list(const char *path) {
  Stream *list = stream_open(path, "rt");
  if (!list) std::_Exit(99);
  while (!stream_eof(list)) {
    std::int32_t number = 777;
    char name[LIST_NAME_SIZE] = "untouched";
    if (read_list_entry(&number, name, list) == 1)
      std::fprintf(stderr, "%d <%s>\n", number, name);
    else if (number == 777 && std::string(name) == "untouched")
      std::fputs("skip\n", stderr);
    else
      std::fputs("skip that wrote its outputs\n", stderr);
  }
  exit_run(finish_run());
}

std::string console_form(const char *text) {
  std::string out;
  for (const char *p = text; *p; ++p) {
    if (*p == '\n') out += '\r';
    out += *p;
  }
  return out;
}

// Keeps test listings readable and stable between builds.
void PrintTo(const ListCase &c, std::ostream *out) {
  *out << testing::PrintToString(std::string(c.title));
}

class ListReader : public testing::TestWithParam<ListCase> {};

TEST_P(ListReader, YieldsEachLineThenFinishesOnce) {
  const ListCase &c = GetParam();
  std::string path = write_list_file(c.data);
  // The end of the list ends the process, so each list runs in a child.
  EXPECT_EXIT(read_whole_list(path.c_str()), testing::ExitedWithCode(0),
              testing::StrEq(c.calls + console_form(MSG_FINISHED.text)))
      << c.title;
  unlink(path.c_str());
}

std::string case_name(const testing::TestParamInfo<ListCase> &param_info) {
  std::string name;
  for (const char *p = param_info.param.title; *p; ++p)
    name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Table, ListReader, testing::ValuesIn(kListCases),
                         case_name);

TEST(ListReaderFailure, ReadErrorEndsTheRunWithStatus255) {
  // Reading this file at offset 0 fails with an I/O error.
  EXPECT_EXIT(read_whole_list("/proc/self/mem"), testing::ExitedWithCode(255),
              testing::StrEq(console_form(MSG_READ_FAILED.text)));
}

}  // namespace
