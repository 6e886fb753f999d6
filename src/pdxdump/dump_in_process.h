// For the tests: pdxdump run in the test's own process, its two output
// streams caught as strings.
#ifndef ADPACK_PDXDUMP_DUMP_IN_PROCESS_H
#define ADPACK_PDXDUMP_DUMP_IN_PROCESS_H

#include <string>
#include <vector>

#include "pdxdump/pdxdump.h"

struct DumpRun {
  int status;
  std::string out, err;
};

inline DumpRun dump(std::vector<std::string> args) {
  args.insert(args.begin(), "pdxdump");
  std::vector<char *> argv;
  for (std::string &arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  DumpRun result;
  result.status = run_pdxdump(static_cast<int>(args.size()), argv.data(),
                              &result.out, &result.err);
  return result;
}

#endif
