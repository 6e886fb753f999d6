// Reading pdxdump's JSON the plain way its layout allows: one member a line
// at the top level, numbers after their keys.
#ifndef ADPACK_TEST_SUPPORT_JSON_FIELDS_H
#define ADPACK_TEST_SUPPORT_JSON_FIELDS_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace adpack_test {

// The numbers that follow each key in text, in the order they appear.
inline std::vector<std::int64_t> numbers_after(const std::string &text,
                                               const std::string &key) {
  std::vector<std::int64_t> found;
  for (std::size_t at = text.find(key); at != std::string::npos;
       at = text.find(key, at + 1)) {
    long long value;
    if (std::sscanf(text.c_str() + at + key.size(), "%lld", &value) == 1)
      found.push_back(value);
  }
  return found;
}

// One top-level member of the JSON, empty when it is absent; a quote inside
// a string is escaped there, so a key in quotes is always a key.
inline std::string json_member(const std::string &json,
                               const std::string &key) {
  std::size_t start = json.find("\n  \"" + key + "\": ");
  if (start == std::string::npos) return "";
  return json.substr(start, json.find("\n  \"", start + 1) - start);
}

}  // namespace adpack_test

#endif
