// The whole run of pdxdump, with its output gathered rather than printed,
// so that the entry decides how it reaches the console.
#ifndef ADPACK_PDXDUMP_PDXDUMP_H
#define ADPACK_PDXDUMP_PDXDUMP_H

#include <string>

#include "platform/platform.h"

// The exit statuses.
constexpr int DUMP_OK = 0;        // the bank has no problem
constexpr int DUMP_PROBLEMS = 1;  // it has problems; the report says which
constexpr int DUMP_FAILED = 2;    // a usage error, or a file that cannot be
                                  // read or written

// Runs pdxdump on its arguments. What belongs on standard output is
// appended to *out, what belongs on standard error to *err; but when
// standard_output is given, the page of --html - is written there as it is
// made, since it may be far bigger than memory should hold. Returns the exit
// status; an allocation failure is one too, after what the run wrote is
// taken back.
int run_pdxdump(int argc, char **argv, std::string *out, std::string *err,
                const PlatformFile *standard_output = nullptr);

#endif
