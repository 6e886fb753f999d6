// Output files made whole or not at all: written to a temporary file in the
// directory they go to, and renamed into place only when complete.
#ifndef ADPACK_ADPCM_TOOL_OUTPUT_FILE_H
#define ADPACK_ADPCM_TOOL_OUTPUT_FILE_H

#include <cstddef>
#include <string>

#include "platform/platform.h"

// An output being written, piece by piece, under a temporary name.
struct OutputFile {
  std::string name;
  std::string temporary;  // must not change while the file is open
  PlatformFile file;
  bool open = false;
  std::string buffer;  // written out once it holds OUTPUT_BUFFER_BYTES
};

// Starts name: creates its temporary file. Returns 0, or -1 with the reason
// in *error.
int output_start(OutputFile *output, const std::string &name,
                 std::string *error);

// Adds count bytes. Returns 0, or -1 with the reason in *error.
int output_add(OutputFile *output, const char *bytes, std::size_t count,
               std::string *error);

// Puts the complete file in place; without replace, an existing name is
// left alone. Returns 0, or -1 with the reason in *error; nothing of the
// attempt remains after a failure.
int output_finish(OutputFile *output, bool replace, std::string *error);

// Gives up: the temporary file goes.
void output_abandon(OutputFile *output);

// Writes bytes as name, whole, as output_finish does.
int write_output_file(const std::string &name, const std::string &bytes,
                      bool replace, std::string *error);

// Whether name names something already.
bool output_exists(const std::string &name);

// The text the system gave for the failure that has just happened, or a
// plain word when it gave none.
std::string system_reason();

#endif
