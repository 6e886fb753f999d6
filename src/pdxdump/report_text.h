// The report as text: the table in aligned columns, the summary, then one
// line per problem and note, each line easy to grep for.
#ifndef ADPACK_PDXDUMP_REPORT_TEXT_H
#define ADPACK_PDXDUMP_REPORT_TEXT_H

#include <string>

#include "pdxdump/bank_check.h"
#include "pdxdump/extract.h"

// all: empty slots get a row too. Each row gives the sample's seconds at
// rate. extracted and dir, when given, add a line for every file written.
std::string format_text_report(const BankReport &report, bool all,
                               unsigned rate, const ExtractPlan *extracted,
                               const char *dir);

#endif
