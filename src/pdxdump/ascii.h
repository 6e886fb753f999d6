// pdxdump prints plain ASCII whatever bytes a file name holds.
#ifndef ADPACK_PDXDUMP_ASCII_H
#define ADPACK_PDXDUMP_ASCII_H

#include <string>

// The name with every byte outside printable ASCII written as \xNN.
std::string printable_name(const std::string &name);

// The bytes as a quoted JSON string. Bytes outside printable ASCII are
// escaped as \u00NN, NN being the byte, since their encoding is unknown.
std::string json_string(const std::string &bytes);

#endif
