// A list checked before it is built: every line as adpack reads it (through
// adpack's own list reader), what each entry becomes in the bank, and the
// mistakes that would build a wrong bank without a word.
#ifndef ADPACK_PDXDUMP_LIST_CHECK_H
#define ADPACK_PDXDUMP_LIST_CHECK_H

#include <cstdint>
#include <string>
#include <vector>

// One line as adpack reads it. A line longer than the reader's pieces is
// several of these, with the same number.
struct CheckedLine {
  int number;  // counted from 1 by line feeds
  int piece;   // 1, or 2 on for the later pieces of a long line
  bool entry;
  std::int32_t slot;  // entries: the slot as adpack reads it
  std::string name;   // entries: the name as adpack uses it
  int entry_index;    // into ListReport::entries, or -1
};

enum EntryFate {
  ENTRY_PLACED,   // its file is copied to the end of the bank
  ENTRY_SHARED,   // it takes the copy of an earlier entry of the same name
  ENTRY_REFUSED,  // adpack stops at it
};

struct CheckedEntry {
  int line;
  std::int32_t slot;
  std::string name;
  std::string found_as;  // the spelling on disk, when in another letter case
  EntryFate fate;
  std::uint64_t offset;  // placed or shared: where its bytes are
  std::uint64_t length;
  int shares_slot;  // shared: the slot of the entry whose copy it takes
  int shares_line;  // and that entry's line
};

enum ListProblemKind {
  LIST_PROBLEM_SLOT_OUT_OF_RANGE,
  LIST_PROBLEM_NOT_FOUND,
  LIST_PROBLEM_NOT_A_FILE,  // a directory, a FIFO, a device
  LIST_PROBLEM_UNREADABLE,
  LIST_PROBLEM_BANK_AS_SAMPLE,
  LIST_PROBLEM_BANK_TOO_LARGE,
  LIST_PROBLEM_SKIPPED_ENTRY,  // looks like an entry, but adpack skips it
  LIST_PROBLEM_BANK_IS_LIST,   // line 0: the bank's name is the list's
};

struct ListProblem {
  int line;
  ListProblemKind kind;
  bool stops_adpack;  // adpack ends the run here, if it gets this far
  std::string text;   // one line, plain ASCII, beginning "line N"
};

enum ListNoteKind {
  LIST_NOTE_SLOT_TWICE,
  LIST_NOTE_SLOT_WRAPS,
  LIST_NOTE_TAB_IN_NAME,
  LIST_NOTE_NAME_SQUEEZED,
  LIST_NOTE_SOUND_FILE,
  LIST_NOTE_EMPTY_SAMPLE,
  LIST_NOTE_TWO_SPELLINGS,
  LIST_NOTE_LONG_LINE,
  LIST_NOTE_READ_AS_GIVEN,  // the list's name without ".pdl"; line 0
};

struct ListNote {
  int line;  // 0 when it is about the list as a whole
  ListNoteKind kind;
  std::string text;
};

// A slot of the table adpack writes, as the entries leave it.
struct PredictedSlot {
  int slot;
  std::uint64_t offset;
  std::uint64_t length;
  int line;  // the entry that wins it
};

struct ListReport {
  std::string list_name;  // as read
  std::string bank_name;  // the bank adpack would write
  std::vector<CheckedLine> lines;
  std::vector<CheckedEntry> entries;
  std::vector<ListProblem> problems;  // in the order of their lines
  std::vector<ListNote> notes;        // likewise
  std::vector<PredictedSlot> slots;   // the filled slots, ascending
  int distinct_samples;               // the copies adpack makes
  std::uint64_t data_bytes;
  std::uint64_t bank_size;
  bool stops;         // adpack stops before the end of the list
  int stops_at_line;  // and where: a line, or 0 before the first
};

// Checks the list that adpack reads for the argument name (".pdl" added
// when the last component has no dot), against the files it names, taken
// from the current directory. Returns 0, or -1 when the list cannot be
// opened or read, with the system's reason (or empty) in *reason and the
// name tried in report->list_name.
int check_list(const char *name, ListReport *report, std::string *reason);

const char *list_problem_kind_name(ListProblemKind kind);
const char *list_note_kind_name(ListNoteKind kind);
const char *entry_fate_name(EntryFate fate);

// A name or line as plain ASCII: a tab as \t, other bytes outside printable
// ASCII as \xNN.
std::string shown_name(const std::string &name);

#endif
