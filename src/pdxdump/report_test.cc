#include <gtest/gtest.h>

#include <string>

#include "pdxdump/bank_check.h"
#include "pdxdump/extract.h"
#include "pdxdump/hand_made_bank.h"
#include "pdxdump/report_json.h"
#include "pdxdump/report_text.h"

namespace {

// A shared slot, an empty sample inside another, a slot that points into
// the table and ten bytes at the end that no slot points at.
BankReport mixed_report() {
  static const std::string bank = hand_made_bank(
      {{0, 768, 100}, {3, 768, 100}, {1, 800, 0}, {2, 2, 5}, {4, 868, 10}},
      888);
  return check_bank(reinterpret_cast<const unsigned char *>(bank.data()), 768,
                    bank.size());
}

TEST(TextReport, ShowsTableSummaryProblemsAndNotes) {
  EXPECT_EQ(format_text_report(mixed_report(), false, 15625, nullptr, nullptr),
            "slot      offset      length  shares   seconds\n"
            "   0         768         100       -     0.013\n"
            "   1         800           0       -     0.000\n"
            "   2           2           5       -     0.001\n"
            "   3         768         100       0     0.013\n"
            "   4         868          10       -     0.001\n"
            "\n"
            "slots used:                    5\n"
            "distinct samples:              4\n"
            "data bytes:                  120\n"
            "unreferenced bytes:           10\n"
            "file size:                   888\n"
            "problem: slot 2: offset 2 lies inside the table (bytes 0 to 767)\n"
            "problem: slot 1 (offset 800, length 0) lies inside slots 0, 3 "
            "(offset 768, length 100)\n"
            "note: bytes 878 to 887 (10 bytes) belong to no slot\n");
}

TEST(TextReport, ListsEmptySlotsOnlyWhenAskedTo) {
  std::string all =
      format_text_report(mixed_report(), true, 15625, nullptr, nullptr);
  EXPECT_NE(all.find("\n   4         868          10       -     0.001\n"
                     "   5           0           0       -     0.000\n"),
            std::string::npos);
  EXPECT_NE(all.find("\n  95           0           0       -     0.000\n\n"),
            std::string::npos);
}

const char kMixedJson[] = R"json({
  "bank": "banks/mixed.pdx",
  "slots": [
    {"slot": 0, "offset": 768, "length": 100, "shares": null, "duration": 0.025000},
    {"slot": 1, "offset": 800, "length": 0, "shares": null, "duration": 0.000000},
    {"slot": 2, "offset": 2, "length": 5, "shares": null, "duration": 0.001250},
    {"slot": 3, "offset": 768, "length": 100, "shares": 0, "duration": 0.025000},
    {"slot": 4, "offset": 868, "length": 10, "shares": null, "duration": 0.002500}
  ],
  "summary": {"slots_used": 5, "distinct_samples": 4, "data_bytes": 120, "unreferenced_bytes": 10, "file_size": 888},
  "problems": [
    {"kind": "offset_in_table", "slots": [2], "text": "slot 2: offset 2 lies inside the table (bytes 0 to 767)"},
    {"kind": "overlap", "slots": [1], "other_slots": [0, 3], "text": "slot 1 (offset 800, length 0) lies inside slots 0, 3 (offset 768, length 100)"}
  ],
  "notes": [
    {"kind": "unreferenced", "offset": 878, "length": 10, "text": "bytes 878 to 887 (10 bytes) belong to no slot"}
  ],
  "extracted": {
    "directory": "out",
    "list": "mixed.pdl",
    "files": [
      {"name": "s00.pcm", "offset": 768, "length": 100, "slots": [0, 3]},
      {"name": "s01.pcm", "offset": 800, "length": 0, "slots": [1]},
      {"name": "s04.pcm", "offset": 868, "length": 10, "slots": [4]}
    ],
    "left_out": [2]
  }
}
)json";

TEST(JsonReport, GivesTheSameReportAndTheExtraction) {
  BankReport report = mixed_report();
  ExtractPlan plan = plan_extract(report, "banks/mixed.pdx");
  EXPECT_EQ(
      format_json_report("banks/mixed.pdx", report, false, 8000, &plan, "out"),
      kMixedJson);
}

const char kEmptyJson[] = R"json({
  "bank": "a\"\u0083\\.pdx",
  "slots": [],
  "summary": {"slots_used": 0, "distinct_samples": 0, "data_bytes": 0, "unreferenced_bytes": 0, "file_size": 768},
  "problems": [],
  "notes": []
}
)json";

TEST(JsonReport, KeepsEmptyArraysAndEscapesTheName) {
  std::string bank = hand_made_bank({}, 768);
  BankReport report = check_bank(
      reinterpret_cast<const unsigned char *>(bank.data()), 768, 768);
  EXPECT_EQ(format_json_report("a\"\x83\x5c.pdx", report, false, 15625, nullptr,
                               nullptr),
            kEmptyJson);
}

}  // namespace
