// The list reader over the text-mode translation, on arbitrary bytes: the
// file is read and parsed line by line exactly as the driver's loop does,
// short of the process exit at the end of the data.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/stream.h"
#include "list/list_reader.h"
#include "list_model.h"

namespace {

[[noreturn]] void fail(const char *what, std::size_t read_index) {
  std::fprintf(stderr, "list reader: %s (read %zu)\n", what, read_index);
  std::abort();
}

// One scratch file for the whole fuzzing process, rewritten per input.
const char *scratch_name() {
  static std::string name = [] {
    const char *base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base && *base ? base : "/tmp") + "/adpack-list-fuzz-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    int fd = mkstemp(buffer.data());
    if (fd < 0) std::abort();
    close(fd);
    static std::string kept(buffer.data());
    std::atexit([] { unlink(kept.c_str()); });
    return kept;
  }();
  return name.c_str();
}

void write_scratch(const std::uint8_t *data, std::size_t size) {
  std::FILE *file = std::fopen(scratch_name(), "wb");
  if (!file || std::fwrite(data, 1, size, file) != size ||
      std::fclose(file) != 0)
    std::abort();
}

bool forbidden_in_name(char byte) {
  return byte == ' ' || byte == '=' || byte == '*' || byte == '\r' ||
         byte == '\n';
}

// Whether every byte of part appears in whole in the same order.
bool is_subsequence(const char *part, const std::string &whole) {
  std::size_t at = 0;
  for (const char *p = part; *p; ++p) {
    at = whole.find(*p, at);
    if (at == std::string::npos) return false;
    ++at;
  }
  return true;
}

void check_parse(char *line, const std::string &read, std::size_t index) {
  constexpr std::int32_t kUntouched = -12345;
  std::int32_t number = kUntouched;
  char name[LIST_NAME_SIZE];
  std::memset(name, 0x5a, sizeof name);
  int result = parse_list_line(line, &number, name);
  auto expected = list_model::entry_of(read);
  if (result != 0 && result != 1) fail("result neither 0 nor 1", index);
  if (result != (expected ? 1 : 0)) fail("wrong line kind", index);
  if (result == 0) {
    if (number != kUntouched) fail("skipped line wrote the number", index);
    for (char byte : name)
      if (byte != 0x5a) fail("skipped line wrote the name", index);
    return;
  }
  std::size_t length = strnlen(name, sizeof name);
  if (length == sizeof name) fail("name not terminated", index);
  if (length > 253) fail("name longer than 253 bytes", index);
  for (std::size_t i = 0; i < length; ++i)
    if (forbidden_in_name(name[i])) fail("forbidden byte in name", index);
  if (!is_subsequence(name, read)) fail("name not taken from the line", index);
  if (number != expected->slot) fail("wrong slot number", index);
  if (expected->name != name) fail("wrong name", index);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data,
                                      std::size_t size) {
  write_scratch(data, size);
  const auto expected = list_model::reads(list_model::translate(
      std::string_view(reinterpret_cast<const char *>(data), size)));

  Stream *list = stream_open(scratch_name(), "rt");
  if (!list) std::abort();
  std::size_t index = 0;
  while (!stream_eof(list)) {
    char line[LIST_LINE_SIZE];
    if (!stream_read_line(list, line, sizeof line)) {
      if (!stream_eof(list)) fail("read failed on a regular file", index);
      if (index != expected.size()) fail("data ended early", index);
      break;
    }
    if (index >= expected.size()) fail("a line past the end of data", index);
    const std::string &read = expected[index].bytes;
    if (std::memcmp(line, read.data(), read.size()) != 0 ||
        line[read.size()] != '\0')
      fail("read returned other bytes", index);
    if (stream_eof(list) != expected[index].sets_end_of_file)
      fail("end-of-file indicator wrong after the read", index);
    check_parse(line, read, index);
    ++index;
  }
  if (index < expected.size()) fail("lines left unread", index);
  stream_close(list);
  return 0;
}
