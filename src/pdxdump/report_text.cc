#include "pdxdump/report_text.h"

#include <cstdio>

#include "pdxdump/ascii.h"
#include "wav/wav.h"

namespace {

std::string row_line(const SlotRow &row, unsigned rate) {
  char line[96];
  char shares[16] = "-";
  if (row.shares_with >= 0)
    std::snprintf(shares, sizeof shares, "%d", row.shares_with);
  std::snprintf(line, sizeof line, "%4d  %10llu  %10llu  %6s  %8.3f\n",
                row.slot, static_cast<unsigned long long>(row.offset),
                static_cast<unsigned long long>(row.length), shares,
                sample_seconds(row.length, rate));
  return line;
}

std::string summary_line(const char *label, std::uint64_t value) {
  char line[80];
  std::snprintf(line, sizeof line, "%-19s %12llu\n", label,
                static_cast<unsigned long long>(value));
  return line;
}

}  // namespace

std::string format_text_report(const BankReport &report, bool all,
                               unsigned rate, const ExtractPlan *extracted,
                               const char *dir) {
  std::string text = "slot      offset      length  shares   seconds\n";
  for (const SlotRow &row : report.rows)
    if (all || row.filled) text += row_line(row, rate);
  text += "\n";
  text += summary_line("slots used:",
                       static_cast<std::uint64_t>(report.slots_used));
  text += summary_line("distinct samples:", report.samples.size());
  text += summary_line("data bytes:", report.data_bytes);
  text += summary_line("unreferenced bytes:", report.unreferenced_bytes);
  text += summary_line("file size:", report.file_size);
  std::string warning = not_a_bank_warning(report);
  if (!warning.empty()) text += "warning: " + warning + "\n";
  for (const BankProblem &problem : report.problems)
    text += "problem: " + problem.text + "\n";
  for (const UnreferencedBytes &note : report.notes)
    text += "note: " + note.text + "\n";
  for (const SoundFileNote &note : report.sound_notes)
    text += "note: " + note.text + "\n";
  if (extracted) {
    for (const ExtractFile &file : extracted->files) {
      text += "wrote " + printable_name(path_in(dir, file.name)) + ": " +
              std::to_string(file.length) + " bytes for " +
              slot_list(file.slots) + "\n";
      if (!file.wav_name.empty())
        text += "wrote " + printable_name(path_in(dir, file.wav_name)) + ": " +
                std::to_string(decoded_sample_count(file.length)) +
                " samples at " + std::to_string(extracted->rate) + " Hz\n";
    }
    text += "wrote " + printable_name(path_in(dir, extracted->list_name)) +
            ": the list\n";
  }
  return text;
}
