#include "pdxdump/list_check.h"

#include <cstring>
#include <map>

#include "bank/bank_layout.h"
#include "driver/file_names.h"
#include "driver/stream.h"
#include "list/list_reader.h"
#include "pdxdump/sound_file.h"
#include "platform/platform.h"

namespace {

// Room for the ".pdl" or ".pdx" that the names may gain.
constexpr std::size_t NAME_SLACK = 8;

const char HEX_DIGITS[] = "0123456789abcdef";

bool is_digit(char byte) { return byte >= '0' && byte <= '9'; }

bool is_blank(char byte) { return byte == ' ' || byte == '\t'; }

bool is_separator(char byte) { return byte == ' ' || byte == '='; }

std::string quoted(const std::string &name) {
  return "'" + shown_name(name) + "'";
}

std::string on_line(int line) { return "line " + std::to_string(line) + ": "; }

unsigned char byte_at(const std::string &text, std::size_t at) {
  return at < text.size() ? static_cast<unsigned char>(text[at]) : 0;
}

// A digit from the full-width forms, in Shift_JIS or in UTF-8.
bool is_full_width_digit(const std::string &text, std::size_t at) {
  unsigned char first = byte_at(text, at), second = byte_at(text, at + 1);
  if (first == 0x82) return second >= 0x4f && second <= 0x58;
  unsigned char third = byte_at(text, at + 2);
  return first == 0xef && second == 0xbc && third >= 0x90 && third <= 0x99;
}

// What the parse looks at: the bytes before the first line feed or zero.
std::string parsed_part(const std::string &piece) {
  return piece.substr(0, piece.find_first_of(std::string("\n\0", 2)));
}

// Why a skipped line that reads as an entry to a person is skipped, or null.
const char *why_entry_skipped(const std::string &text) {
  std::size_t at = 0;
  bool mark = text.compare(0, 3, "\xef\xbb\xbf") == 0;
  if (mark) at = 3;
  std::size_t start = at;
  while (at < text.size() && is_blank(text[at])) ++at;
  bool wide = is_full_width_digit(text, at);
  if (!wide && !(at < text.size() && is_digit(text[at]))) return nullptr;
  if (mark) return "it begins with a UTF-8 byte-order mark";
  if (at > start) return "it begins with blanks or tabs";
  if (wide) return "its slot is written in full-width digits";
  return nullptr;
}

// The name as written between the slot and a comment, without the
// separators around it; null when adpack reads it unchanged but for those.
bool squeezed_name(const std::string &text, std::string *written) {
  std::size_t at = 0;
  while (at < text.size() && !is_separator(text[at])) ++at;
  std::size_t end = text.find('*', at);
  if (end == std::string::npos) end = text.size();
  while (at < end && is_separator(text[at])) ++at;
  while (end > at && is_separator(text[end - 1])) --end;
  *written = text.substr(at, end - at);
  for (char byte : *written)
    if (is_separator(byte)) return true;
  return false;
}

std::string leading_digits(const std::string &text) {
  std::size_t end = 0;
  while (end < text.size() && is_digit(text[end])) ++end;
  std::size_t start = 0;
  while (start + 1 < end && text[start] == '0') ++start;
  return text.substr(start, end - start);
}

std::string directory_of(const std::string &name) {
  std::size_t slash = name.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  return slash == 0 ? name.substr(0, 1) : name.substr(0, slash);
}

std::string last_component(const std::string &name) {
  std::size_t slash = name.find_last_of("/\\");
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

std::string failure_text() {
  const char *reason = platform_failure_reason();
  return reason ? std::string(reason) : std::string();
}

// The sample's first bytes. Returns 0, or -1 when it cannot be read, with
// the reason in *reason.
int read_head(const std::string &name, unsigned char *head, std::size_t *count,
              std::string *reason) {
  PlatformFile file;
  if (platform_open_regular(name.c_str(), &file) != 0) {
    *reason = failure_text();
    return -1;
  }
  *count = 0;
  while (*count < SOUND_FILE_HEAD_SIZE) {
    std::ptrdiff_t got =
        platform_read(file, head + *count, SOUND_FILE_HEAD_SIZE - *count);
    if (got < 0) {
      *reason = failure_text();
      platform_close(file);
      return -1;
    }
    if (got == 0) break;
    *count += static_cast<std::size_t>(got);
  }
  platform_close(file);
  return 0;
}

struct Winner {
  std::uint64_t offset, length;
  int line;
};

// The run told again, entry by entry, the way adpack's entry writer goes:
// the slot, the name already placed, the bank itself, the file's size, the
// bank's limit, then the copy.
class Checker {
 public:
  explicit Checker(ListReport *report) : report_(report) {}

  void check_line(int number, int piece, const std::string &raw) {
    CheckedLine line = {number, piece, false, 0, {}, -1};
    char buffer[LIST_LINE_SIZE];
    std::memcpy(buffer, raw.data(), raw.size());
    buffer[raw.size()] = '\0';
    char name[LIST_NAME_SIZE];
    line.entry = parse_list_line(buffer, &line.slot, name) == 1;
    std::string text = parsed_part(raw);
    if (line.entry) {
      line.name = name;
      line.entry_index = static_cast<int>(report_->entries.size());
      check_entry(number, line.slot, line.name, text);
    } else if (const char *why = why_entry_skipped(text)) {
      problem(number, LIST_PROBLEM_SKIPPED_ENTRY, false,
              "adpack skips this line, which looks like an entry: " +
                  std::string(why));
    }
    report_->lines.push_back(line);
  }

  void note(int line, ListNoteKind kind, const std::string &text) {
    report_->notes.push_back(
        {line, kind, (line > 0 ? on_line(line) : std::string()) + text});
  }

  void problem(int line, ListProblemKind kind, bool stops,
               const std::string &text) {
    std::string said = (line > 0 ? on_line(line) : std::string()) + text;
    if (stops && !report_->stops) {
      report_->stops = true;
      report_->stops_at_line = line;
      said += " (adpack stops here)";
    }
    report_->problems.push_back({line, kind, stops, said});
  }

  void finish() {
    report_->bank_size = end_;
    for (const auto &[slot, winner] : table_)
      report_->slots.push_back(
          {slot, winner.offset, winner.length, winner.line});
  }

 private:
  void check_entry(int line, std::int32_t slot, const std::string &name,
                   const std::string &text) {
    CheckedEntry entry = {line, slot, name, {}, ENTRY_REFUSED, 0, 0, -1, 0};
    note_name(line, slot, name, text);
    if (slot < 0 || slot >= BANK_SLOT_COUNT) {
      std::string digits = leading_digits(text);
      problem(line, LIST_PROBLEM_SLOT_OUT_OF_RANGE, true,
              "slot " +
                  (digits == std::to_string(slot)
                       ? digits
                       : digits + " is read as " + std::to_string(slot) +
                             ", which") +
                  " is outside 0 to " + std::to_string(BANK_SLOT_COUNT - 1));
      report_->entries.push_back(entry);
      return;
    }
    auto placed = placed_.find(name);
    if (placed != placed_.end()) {
      const CheckedEntry &first = report_->entries[placed->second];
      entry.fate = ENTRY_SHARED;
      entry.offset = first.offset;
      entry.length = first.length;
      entry.shares_slot = first.slot;
      entry.shares_line = first.line;
      entry.found_as = first.found_as;
      take_slot(entry);
      return;
    }
    if (place(&entry))
      take_slot(entry);
    else
      report_->entries.push_back(entry);
  }

  void note_name(int line, std::int32_t slot, const std::string &name,
                 const std::string &text) {
    std::string digits = leading_digits(text);
    if (slot >= 0 && slot < BANK_SLOT_COUNT && digits != std::to_string(slot))
      note(line, LIST_NOTE_SLOT_WRAPS,
           "slot " + digits + " is read as " + std::to_string(slot));
    if (name.find('\t') != std::string::npos)
      note(line, LIST_NOTE_TAB_IN_NAME,
           "the name " + quoted(name) + " holds a tab");
    std::string written;
    if (squeezed_name(text, &written))
      note(line, LIST_NOTE_NAME_SQUEEZED,
           "blanks or '=' are removed from the name: " + quoted(written) +
               " is read as " + quoted(name));
  }

  bool names_bank(const std::string &name, PlatformNamedKind kind) {
    const std::string &bank = report_->bank_name;
    if (name == bank || platform_same_file(name.c_str(), bank.c_str()))
      return true;
    // Not made yet: adpack makes it before it reads a line, and a name that
    // names nothing may find it then in another letter case.
    if (kind != PLATFORM_NAMES_NOTHING ||
        platform_file_kind(bank.c_str()) != PLATFORM_FILE_NONE)
      return false;
    return platform_same_name(last_component(name).c_str(),
                              last_component(bank).c_str()) &&
           platform_same_file(directory_of(name).c_str(),
                              directory_of(bank).c_str());
  }

  // Returns whether the entry's file is copied into the bank.
  bool place(CheckedEntry *entry) {
    const std::string &name = entry->name;
    int line = entry->line;
    PlatformNamedKind kind = platform_look_up(name.c_str());
    std::string path(name.size(), '\0');
    platform_find_name(name.c_str(), path.data());
    if (kind != PLATFORM_NAMES_NOTHING && path != name) entry->found_as = path;
    if (names_bank(name, kind)) {
      problem(line, LIST_PROBLEM_BANK_AS_SAMPLE, true,
              quoted(name) + " is the bank itself");
      return false;
    }
    std::uint64_t size = 0;
    if (kind == PLATFORM_NAMES_NOTHING ||
        platform_file_size(name.c_str(), &size) != 0) {
      bool relative = name.empty() || (name[0] != '/' && name[0] != '\\' &&
                                       name.find(':') == std::string::npos);
      problem(line, LIST_PROBLEM_NOT_FOUND, true,
              name.empty() ? "the name is empty, and names no file"
                           : quoted(name) + " names no file" +
                                 (relative ? " in the current directory" : ""));
      return false;
    }
    if (end_ > BANK_MAX_SIZE || size > BANK_MAX_SIZE - end_) {
      problem(line, LIST_PROBLEM_BANK_TOO_LARGE, true,
              quoted(name) + " (" + std::to_string(size) +
                  " bytes) would take the bank past 4 GiB - 1");
      return false;
    }
    if (kind == PLATFORM_NAMES_DIRECTORY) {
      problem(line, LIST_PROBLEM_NOT_A_FILE, true,
              quoted(name) + " is a directory, not a sample");
      return false;
    }
    if (kind == PLATFORM_NAMES_SPECIAL) {
      problem(line, LIST_PROBLEM_NOT_A_FILE, false,
              quoted(name) + " is a FIFO or a device, not a sample: adpack " +
                  "copies " + std::to_string(size) + " bytes of it");
    } else {
      unsigned char head[SOUND_FILE_HEAD_SIZE];
      std::size_t count = 0;
      std::string reason;
      if (read_head(path, head, &count, &reason) != 0) {
        problem(line, LIST_PROBLEM_UNREADABLE, true,
                quoted(name) + " cannot be read" +
                    (reason.empty() ? "" : ": " + reason));
        return false;
      }
      if (const char *format = sound_file_format(head, count))
        note(line, LIST_NOTE_SOUND_FILE,
             quoted(name) + " " + sound_file_remark(format));
      if (size == 0)
        note(line, LIST_NOTE_EMPTY_SAMPLE,
             quoted(name) + " is empty: slot " + std::to_string(entry->slot) +
                 " holds no sound");
      note_other_spelling(*entry, size);
    }
    entry->fate = ENTRY_PLACED;
    entry->offset = end_;
    entry->length = size;
    end_ += size;
    ++report_->distinct_samples;
    report_->data_bytes += size;
    placed_[name] = report_->entries.size();
    same_size_[size].push_back(report_->entries.size());
    return true;
  }

  void note_other_spelling(const CheckedEntry &entry, std::uint64_t size) {
    auto group = same_size_.find(size);
    if (group == same_size_.end()) return;
    for (std::size_t index : group->second) {
      const CheckedEntry &other = report_->entries[index];
      if (!platform_same_file(entry.name.c_str(), other.name.c_str())) continue;
      note(entry.line, LIST_NOTE_TWO_SPELLINGS,
           quoted(entry.name) + " is the file of " + quoted(other.name) +
               " (line " + std::to_string(other.line) +
               ") spelt another way: adpack stores it twice");
      return;
    }
  }

  void take_slot(const CheckedEntry &entry) {
    auto earlier = table_.find(entry.slot);
    if (earlier != table_.end())
      note(entry.line, LIST_NOTE_SLOT_TWICE,
           "slot " + std::to_string(entry.slot) + " is given again (line " +
               std::to_string(earlier->second.line) + "); this line wins");
    table_[entry.slot] = {entry.offset, entry.length, entry.line};
    report_->entries.push_back(entry);
  }

  ListReport *report_;
  std::uint64_t end_ = BANK_TABLE_SIZE;
  std::map<std::string, std::size_t> placed_;
  std::map<std::uint64_t, std::vector<std::size_t>> same_size_;
  std::map<int, Winner> table_;
};

}  // namespace

int check_list(const char *argument, ListReport *report, std::string *reason) {
  *report = ListReport{};
  reason->clear();
  std::string list_name = argument;
  list_name.resize(list_name.size() + NAME_SLACK);
  add_default_extension(list_name.data());
  list_name.resize(std::strlen(list_name.c_str()));
  std::string bank_name = list_name;
  bank_name.resize(bank_name.size() + NAME_SLACK);
  make_bank_name(bank_name.data());
  bank_name.resize(std::strlen(bank_name.c_str()));
  report->list_name = list_name;
  report->bank_name = bank_name;

  Checker checker(report);
  // A list handed over as a pipe (/dev/fd/63) has no name to add ".pdl" to;
  // adpack would find nothing there, and the check says so.
  if (list_name != argument &&
      platform_file_kind(list_name.c_str()) == PLATFORM_FILE_NONE &&
      platform_file_kind(argument) == PLATFORM_FILE_OTHER) {
    checker.note(0, LIST_NOTE_READ_AS_GIVEN,
                 quoted(list_name) + " names nothing, so the list is read " +
                     "from " + quoted(argument) +
                     " as given; adpack would not find it");
    report->list_name = list_name = argument;
  }
  if (platform_file_kind(list_name.c_str()) == PLATFORM_FILE_DIRECTORY) {
    *reason = "Is a directory";
    return -1;
  }
  Stream *list = stream_open(list_name.c_str(), "rt");
  if (!list) {
    *reason = failure_text();
    return -1;
  }
  if (bank_name == list_name ||
      platform_same_file(bank_name.c_str(), list_name.c_str()))
    checker.problem(
        0, LIST_PROBLEM_BANK_IS_LIST, true,
        "adpack would write the bank over the list " + quoted(list_name));

  int number = 1, piece = 1;
  std::size_t line_bytes = 0;
  for (;;) {
    char line[LIST_LINE_SIZE];
    std::size_t length = 0;
    ListLineRead read = read_list_line(list, line, &length);
    if (read == LIST_LINE_FAILED) {
      *reason = failure_text();
      stream_close(list);
      return -1;
    }
    if (read == LIST_LINE_END) break;
    std::string raw(line, length);
    checker.check_line(number, piece, raw);
    bool ended = raw.back() == '\n';
    line_bytes += ended ? length - 1 : length;
    if (ended || stream_eof(list)) {
      if (piece > 1)
        checker.note(number, LIST_NOTE_LONG_LINE,
                     "the line holds " + std::to_string(line_bytes) +
                         " bytes: adpack reads it as " + std::to_string(piece) +
                         " lines of at most " +
                         std::to_string(LIST_LINE_SIZE - 1) + " bytes");
      ++number;
      piece = 1;
      line_bytes = 0;
    } else {
      ++piece;
    }
    // adpack's loop ends as soon as a read meets the end of the data.
    if (stream_eof(list)) break;
  }
  stream_close(list);
  checker.finish();
  return 0;
}

const char *list_problem_kind_name(ListProblemKind kind) {
  switch (kind) {
    case LIST_PROBLEM_SLOT_OUT_OF_RANGE:
      return "slot_out_of_range";
    case LIST_PROBLEM_NOT_FOUND:
      return "not_found";
    case LIST_PROBLEM_NOT_A_FILE:
      return "not_a_file";
    case LIST_PROBLEM_UNREADABLE:
      return "unreadable";
    case LIST_PROBLEM_BANK_AS_SAMPLE:
      return "bank_as_sample";
    case LIST_PROBLEM_BANK_TOO_LARGE:
      return "bank_too_large";
    case LIST_PROBLEM_SKIPPED_ENTRY:
      return "skipped_entry";
    case LIST_PROBLEM_BANK_IS_LIST:
      return "bank_is_list";
  }
  return "unknown";
}

const char *list_note_kind_name(ListNoteKind kind) {
  switch (kind) {
    case LIST_NOTE_SLOT_TWICE:
      return "slot_twice";
    case LIST_NOTE_SLOT_WRAPS:
      return "slot_wraps";
    case LIST_NOTE_TAB_IN_NAME:
      return "tab_in_name";
    case LIST_NOTE_NAME_SQUEEZED:
      return "name_squeezed";
    case LIST_NOTE_SOUND_FILE:
      return "sound_file";
    case LIST_NOTE_EMPTY_SAMPLE:
      return "empty_sample";
    case LIST_NOTE_TWO_SPELLINGS:
      return "two_spellings";
    case LIST_NOTE_LONG_LINE:
      return "long_line";
    case LIST_NOTE_READ_AS_GIVEN:
      return "read_as_given";
  }
  return "unknown";
}

const char *entry_fate_name(EntryFate fate) {
  switch (fate) {
    case ENTRY_PLACED:
      return "placed";
    case ENTRY_SHARED:
      return "shared";
    case ENTRY_REFUSED:
      return "refused";
  }
  return "unknown";
}

std::string shown_name(const std::string &name) {
  std::string text;
  for (char c : name) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (c == '\t') {
      text += "\\t";
    } else if (byte >= 0x20 && byte < 0x7f) {
      text += c;
    } else {
      text += "\\x";
      text += HEX_DIGITS[byte >> 4];
      text += HEX_DIGITS[byte & 0x0f];
    }
  }
  return text;
}
