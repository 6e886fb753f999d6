// The report of an encoded file: a line for people, an object for scripts.
#ifndef ADPACK_ADPCM_TOOL_REPORT_H
#define ADPACK_ADPCM_TOOL_REPORT_H

#include <string>

#include "adpcm_tool/convert.h"

// One line, ending in a line feed, then a warning line for each thing the
// musician should know.
std::string report_line(const EncodeReport &report);

// The warning lines alone, as report_line ends.
std::string report_warnings(const EncodeReport &report);

// One JSON object on one line.
std::string report_json(const EncodeReport &report);

// The JSON object of an input that failed: its name and why.
std::string report_json_failure(const std::string &input,
                                const std::string &error);

#endif
