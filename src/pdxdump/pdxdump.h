// The whole run of pdxdump, with its output gathered rather than printed,
// so that the entry decides how it reaches the console.
#ifndef ADPACK_PDXDUMP_PDXDUMP_H
#define ADPACK_PDXDUMP_PDXDUMP_H

#include <string>

// The exit statuses.
constexpr int DUMP_OK = 0;        // the bank has no problem
constexpr int DUMP_PROBLEMS = 1;  // it has problems; the report says which
constexpr int DUMP_FAILED = 2;    // a usage error, or a file that cannot be
                                  // read or written

// Runs pdxdump on its arguments. What belongs on standard output is
// appended to *out, what belongs on standard error to *err. Returns the exit
// status.
int run_pdxdump(int argc, char **argv, std::string *out, std::string *err);

#endif
