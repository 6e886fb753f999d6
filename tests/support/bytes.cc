#include "support/bytes.h"

#include <algorithm>
#include <cstdio>

#include "support/cp932.h"

namespace adpack_test {
namespace {

std::string hex_window(std::string_view bytes, std::size_t at) {
  std::size_t begin = at >= 8 ? at - 8 : 0;
  std::size_t end = std::min(bytes.size(), at + 8);
  std::string out;
  char buf[32];
  std::snprintf(buf, sizeof buf, "@%zu:", begin);
  out += buf;
  for (std::size_t i = begin; i < end; ++i) {
    std::snprintf(buf, sizeof buf, i == at ? " [%02X]" : " %02X",
                  static_cast<unsigned char>(bytes[i]));
    out += buf;
  }
  if (at >= bytes.size()) out += " [end]";
  return out;
}

std::size_t first_difference(std::string_view a, std::string_view b) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return i;
  }
  return n;
}

::testing::AssertionResult describe(const char* expected_expr,
                                    const char* actual_expr,
                                    std::string_view expected,
                                    std::string_view actual, bool console) {
  if (expected == actual) return ::testing::AssertionSuccess();
  std::size_t at = first_difference(expected, actual);
  auto failure = ::testing::AssertionFailure();
  failure << actual_expr << " differs from " << expected_expr << "\n  sizes "
          << expected.size() << " expected, " << actual.size()
          << " actual; first difference at byte " << at << "\n  expected "
          << hex_window(expected, at) << "\n  actual   "
          << hex_window(actual, at);
  if (console) {
    failure << "\n  expected text: \"" << readable_console(expected)
            << "\"\n  actual text:   \"" << readable_console(actual) << "\"";
  }
  return failure;
}

}  // namespace

::testing::AssertionResult SameBytes(const char* expected_expr,
                                     const char* actual_expr,
                                     std::string_view expected,
                                     std::string_view actual) {
  return describe(expected_expr, actual_expr, expected, actual, false);
}

::testing::AssertionResult SameConsole(const char* expected_expr,
                                       const char* actual_expr,
                                       std::string_view expected,
                                       std::string_view actual) {
  return describe(expected_expr, actual_expr, expected, actual, true);
}

std::string sample_bytes(std::size_t size, std::uint32_t seed) {
  static constexpr char kAwkward[] = {'\n', '\r', '\x1a', '\0', '\r', '\n'};
  std::string out;
  out.reserve(size);
  std::uint32_t state = seed * 2654435761u + 12345u;
  for (std::size_t i = 0; i < size; ++i) {
    if (i < sizeof kAwkward) {
      out += kAwkward[i];
      continue;
    }
    state = state * 1103515245u + 12345u;
    out += static_cast<char>(static_cast<unsigned char>(state >> 23));
  }
  return out;
}

void append_be32(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    out += static_cast<char>(static_cast<unsigned char>(value >> shift));
  }
}

}  // namespace adpack_test
