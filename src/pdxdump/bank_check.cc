#include "pdxdump/bank_check.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "bank/bank_layout.h"

namespace {

std::string number(std::uint64_t value) { return std::to_string(value); }

std::string describe(const BankSample &sample) {
  return slot_list(sample.slots) + " (offset " + number(sample.offset) +
         ", length " + number(sample.length) + ")";
}

std::uint64_t end_of(const BankSample &sample) {
  return sample.offset + sample.length;
}

BankSlot read_slot(const unsigned char *table, int slot) {
  BankSlot raw;
  std::memcpy(&raw, table + static_cast<std::size_t>(slot) * BANK_SLOT_SIZE,
              sizeof raw);
  // Swapping to big-endian and back is one and the same conversion.
  return BankSlot{to_big_endian32(raw.offset), to_big_endian32(raw.length)};
}

void read_rows(const unsigned char *table, BankReport *report) {
  for (int slot = 0; slot < report->readable_slots; ++slot) {
    BankSlot value = read_slot(table, slot);
    SlotRow row = {slot,         value.offset,
                   value.length, value.offset != 0 || value.length != 0,
                   -1,           -1};
    report->rows.push_back(row);
  }
}

// Gathers the distinct samples in the order of offset and length and links
// each filled row to its sample and to the first slot that holds it.
void gather_samples(BankReport *report) {
  std::vector<BankSample> &samples = report->samples;
  for (const SlotRow &row : report->rows) {
    if (!row.filled) continue;
    ++report->slots_used;
    auto same = std::find_if(
        samples.begin(), samples.end(), [&](const BankSample &sample) {
          return sample.offset == row.offset && sample.length == row.length;
        });
    if (same == samples.end())
      samples.push_back(BankSample{row.offset, row.length, {row.slot}, false});
    else
      same->slots.push_back(row.slot);
  }
  std::sort(samples.begin(), samples.end(),
            [](const BankSample &a, const BankSample &b) {
              return a.offset != b.offset ? a.offset < b.offset
                                          : a.length < b.length;
            });
  for (std::size_t i = 0; i < samples.size(); ++i) {
    for (int slot : samples[i].slots) {
      SlotRow &row = report->rows[static_cast<std::size_t>(slot)];
      row.sample = static_cast<int>(i);
      if (slot != samples[i].slots.front())
        row.shares_with = samples[i].slots.front();
    }
  }
}

void add_problem(BankReport *report, ProblemKind kind, const BankSample &sample,
                 std::string text) {
  report->problems.push_back(BankProblem{kind, sample.slots, {}, text});
}

void check_short_file(BankReport *report) {
  if (report->file_size >= BANK_TABLE_SIZE) return;
  std::string text = "the file has " + number(report->file_size) +
                     " bytes, fewer than the " + number(BANK_TABLE_SIZE) +
                     " of the table: ";
  int first_lost = report->readable_slots;
  if (first_lost == BANK_SLOT_COUNT - 1)
    text += "slot " + std::to_string(first_lost);
  else
    text += "slots " + std::to_string(first_lost) + " to " +
            std::to_string(BANK_SLOT_COUNT - 1);
  text += " cannot be read";
  report->problems.push_back(BankProblem{PROBLEM_SHORT_FILE, {}, {}, text});
}

void check_bounds(BankReport *report) {
  for (BankSample &sample : report->samples) {
    bool in_table = sample.offset < BANK_TABLE_SIZE;
    bool past_end = end_of(sample) > report->file_size;
    sample.whole = !in_table && !past_end;
    if (in_table)
      add_problem(report, PROBLEM_OFFSET_IN_TABLE, sample,
                  slot_list(sample.slots) + ": offset " +
                      number(sample.offset) +
                      " lies inside the table (bytes 0 to " +
                      number(BANK_TABLE_SIZE - 1) + ")");
    if (past_end)
      add_problem(report, PROBLEM_PAST_END, sample,
                  slot_list(sample.slots) + ": offset " +
                      number(sample.offset) + " plus length " +
                      number(sample.length) + " ends at " +
                      number(end_of(sample)) + ", past the end of the file (" +
                      number(report->file_size) + " bytes)");
  }
}

// Different samples may share no byte. An empty sample has no bytes, but
// one that stands strictly inside another cannot have been placed at the
// end of the bank either.
void check_overlaps(BankReport *report) {
  const std::vector<BankSample> &samples = report->samples;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const BankSample &a = samples[i];
    if (!a.whole) continue;
    for (std::size_t j = i + 1; j < samples.size(); ++j) {
      const BankSample &b = samples[j];
      if (!b.whole) continue;
      if (a.length > 0 && b.length > 0) {
        std::uint64_t first = std::max(a.offset, b.offset);
        std::uint64_t end = std::min(end_of(a), end_of(b));
        if (first >= end) continue;
        report->problems.push_back(BankProblem{
            PROBLEM_OVERLAP, a.slots, b.slots,
            describe(a) + " and " + describe(b) + " overlap in bytes " +
                number(first) + " to " + number(end - 1)});
      } else {
        const BankSample &empty = a.length == 0 ? a : b;
        const BankSample &other = a.length == 0 ? b : a;
        if (other.length == 0 || empty.offset <= other.offset ||
            empty.offset >= end_of(other))
          continue;
        report->problems.push_back(
            BankProblem{PROBLEM_OVERLAP, empty.slots, other.slots,
                        describe(empty) + " lies inside " + describe(other)});
      }
    }
  }
}

// Every byte of the data area that some slot points at counts as
// referenced, also through a slot whose sample is itself a problem.
void find_unreferenced(BankReport *report) {
  std::uint64_t start = BANK_TABLE_SIZE;
  std::uint64_t size = report->file_size;
  if (size <= start) return;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> covered;
  for (const BankSample &sample : report->samples) {
    std::uint64_t first = std::max(sample.offset, start);
    std::uint64_t end = std::min(end_of(sample), size);
    if (first < end) covered.emplace_back(first, end);
  }
  std::sort(covered.begin(), covered.end());
  std::uint64_t cursor = start;
  auto note_gap = [&](std::uint64_t end) {
    if (end <= cursor) return;
    std::uint64_t length = end - cursor;
    report->notes.push_back(UnreferencedBytes{
        cursor, length,
        "bytes " + number(cursor) + " to " + number(end - 1) + " (" +
            number(length) + (length == 1 ? " byte" : " bytes") +
            ") belong to no slot"});
    report->unreferenced_bytes += length;
  };
  for (const auto &[first, end] : covered) {
    note_gap(first);
    cursor = std::max(cursor, end);
  }
  note_gap(size);
}

}  // namespace

BankReport check_bank(const unsigned char *table, std::size_t table_bytes,
                      std::uint64_t file_size) {
  BankReport report = {};
  report.file_size = file_size;
  table_bytes = std::min(table_bytes, BANK_TABLE_SIZE);
  if (file_size < table_bytes)
    table_bytes = static_cast<std::size_t>(file_size);
  report.readable_slots = static_cast<int>(table_bytes / BANK_SLOT_SIZE);
  report.data_bytes =
      file_size > BANK_TABLE_SIZE ? file_size - BANK_TABLE_SIZE : 0;
  read_rows(table, &report);
  gather_samples(&report);
  check_short_file(&report);
  check_bounds(&report);
  check_overlaps(&report);
  find_unreferenced(&report);
  return report;
}

std::string not_a_bank_warning(const BankReport &report) {
  int outside = 0;
  for (const SlotRow &row : report.rows)
    if (row.filled && (row.offset > report.file_size ||
                       row.length > report.file_size - row.offset))
      ++outside;
  if (outside * 2 <= report.slots_used) return "";
  return "this does not look like a bank: " + std::to_string(outside) +
         " of its " + std::to_string(report.slots_used) +
         " filled slots point past the end of the file";
}

std::string slot_list(const std::vector<int> &slots) {
  std::string text = slots.size() == 1 ? "slot " : "slots ";
  for (std::size_t i = 0; i < slots.size(); ++i) {
    if (i > 0) text += ", ";
    text += std::to_string(slots[i]);
  }
  return text;
}

const char *problem_kind_name(ProblemKind kind) {
  switch (kind) {
    case PROBLEM_SHORT_FILE:
      return "short_file";
    case PROBLEM_OFFSET_IN_TABLE:
      return "offset_in_table";
    case PROBLEM_PAST_END:
      return "past_end";
    case PROBLEM_OVERLAP:
      return "overlap";
  }
  return "unknown";
}
