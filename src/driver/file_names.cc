#include "driver/file_names.h"

#include <cstring>

namespace {

// Forward slashes separate directories too: without them a name such as
// "sub.d/bos" would put its bank beside the directory instead of in it.
bool is_separator(char byte) { return byte == '\\' || byte == '/'; }

char *last_component(char *name) {
  char *start = name;
  for (char *p = name; *p; ++p)
    if (is_separator(*p)) start = p + 1;
  return start;
}

}  // namespace

char *add_default_extension(char *name) {
  if (!std::strchr(last_component(name), '.')) std::strcat(name, ".pdl");
  return name;
}

char *make_bank_name(char *name) {
  char *dot = std::strrchr(last_component(name), '.');
  if (dot)
    std::strcpy(dot, ".pdx");
  else
    std::strcat(name, ".pdx");
  return name;
}
