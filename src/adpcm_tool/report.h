// The report of an encoded file: a line for people, an object for scripts.
#ifndef ADPACK_ADPCM_TOOL_REPORT_H
#define ADPACK_ADPCM_TOOL_REPORT_H

#include <string>

#include "adpcm_tool/convert.h"

// One line, ending in a line feed, then a warning line for each thing the
// musician should know.
std::string report_line(const EncodeReport &report);

// One JSON object on one line.
std::string report_json(const EncodeReport &report);

#endif
