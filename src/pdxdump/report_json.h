// The report as JSON, for scripts: the same table, summary, problems and
// notes as the text, and the files written by an extraction.
#ifndef ADPACK_PDXDUMP_REPORT_JSON_H
#define ADPACK_PDXDUMP_REPORT_JSON_H

#include <string>

#include "pdxdump/bank_check.h"
#include "pdxdump/extract.h"

// Each slot gives its sample's duration in seconds at rate.
std::string format_json_report(const char *bank_name, const BankReport &report,
                               bool all, unsigned rate,
                               const ExtractPlan *extracted, const char *dir);

#endif
