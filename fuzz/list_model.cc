#include "list_model.h"

namespace list_model {
namespace {

bool is_digit(char byte) { return byte >= '0' && byte <= '9'; }

}  // namespace

std::string translate(std::string_view file) {
  std::string out;
  for (char byte : file) {
    if (byte == '\x1a') break;
    if (byte != '\r') out.push_back(byte);
  }
  return out;
}

std::vector<Read> reads(std::string_view translated) {
  std::vector<Read> result;
  std::size_t at = 0;
  while (at < translated.size()) {
    std::size_t end = at;
    while (end < translated.size() && end - at < kReadLimit) {
      if (translated[end++] == '\n') break;
    }
    // A read that stops at a line feed or at the limit has not looked past
    // its last byte; only one that ran out of data has met the end.
    bool stopped_early = translated[end - 1] == '\n' || end - at == kReadLimit;
    result.push_back({std::string(translated.substr(at, end - at)),
                      !stopped_early && end == translated.size()});
    at = end;
  }
  return result;
}

std::optional<Entry> entry_of(std::string_view read) {
  // The line ends at its line feed, or earlier at a zero byte.
  std::string_view line =
      read.substr(0, read.find_first_of(std::string_view("\n\0", 2)));
  if (line.empty() || !is_digit(line[0])) return std::nullopt;
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < line.size() && is_digit(line[i]); ++i)
    value = value * 10u + static_cast<std::uint32_t>(line[i] - '0');
  std::size_t name_start = line.find_first_of(" =");
  Entry entry{static_cast<std::int32_t>(value), ""};
  if (name_start == std::string_view::npos) return entry;
  for (std::size_t i = name_start; i < line.size() && line[i] != '*'; ++i)
    if (line[i] != ' ' && line[i] != '=') entry.name.push_back(line[i]);
  return entry;
}

std::vector<Entry> entries(std::string_view file) {
  std::vector<Entry> result;
  for (const Read& read : reads(translate(file))) {
    if (auto entry = entry_of(read.bytes)) result.push_back(*entry);
  }
  return result;
}

}  // namespace list_model
