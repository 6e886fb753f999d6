// Files, scratch directories and child processes for pdxdump's tests. The
// process runner is POSIX-only for now.
#ifndef ADPACK_DUMP_TEST_SUPPORT_H
#define ADPACK_DUMP_TEST_SUPPORT_H

#include <string>
#include <vector>

// A new, empty directory of its own; removed by remove_tree.
std::string make_scratch_dir();
void remove_tree(const std::string &path);

void write_file(const std::string &path, const std::string &bytes);
std::string read_file(const std::string &path);
bool exists(const std::string &path);

struct ProgramRun {
  int status;  // the exit status, or -1 when it did not exit by itself
  std::string out;
  std::string err;
};

// Runs program with args in dir, standard input empty, in a session of its
// own, so that it has no controlling terminal and a question it asks is
// declined at once. A run that takes longer than a few seconds is killed.
ProgramRun run_program(const std::string &program,
                       const std::vector<std::string> &args,
                       const std::string &dir);

#endif
