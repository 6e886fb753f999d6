// pdxdump --list: the check of a list, run and reported.
#ifndef ADPACK_PDXDUMP_LIST_COMMAND_H
#define ADPACK_PDXDUMP_LIST_COMMAND_H

#include <string>

#include "pdxdump/options.h"

// Checks options.bank as a list and appends the report to *out, a failure
// to *err. Returns 0 when the list has no problem, 1 when it has, -1 when it
// cannot be read.
int run_list_check(const DumpOptions &options, std::string *out,
                   std::string *err);

#endif
