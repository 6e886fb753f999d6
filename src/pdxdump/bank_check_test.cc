#include "pdxdump/bank_check.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "pdxdump/hand_made_bank.h"

namespace {

struct ExpectedProblem {
  ProblemKind kind;
  std::vector<int> slots;
  std::vector<int> other_slots;
};

bool operator==(const ExpectedProblem &a, const ExpectedProblem &b) {
  return a.kind == b.kind && a.slots == b.slots &&
         a.other_slots == b.other_slots;
}

void PrintTo(const ExpectedProblem &p, std::ostream *os) {
  *os << problem_kind_name(p.kind) << " slots";
  for (int s : p.slots) *os << ' ' << s;
  *os << " /";
  for (int s : p.other_slots) *os << ' ' << s;
}

struct Gap {
  std::uint64_t offset, length;
  bool operator==(const Gap &) const = default;
};

void PrintTo(const Gap &g, std::ostream *os) {
  *os << g.offset << "+" << g.length;
}

struct CheckCase {
  const char *title;
  std::vector<HandSlot> slots;
  std::size_t size;
  std::vector<ExpectedProblem> problems;
  std::vector<Gap> unreferenced;
};

const CheckCase kCheckCases[] = {
    {"empty bank", {}, 768, {}, {}},
    {"worked example",
     {{0, 768, 100}, {1, 868, 10}, {5, 768, 100}},
     878,
     {},
     {}},
    {"empty file", {}, 0, {{PROBLEM_SHORT_FILE, {}, {}}}, {}},
    {"table cut in a slot", {}, 500, {{PROBLEM_SHORT_FILE, {}, {}}}, {}},
    {"short file with a filled slot",
     {{0, 768, 10}},
     767,
     {{PROBLEM_SHORT_FILE, {}, {}}, {PROBLEM_PAST_END, {0}, {}}},
     {}},
    {"offset inside the table",
     {{3, 100, 10}},
     868,
     {{PROBLEM_OFFSET_IN_TABLE, {3}, {}}},
     {{768, 100}}},
    {"length without an offset",
     {{7, 0, 16}, {9, 0, 16}},
     768,
     {{PROBLEM_OFFSET_IN_TABLE, {7, 9}, {}}},
     {}},
    {"empty sample inside the table",
     {{4, 767, 0}},
     768,
     {{PROBLEM_OFFSET_IN_TABLE, {4}, {}}},
     {}},
    {"sample past the end",
     {{2, 768, 101}},
     868,
     {{PROBLEM_PAST_END, {2}, {}}},
     {}},
    {"empty sample past the end",
     {{2, 869, 0}},
     868,
     {{PROBLEM_PAST_END, {2}, {}}},
     {{768, 100}}},
    {"overlapping samples",
     {{0, 768, 100}, {1, 818, 100}},
     918,
     {{PROBLEM_OVERLAP, {0}, {1}}},
     {}},
    {"one offset, two lengths",
     {{0, 768, 100}, {1, 768, 50}},
     868,
     {{PROBLEM_OVERLAP, {1}, {0}}},
     {}},
    {"one sample inside another",
     {{0, 768, 100}, {1, 800, 10}},
     868,
     {{PROBLEM_OVERLAP, {0}, {1}}},
     {}},
    {"empty sample inside another",
     {{0, 768, 100}, {1, 800, 0}},
     868,
     {{PROBLEM_OVERLAP, {1}, {0}}},
     {}},
    {"empty samples on the edges of others",
     {{0, 768, 0}, {1, 768, 100}, {2, 868, 0}, {3, 868, 0}},
     868,
     {},
     {}},
    {"samples that touch", {{0, 768, 100}, {1, 868, 1}}, 869, {}, {}},
    {"slot given twice leaves its first sample",
     {{0, 868, 10}},
     878,
     {},
     {{768, 100}}},
    {"gaps before, between and after",
     {{5, 800, 10}, {6, 820, 5}},
     900,
     {},
     {{768, 32}, {810, 10}, {825, 75}}},
    {"bytes a problem slot points at are referenced",
     {{0, 700, 100}},
     900,
     {{PROBLEM_OFFSET_IN_TABLE, {0}, {}}},
     {{800, 100}}},
};

class Checks : public testing::TestWithParam<CheckCase> {};

TEST_P(Checks, FindsTheProblemsAndTheUnreferencedBytes) {
  const CheckCase &c = GetParam();
  std::string bank = hand_made_bank(c.slots, c.size);
  BankReport report =
      check_bank(reinterpret_cast<const unsigned char *>(bank.data()),
                 bank.size() < 768 ? bank.size() : 768, bank.size());

  std::vector<ExpectedProblem> problems;
  for (const BankProblem &p : report.problems) {
    problems.push_back({p.kind, p.slots, p.other_slots});
    EXPECT_EQ(p.text.find('\n'), std::string::npos);
    EXPECT_FALSE(p.text.empty());
  }
  EXPECT_EQ(problems, c.problems);

  std::vector<Gap> gaps;
  std::uint64_t total = 0;
  for (const UnreferencedBytes &n : report.notes) {
    gaps.push_back({n.offset, n.length});
    total += n.length;
  }
  EXPECT_EQ(gaps, c.unreferenced);
  EXPECT_EQ(report.unreferenced_bytes, total);
  EXPECT_EQ(report.slots_used, static_cast<int>(c.slots.size()));
}

std::string case_name(const testing::TestParamInfo<CheckCase> &param) {
  std::string name = param.param.title;
  for (char &c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Table, Checks, testing::ValuesIn(kCheckCases),
                         case_name);

TEST(Checks, ReadsTheRowsOfTheWorkedExample) {
  std::string bank =
      hand_made_bank({{0, 768, 100}, {1, 868, 10}, {5, 768, 100}}, 878);
  BankReport report = check_bank(
      reinterpret_cast<const unsigned char *>(bank.data()), 768, 878);
  ASSERT_EQ(report.rows.size(), 96u);
  EXPECT_EQ(report.rows[0].offset, 768u);
  EXPECT_EQ(report.rows[0].length, 100u);
  EXPECT_EQ(report.rows[0].shares_with, -1);
  EXPECT_EQ(report.rows[1].offset, 868u);
  EXPECT_EQ(report.rows[5].shares_with, 0);
  EXPECT_FALSE(report.rows[2].filled);
  EXPECT_EQ(report.samples.size(), 2u);
  EXPECT_EQ(report.data_bytes, 110u);
  EXPECT_EQ(report.file_size, 878u);
}

TEST(Checks, ReadsOnlyTheWholeSlotsOfAShortTable) {
  std::string bank = hand_made_bank({{61, 768, 1}, {62, 768, 1}}, 500);
  BankReport report = check_bank(
      reinterpret_cast<const unsigned char *>(bank.data()), 500, 500);
  EXPECT_EQ(report.readable_slots, 62);
  EXPECT_EQ(report.rows.size(), 62u);
  ASSERT_EQ(report.problems.size(), 2u);
  EXPECT_EQ(report.problems[0].text,
            "the file has 500 bytes, fewer than the 768 of the table: slots 62 "
            "to 95 cannot be read");
  EXPECT_EQ(report.problems[1].slots, std::vector<int>{61});
}

// Offsets and lengths near the top of 32 bits must not wrap when added.
TEST(Checks, AddsOffsetAndLengthWithoutWrapping) {
  std::string table = hand_made_bank({{0, 0xffffff00u, 0x200u}}, 768);
  BankReport report =
      check_bank(reinterpret_cast<const unsigned char *>(table.data()), 768,
                 0x100000000ull);
  ASSERT_EQ(report.problems.size(), 1u);
  EXPECT_EQ(report.problems[0].kind, PROBLEM_PAST_END);
  EXPECT_EQ(report.problems[0].text,
            "slot 0: offset 4294967040 plus length 512 ends at 4294967552, "
            "past the end of the file (4294967296 bytes)");
}

}  // namespace
