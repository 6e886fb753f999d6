// What a bank's table says, and what is wrong with it: the slots, the
// distinct samples behind them, the problems of the layout and the bytes
// that no slot points at.
#ifndef ADPACK_PDXDUMP_BANK_CHECK_H
#define ADPACK_PDXDUMP_BANK_CHECK_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One slot of the table, in host order.
struct SlotRow {
  int slot;
  std::uint64_t offset;
  std::uint64_t length;
  bool filled;      // anything but offset 0 and length 0
  int shares_with;  // the first slot with the same offset and length, or -1
  int sample;       // index into BankReport::samples, or -1 when empty
};

// A distinct sample: one offset and length, held by one or more slots.
struct BankSample {
  std::uint64_t offset;
  std::uint64_t length;
  std::vector<int> slots;  // ascending
  bool whole;              // it lies in the data area and ends inside the file
};

enum ProblemKind {
  PROBLEM_SHORT_FILE,       // the file ends inside the table
  PROBLEM_OFFSET_IN_TABLE,  // a filled slot points into the table
  PROBLEM_PAST_END,         // a sample ends past the end of the file
  PROBLEM_OVERLAP,          // two different samples share bytes
};

struct BankProblem {
  ProblemKind kind;
  std::vector<int> slots;        // the slots of the (first) sample concerned
  std::vector<int> other_slots;  // PROBLEM_OVERLAP: those of the second
  std::string text;              // one line, plain ASCII, no line feed
};

// A stretch of the data area that no slot points at.
struct UnreferencedBytes {
  std::uint64_t offset;
  std::uint64_t length;
  std::string text;
};

// A sample whose first bytes are a sound file's header.
struct SoundFileNote {
  std::vector<int> slots;
  std::uint64_t offset;
  std::uint64_t length;
  const char *format;  // as sound_file_format names it
  std::string text;
};

struct BankReport {
  std::uint64_t file_size;
  int readable_slots;               // BANK_SLOT_COUNT unless the file is short
  std::vector<SlotRow> rows;        // every readable slot, in slot order
  std::vector<BankSample> samples;  // in the order of offset, then length
  int slots_used;
  std::uint64_t data_bytes;          // the data area: the bytes past the table
  std::uint64_t unreferenced_bytes;  // the sum of the notes' lengths
  std::vector<BankProblem> problems;
  std::vector<UnreferencedBytes> notes;
  std::vector<SoundFileNote> sound_notes;  // add_sound_file_notes fills it
};

// Checks a bank of file_size bytes whose first table_bytes bytes (at most
// the table's size) are table.
BankReport check_bank(const unsigned char *table, std::size_t table_bytes,
                      std::uint64_t file_size);

// One line, plain ASCII, when most filled slots point past the end of the
// file, as the bytes of a web page or a sound file read as a table do;
// empty when the file may well be a bank.
std::string not_a_bank_warning(const BankReport &report);

// "slot 3" or "slots 3, 10", as the reports name a sample.
std::string slot_list(const std::vector<int> &slots);

// The name of a problem's kind, as JSON gives it.
const char *problem_kind_name(ProblemKind kind);

#endif
