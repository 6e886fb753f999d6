#include "pdxdump/report_json.h"

#include <cstdio>

#include "pdxdump/ascii.h"
#include "wav/wav.h"

namespace {

std::string number(std::uint64_t value) { return std::to_string(value); }

std::string int_array(const std::vector<int> &values) {
  std::string text = "[";
  for (std::size_t i = 0; i < values.size(); ++i)
    text += (i > 0 ? ", " : "") + std::to_string(values[i]);
  return text + "]";
}

// Joins the items, one to a line, as the members of an array.
std::string array_of_lines(const std::vector<std::string> &items,
                           const char *indent) {
  if (items.empty()) return "[]";
  std::string text = "[\n";
  for (std::size_t i = 0; i < items.size(); ++i)
    text += indent + std::string("  ") + items[i] +
            (i + 1 < items.size() ? ",\n" : "\n");
  return text + indent + "]";
}

// Microseconds are finer than one sample at any rate pdxdump takes.
std::string seconds(std::uint64_t length, unsigned rate) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", sample_seconds(length, rate));
  return text;
}

std::string slot_object(const SlotRow &row, unsigned rate) {
  return "{\"slot\": " + std::to_string(row.slot) +
         ", \"offset\": " + number(row.offset) +
         ", \"length\": " + number(row.length) + ", \"shares\": " +
         (row.shares_with >= 0 ? std::to_string(row.shares_with) : "null") +
         ", \"duration\": " + seconds(row.length, rate) + "}";
}

std::string problem_object(const BankProblem &problem) {
  std::string text = "{\"kind\": \"" +
                     std::string(problem_kind_name(problem.kind)) +
                     "\", \"slots\": " + int_array(problem.slots);
  if (problem.kind == PROBLEM_OVERLAP)
    text += ", \"other_slots\": " + int_array(problem.other_slots);
  return text + ", \"text\": " + json_string(problem.text) + "}";
}

std::string note_object(const UnreferencedBytes &note) {
  return "{\"kind\": \"unreferenced\", \"offset\": " + number(note.offset) +
         ", \"length\": " + number(note.length) +
         ", \"text\": " + json_string(note.text) + "}";
}

std::string sound_note_object(const SoundFileNote &note) {
  return "{\"kind\": \"sound_file\", \"slots\": " + int_array(note.slots) +
         ", \"offset\": " + number(note.offset) +
         ", \"length\": " + number(note.length) +
         ", \"format\": " + json_string(note.format) +
         ", \"text\": " + json_string(note.text) + "}";
}

std::string extracted_object(const ExtractPlan &plan, const char *dir) {
  std::vector<std::string> files;
  for (const ExtractFile &file : plan.files)
    files.push_back(
        "{\"name\": " + json_string(file.name) + ", \"offset\": " +
        number(file.offset) + ", \"length\": " + number(file.length) +
        ", \"slots\": " + int_array(file.slots) +
        (file.wav_name.empty() ? ""
                               : ", \"wav\": " + json_string(file.wav_name)) +
        "}");
  return "{\n"
         "    \"directory\": " +
         json_string(dir) +
         ",\n"
         "    \"list\": " +
         json_string(plan.list_name) +
         ",\n"
         "    \"files\": " +
         array_of_lines(files, "    ") +
         ",\n"
         "    \"left_out\": " +
         int_array(plan.left_out) + "\n  }";
}

}  // namespace

std::string format_json_report(const char *bank_name, const BankReport &report,
                               bool all, unsigned rate,
                               const ExtractPlan *extracted, const char *dir) {
  std::vector<std::string> slots, problems, notes;
  for (const SlotRow &row : report.rows)
    if (all || row.filled) slots.push_back(slot_object(row, rate));
  for (const BankProblem &problem : report.problems)
    problems.push_back(problem_object(problem));
  for (const UnreferencedBytes &note : report.notes)
    notes.push_back(note_object(note));
  for (const SoundFileNote &note : report.sound_notes)
    notes.push_back(sound_note_object(note));
  std::string text = "{\n  \"bank\": " + json_string(bank_name) + ",\n";
  text += "  \"slots\": " + array_of_lines(slots, "  ") + ",\n";
  text +=
      "  \"summary\": {\"slots_used\": " + std::to_string(report.slots_used) +
      ", \"distinct_samples\": " + std::to_string(report.samples.size()) +
      ", \"data_bytes\": " + number(report.data_bytes) +
      ", \"unreferenced_bytes\": " + number(report.unreferenced_bytes) +
      ", \"file_size\": " + number(report.file_size) + "},\n";
  std::string warning = not_a_bank_warning(report);
  if (!warning.empty())
    text += "  \"warning\": " + json_string(warning) + ",\n";
  text += "  \"problems\": " + array_of_lines(problems, "  ") + ",\n";
  text += "  \"notes\": " + array_of_lines(notes, "  ");
  if (extracted)
    text += ",\n  \"extracted\": " + extracted_object(*extracted, dir);
  return text + "\n}\n";
}
