// Output files made whole or not at all: written to a temporary file in the
// directory they go to, and renamed into place only when complete.
#ifndef ADPACK_ADPCM_TOOL_OUTPUT_FILE_H
#define ADPACK_ADPCM_TOOL_OUTPUT_FILE_H

#include <string>

// Writes bytes as name. Without replace, an existing name is left alone.
// Returns 0, or -1 with the reason in *error; nothing of the attempt
// remains after a failure.
int write_output_file(const std::string &name, const std::string &bytes,
                      bool replace, std::string *error);

// Whether name names something already.
bool output_exists(const std::string &name);

// The text the system gave for the failure that has just happened, or a
// plain word when it gave none.
std::string system_reason();

#endif
