#include "pdxdump/extract.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "pdxdump/hand_made_bank.h"
#include "support/files.h"

namespace {

using adpack_test::entry_exists;
using adpack_test::read_file;
using adpack_test::TempDir;
using adpack_test::write_file;

const char kListHeader[] =
    "* made by pdxdump --extract: one file per sample, in the order of\n"
    "* their offsets, so that adpack puts each back where it was\n";

BankReport report_of(const std::string &bank) {
  return check_bank(reinterpret_cast<const unsigned char *>(bank.data()),
                    bank.size() < 768 ? bank.size() : 768, bank.size());
}

// An empty sample placed right before another sample at the same offset
// must come first in the list, or adpack would place it after that sample.
TEST(ExtractPlan, OrdersByOffsetWithEmptySamplesFirst) {
  std::string bank = hand_made_bank({{3, 768, 0},
                                     {9, 768, 100},
                                     {0, 768, 100},
                                     {1, 868, 10},
                                     {4, 878, 0},
                                     {2, 878, 0}},
                                    878);
  ExtractPlan plan = plan_extract(report_of(bank), "demo.pdx");
  EXPECT_EQ(plan.list_name, "demo.pdl");
  EXPECT_EQ(plan.list_text, std::string(kListHeader) +
                                "3 = s03.pcm\n"
                                "0 = s00.pcm\n"
                                "9 = s00.pcm\n"
                                "1 = s01.pcm\n"
                                "2 = s02.pcm\n"
                                "4 = s02.pcm\n");
  ASSERT_EQ(plan.files.size(), 4u);
  EXPECT_EQ(plan.files[0].name, "s03.pcm");
  EXPECT_EQ(plan.files[1].name, "s00.pcm");
  EXPECT_EQ(plan.files[1].slots, (std::vector<int>{0, 9}));
  EXPECT_EQ(plan.files[2].offset, 868u);
  EXPECT_EQ(plan.files[2].length, 10u);
  EXPECT_TRUE(plan.left_out.empty());
}

TEST(ExtractPlan, LeavesOutSamplesThatAreNotWhole) {
  std::string bank = hand_made_bank(
      {{0, 768, 10}, {5, 770, 1000}, {7, 100, 4}, {8, 100, 4}}, 800);
  ExtractPlan plan = plan_extract(report_of(bank), "x");
  EXPECT_EQ(plan.list_name, "x.pdl");
  EXPECT_EQ(plan.list_text,
            std::string(kListHeader) +
                "0 = s00.pcm\n"
                "* slot 5 left out: its sample is not whole in the bank\n"
                "* slot 7 left out: its sample is not whole in the bank\n"
                "* slot 8 left out: its sample is not whole in the bank\n");
  EXPECT_EQ(plan.left_out, (std::vector<int>{5, 7, 8}));
  EXPECT_EQ(plan.files.size(), 1u);
}

struct ListNameCase {
  const char *bank;
  const char *list;
};

const ListNameCase kListNameCases[] = {
    {"demo.pdx", "demo.pdl"},
    {"DEMO.PDX", "DEMO.pdl"},
    {"bank", "bank.pdl"},
    {"a.b.pdx", "a.b.pdl"},
    {"sub/dir/b.bin", "b.pdl"},
    {"../up.pdx", "up.pdl"},
    {"c:\\banks\\w.pdx", "w.pdl"},
    {"sub.d/plain", "plain.pdl"},
    {".pdx", ".pdl"},
};

class ListNames : public testing::TestWithParam<ListNameCase> {};

// Whatever path the bank was given by, the list lands in the directory.
TEST_P(ListNames, TakeTheBanksLastComponent) {
  std::string bank = hand_made_bank({}, 768);
  EXPECT_EQ(plan_extract(report_of(bank), GetParam().bank).list_name,
            GetParam().list);
}

INSTANTIATE_TEST_SUITE_P(Table, ListNames, testing::ValuesIn(kListNameCases));

class ExtractFiles : public testing::Test {
 protected:
  void SetUp() override {
    bank_bytes_ =
        hand_made_bank({{0, 768, 100}, {1, 868, 0}, {2, 868, 10}}, 878);
    write_file(scratch_ + "/bank.pdx", bank_bytes_);
    ASSERT_EQ(open_bank_file((scratch_ + "/bank.pdx").c_str(), &bank_), 0);
    plan_ = plan_extract(report_of(bank_bytes_), "bank.pdx");
  }
  void TearDown() override { close_bank_file(&bank_); }
  std::vector<std::string> entries(const std::string &dir) {
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(dir))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  TempDir tmp_;
  std::string scratch_ = tmp_.path().string();
  std::string bank_bytes_;
  BankFile bank_;
  ExtractPlan plan_;
};

TEST_F(ExtractFiles, WritesEachSampleAndTheListIntoANewDirectory) {
  std::string dir = scratch_ + "/out";
  std::string error;
  ASSERT_EQ(write_extraction(plan_, &bank_, dir.c_str(), &error), 0) << error;
  EXPECT_EQ(entries(dir), (std::vector<std::string>{"bank.pdl", "s00.pcm",
                                                    "s01.pcm", "s02.pcm"}));
  EXPECT_EQ(read_file(dir + "/s00.pcm"), bank_bytes_.substr(768, 100));
  EXPECT_EQ(read_file(dir + "/s01.pcm"), "");
  EXPECT_EQ(read_file(dir + "/s02.pcm"), bank_bytes_.substr(868, 10));
  EXPECT_EQ(read_file(dir + "/bank.pdl"), plan_.list_text);
}

TEST_F(ExtractFiles, WritesNothingWhenAFileExists) {
  std::string dir = scratch_ + "/out";
  std::filesystem::create_directory(dir);
  write_file(dir + "/s02.pcm", "mine");
  std::string error;
  EXPECT_EQ(write_extraction(plan_, &bank_, dir.c_str(), &error), -1);
  EXPECT_EQ(error,
            "'" + dir + "/s02.pcm' exists already; nothing was extracted");
  EXPECT_EQ(entries(dir), std::vector<std::string>{"s02.pcm"});
  EXPECT_EQ(read_file(dir + "/s02.pcm"), "mine");
}

// A file whose name differs only in letter case is the same file to a
// system that ignores case, and to adpack reading the list back.
TEST_F(ExtractFiles, WritesNothingOverANameInAnotherCase) {
  struct {
    std::vector<std::string> present;
    std::string error;
  } cases[] = {
      {{"S02.PCM"}, "/s02.pcm' exists already; nothing was extracted"},
      // Two such names match neither alone; the file is not made all the same.
      {{"S00.pcm", "s00.PCM"}, "/s00.pcm' exists already; it is left as it is"},
  };
  for (const auto &c : cases) {
    std::string dir = scratch_ + "/out";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directory(dir);
    for (const std::string &name : c.present)
      write_file(dir + "/" + name, name);
    // A file system that ignores case keeps one of two such names.
    if (entries(dir).size() != c.present.size()) continue;
    std::string error;
    EXPECT_EQ(write_extraction(plan_, &bank_, dir.c_str(), &error), -1);
    EXPECT_EQ(error, "'" + dir + c.error);
    EXPECT_EQ(entries(dir), c.present);
    for (const std::string &name : c.present)
      EXPECT_EQ(read_file(dir + "/" + name), name);
  }
}

TEST_F(ExtractFiles, NeverWritesThroughALink) {
  std::string dir = scratch_ + "/out/";
  std::filesystem::create_directory(dir);
  std::string outside = scratch_ + "/outside";
  // A link that leads nowhere yet, so that only the create itself can stop
  // the write from landing outside the directory.
  std::filesystem::create_symlink(outside, dir + "s00.pcm");
  std::string error;
  EXPECT_EQ(write_extraction(plan_, &bank_, dir.c_str(), &error), -1);
  EXPECT_EQ(error, "'" + dir + "s00.pcm' exists already; it is left as it is");
  EXPECT_FALSE(entry_exists(outside));
}

// A name that the check before writing cannot see (a link that leads
// nowhere) stops the run part-way: the files it wrote go again, and the
// link and what the directory held before stay.
TEST_F(ExtractFiles, TakesBackWhatItWroteWhenANameTurnsOutTaken) {
  std::string dir = scratch_ + "/out";
  std::filesystem::create_directory(dir);
  write_file(dir + "/mine.txt", "mine");
  std::filesystem::create_symlink(scratch_ + "/outside", dir + "/bank.pdl");
  std::string error;
  EXPECT_EQ(write_extraction(plan_, &bank_, dir.c_str(), &error), -1);
  EXPECT_EQ(error,
            "'" + dir + "/bank.pdl' exists already; it is left as it is");
  EXPECT_EQ(entries(dir), (std::vector<std::string>{"bank.pdl", "mine.txt"}));
  EXPECT_EQ(read_file(dir + "/mine.txt"), "mine");
  EXPECT_FALSE(entry_exists(scratch_ + "/outside"));
}

TEST_F(ExtractFiles, RefusesWhatIsNotADirectory) {
  struct {
    std::string dir;
    std::string error;
  } cases[] = {
      {scratch_ + "/bank.pdx",
       "'" + scratch_ + "/bank.pdx' is not a directory"},
      {scratch_ + "/no/out", "cannot make the directory '" + scratch_ +
                                 "/no/out': No such file or directory"},
  };
  for (const auto &c : cases) {
    std::string error;
    EXPECT_EQ(write_extraction(plan_, &bank_, c.dir.c_str(), &error), -1);
    EXPECT_EQ(error, c.error);
  }
  EXPECT_EQ(read_file(scratch_ + "/bank.pdx"), bank_bytes_);
  EXPECT_FALSE(entry_exists(scratch_ + "/no"));
}

}  // namespace
