// Shift_JIS (code page 932) through the C library's converter, so that the
// expected console bytes never come from the program's own message table.
#ifndef ADPACK_TESTS_SUPPORT_CP932_H
#define ADPACK_TESTS_SUPPORT_CP932_H

#include <string>
#include <string_view>

namespace adpack_test {

// Throws std::runtime_error when a character has no code page 932 form.
std::string to_cp932(std::string_view utf8);

// Throws std::runtime_error on bytes that are not valid code page 932.
std::string from_cp932(std::string_view bytes);

// The exact bytes the program prints for a console text given in UTF-8: code
// page 932, every line feed as a carriage return and a line feed.
std::string console_bytes(std::string_view utf8);

// The bytes with every line feed as a carriage return and a line feed: what
// the program prints for text already in the stream's encoding (UTF-8 on a
// terminal that shows it, Shift_JIS bytes elsewhere).
std::string with_carriage_returns(std::string_view bytes);

// Printable form of any bytes: ASCII as it is, \r \n \t, other bytes as \xHH.
std::string escape_bytes(std::string_view bytes);

// The bytes decoded for a reader where they are valid code page 932, the
// escaped form otherwise.
std::string readable_console(std::string_view bytes);

}  // namespace adpack_test

#endif
