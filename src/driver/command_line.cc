#include "driver/command_line.h"

namespace {

bool is_blank(char byte) { return byte == ' ' || byte == '\t'; }

// Copies one character (one or two bytes) from *p to out and advances *p.
void take_character(const char **p, std::string *out,
                    bool (*is_lead_byte)(unsigned char)) {
  const char *at = *p;
  out->push_back(*at);
  if (is_lead_byte(static_cast<unsigned char>(*at)) && at[1] != '\0')
    out->push_back(*++at);
  *p = at + 1;
}

}  // namespace

std::vector<std::string> split_command_line(
    const char *line, bool (*is_lead_byte)(unsigned char byte)) {
  const char *p = line;
  std::string ignored;
  bool quoted = false;
  while (*p && (quoted || !is_blank(*p))) {
    if (*p == '"') {
      quoted = !quoted;
      ++p;
    } else {
      take_character(&p, &ignored, is_lead_byte);
    }
  }

  std::vector<std::string> arguments;
  for (;;) {
    while (is_blank(*p)) ++p;
    if (!*p) break;
    std::string argument;
    quoted = false;
    while (*p && (quoted || !is_blank(*p))) {
      if (p[0] == '\\' && p[1] == '"') {
        argument.push_back('"');
        p += 2;
      } else if (*p == '"') {
        quoted = !quoted;
        ++p;
      } else {
        take_character(&p, &argument, is_lead_byte);
      }
    }
    arguments.push_back(argument);
  }
  return arguments;
}

std::vector<char *> argument_vector(const char *program,
                                    std::vector<std::string> &words) {
  std::vector<char *> arguments;
  arguments.push_back(const_cast<char *>(program));
  for (std::string &word : words) arguments.push_back(word.data());
  arguments.push_back(nullptr);
  return arguments;
}
