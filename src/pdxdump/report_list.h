// The reports of a checked list: plain text, and JSON.
#ifndef ADPACK_PDXDUMP_REPORT_LIST_H
#define ADPACK_PDXDUMP_REPORT_LIST_H

#include <string>

#include "pdxdump/list_check.h"

std::string format_list_text_report(const ListReport &report, unsigned rate);

std::string format_list_json_report(const ListReport &report, unsigned rate);

// Seconds that length bytes of ADPCM play for at rate.
double list_sample_seconds(std::uint64_t length, unsigned rate);

#endif
