#include "pdxdump/ascii.h"

namespace {

const char HEX_DIGITS[] = "0123456789abcdef";

void append_hex(std::string *text, unsigned char byte) {
  *text += HEX_DIGITS[byte >> 4];
  *text += HEX_DIGITS[byte & 0x0f];
}

bool is_printable(unsigned char byte) { return byte >= 0x20 && byte < 0x7f; }

}  // namespace

std::string printable_name(const std::string &name) {
  std::string text;
  for (char c : name) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (is_printable(byte)) {
      text += c;
    } else {
      text += "\\x";
      append_hex(&text, byte);
    }
  }
  return text;
}

std::string json_string(const std::string &bytes) {
  std::string text = "\"";
  for (char c : bytes) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      text += '\\';
      text += c;
    } else if (c == '\n') {
      text += "\\n";
    } else if (c == '\t') {
      text += "\\t";
    } else if (c == '\r') {
      text += "\\r";
    } else if (is_printable(byte)) {
      text += c;
    } else {
      text += "\\u00";
      append_hex(&text, byte);
    }
  }
  return text + "\"";
}
