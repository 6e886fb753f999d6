#include <cstdio>

#include "pdxdump/ascii.h"
#include "pdxdump/report_list.h"

namespace {

std::string number(std::uint64_t value) { return std::to_string(value); }

std::string array_of_lines(const std::vector<std::string> &items) {
  if (items.empty()) return "[]";
  std::string text = "[\n";
  for (std::size_t i = 0; i < items.size(); ++i)
    text += "    " + items[i] + (i + 1 < items.size() ? ",\n" : "\n");
  return text + "  ]";
}

std::string seconds(std::uint64_t length, unsigned rate) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", list_sample_seconds(length, rate));
  return text;
}

std::string line_object(const CheckedLine &line) {
  std::string text = "{\"line\": " + std::to_string(line.number) +
                     ", \"piece\": " + std::to_string(line.piece);
  if (!line.entry) return text + ", \"kind\": \"skipped\"}";
  return text +
         ", \"kind\": \"entry\", \"slot\": " + std::to_string(line.slot) +
         ", \"name\": " + json_string(line.name) + "}";
}

std::string entry_object(const CheckedEntry &entry) {
  std::string text =
      "{\"line\": " + std::to_string(entry.line) +
      ", \"slot\": " + std::to_string(entry.slot) +
      ", \"name\": " + json_string(entry.name) + ", \"found_as\": " +
      (entry.found_as.empty() ? "null" : json_string(entry.found_as)) +
      ", \"fate\": \"" + entry_fate_name(entry.fate) + "\"";
  if (entry.fate == ENTRY_REFUSED) return text + "}";
  text += ", \"offset\": " + number(entry.offset) +
          ", \"length\": " + number(entry.length);
  if (entry.fate == ENTRY_SHARED)
    text += ", \"shares_slot\": " + std::to_string(entry.shares_slot) +
            ", \"shares_line\": " + std::to_string(entry.shares_line);
  return text + "}";
}

std::string slot_object(const PredictedSlot &slot, unsigned rate) {
  return "{\"slot\": " + std::to_string(slot.slot) +
         ", \"offset\": " + number(slot.offset) +
         ", \"length\": " + number(slot.length) +
         ", \"line\": " + std::to_string(slot.line) +
         ", \"duration\": " + seconds(slot.length, rate) + "}";
}

}  // namespace

std::string format_list_json_report(const ListReport &report, unsigned rate) {
  std::vector<std::string> lines, entries, slots, problems, notes;
  for (const CheckedLine &line : report.lines)
    lines.push_back(line_object(line));
  for (const CheckedEntry &entry : report.entries)
    entries.push_back(entry_object(entry));
  for (const PredictedSlot &slot : report.slots)
    slots.push_back(slot_object(slot, rate));
  for (const ListProblem &problem : report.problems)
    problems.push_back(
        "{\"line\": " + std::to_string(problem.line) + ", \"kind\": \"" +
        list_problem_kind_name(problem.kind) +
        "\", \"stops_adpack\": " + (problem.stops_adpack ? "true" : "false") +
        ", \"text\": " + json_string(problem.text) + "}");
  for (const ListNote &note : report.notes)
    notes.push_back("{\"line\": " + std::to_string(note.line) +
                    ", \"kind\": \"" + list_note_kind_name(note.kind) +
                    "\", \"text\": " + json_string(note.text) + "}");
  std::string text = "{\n  \"list\": " + json_string(report.list_name) +
                     ",\n  \"bank\": " + json_string(report.bank_name) + ",\n";
  text += "  \"lines\": " + array_of_lines(lines) + ",\n";
  text += "  \"entries\": " + array_of_lines(entries) + ",\n";
  text += "  \"slots\": " + array_of_lines(slots) + ",\n";
  text +=
      "  \"summary\": {\"slots_used\": " + std::to_string(report.slots.size()) +
      ", \"distinct_samples\": " + std::to_string(report.distinct_samples) +
      ", \"data_bytes\": " + number(report.data_bytes) +
      ", \"bank_size\": " + number(report.bank_size) +
      ", \"duration\": " + seconds(report.data_bytes, rate) +
      ", \"rate\": " + std::to_string(rate) + ", \"adpack_stops_at\": " +
      (report.stops ? std::to_string(report.stops_at_line) : "null") + "},\n";
  text += "  \"problems\": " + array_of_lines(problems) + ",\n";
  text += "  \"notes\": " + array_of_lines(notes) + "\n}\n";
  return text;
}
