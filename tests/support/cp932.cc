#include "support/cp932.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <stdexcept>

namespace adpack_test {
namespace {

std::string convert(const char* to, const char* from, std::string_view in) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(static_cast<std::intptr_t>(-1))) {
    throw std::runtime_error(std::string("iconv_open failed for ") + from +
                             " to " + to);
  }
  std::string input(in);
  std::string output(input.size() * 2 + 16, '\0');
  char* in_ptr = input.data();
  std::size_t in_left = input.size();
  std::size_t used = 0;
  while (in_left > 0) {
    char* out_ptr = output.data() + used;
    std::size_t out_left = output.size() - used;
    std::size_t rc = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
    used = output.size() - out_left;
    if (rc != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) {
      output.resize(output.size() * 2);
      continue;
    }
    std::size_t at = input.size() - in_left;
    iconv_close(cd);
    throw std::runtime_error(std::string("cannot convert from ") + from +
                             " at byte " + std::to_string(at) + ": " +
                             escape_bytes(in));
  }
  iconv_close(cd);
  output.resize(used);
  return output;
}

}  // namespace

std::string to_cp932(std::string_view utf8) {
  return convert("CP932", "UTF-8", utf8);
}

std::string from_cp932(std::string_view bytes) {
  return convert("UTF-8", "CP932", bytes);
}

std::string console_bytes(std::string_view utf8) {
  return with_carriage_returns(to_cp932(utf8));
}

std::string with_carriage_returns(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 8);
  for (char c : bytes) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

namespace {

// Shows the line controls as escapes; returns whether c was one.
bool append_line_control(std::string* out, char c) {
  const char* shown = c == '\r'   ? "\\r"
                      : c == '\n' ? "\\n"
                      : c == '\t' ? "\\t"
                                  : nullptr;
  if (shown) *out += shown;
  return shown != nullptr;
}

}  // namespace

std::string escape_bytes(std::string_view bytes) {
  std::string out;
  for (char c : bytes) {
    auto byte = static_cast<unsigned char>(c);
    if (append_line_control(&out, c)) continue;
    if (c == '\\') {
      out += "\\\\";
    } else if (byte >= 0x20 && byte < 0x7F) {
      out += c;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      out += hex;
    }
  }
  return out;
}

std::string readable_console(std::string_view bytes) {
  try {
    std::string text = from_cp932(bytes);
    std::string out;
    for (char c : text) {
      if (!append_line_control(&out, c)) out += c;
    }
    return out;
  } catch (const std::runtime_error&) {
    return escape_bytes(bytes);
  }
}

}  // namespace adpack_test
