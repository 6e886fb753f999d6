// Byte-exact comparisons whose failure messages say where the bytes part.
#ifndef ADPACK_TESTS_SUPPORT_BYTES_H
#define ADPACK_TESTS_SUPPORT_BYTES_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace adpack_test {

// For binary files: sizes, the first differing offset and a hex dump there.
// Use with EXPECT_PRED_FORMAT2.
::testing::AssertionResult SameBytes(const char* expected_expr,
                                     const char* actual_expr,
                                     std::string_view expected,
                                     std::string_view actual);

// For console streams: as SameBytes, plus both texts decoded.
::testing::AssertionResult SameConsole(const char* expected_expr,
                                       const char* actual_expr,
                                       std::string_view expected,
                                       std::string_view actual);

// Deterministic sample bytes of the given size. They begin with the bytes a
// text-mode copy would damage (LF, CR, Ctrl-Z, NUL), so a copy that is not
// byte for byte shows.
std::string sample_bytes(std::size_t size, std::uint32_t seed);

// Appends a 32-bit number most significant byte first.
void append_be32(std::string& out, std::uint32_t value);

}  // namespace adpack_test

#endif
