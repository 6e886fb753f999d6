#include <cstdio>

#include "adpcm/adpcm.h"
#include "pdxdump/report_list.h"

namespace {

std::string quoted(const std::string &name) {
  return "'" + shown_name(name) + "'";
}

std::string line_label(const CheckedLine &line) {
  std::string label = "line " + std::to_string(line.number);
  if (line.piece > 1) label += " (piece " + std::to_string(line.piece) + ")";
  return label;
}

std::string fate_text(const CheckedEntry &entry) {
  std::string text;
  if (!entry.found_as.empty()) text += ", found as " + quoted(entry.found_as);
  switch (entry.fate) {
    case ENTRY_PLACED:
      return text + ", " + std::to_string(entry.length) + " bytes at offset " +
             std::to_string(entry.offset);
    case ENTRY_SHARED:
      return text + ", the copy of slot " + std::to_string(entry.shares_slot) +
             " (line " + std::to_string(entry.shares_line) + ")";
    case ENTRY_REFUSED:
      break;
  }
  return text + ", refused";
}

std::string summary_line(const char *label, const std::string &value) {
  char line[96];
  std::snprintf(line, sizeof line, "%-20s %12s\n", label, value.c_str());
  return line;
}

}  // namespace

double list_sample_seconds(std::uint64_t length, unsigned rate) {
  return static_cast<double>(length) * ADPCM_SAMPLES_PER_BYTE / rate;
}

std::string format_list_text_report(const ListReport &report, unsigned rate) {
  std::string text = "list " + quoted(report.list_name) + " for the bank " +
                     quoted(report.bank_name) +
                     "; samples are named from the current directory\n";
  for (const CheckedLine &line : report.lines) {
    text += line_label(line) + ": ";
    if (!line.entry) {
      text += "skipped\n";
      continue;
    }
    const CheckedEntry &entry =
        report.entries[static_cast<std::size_t>(line.entry_index)];
    text += "slot " + std::to_string(line.slot) + " " + quoted(line.name) +
            fate_text(entry) + "\n";
  }
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f",
                list_sample_seconds(report.data_bytes, rate));
  std::string seconds_label = "seconds at " + std::to_string(rate) + " Hz:";
  text += "\n";
  text += summary_line("slots used:", std::to_string(report.slots.size()));
  text += summary_line("distinct samples:",
                       std::to_string(report.distinct_samples));
  text += summary_line("bank size:", std::to_string(report.bank_size));
  text += summary_line(seconds_label.c_str(), seconds);
  for (const ListProblem &problem : report.problems)
    text += "problem: " + problem.text + "\n";
  for (const ListNote &note : report.notes) text += "note: " + note.text + "\n";
  return text;
}
