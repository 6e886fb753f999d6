// Taking a bank apart: one file per distinct sample and a list from which
// adpack builds the bank again.
#ifndef ADPACK_PDXDUMP_EXTRACT_H
#define ADPACK_PDXDUMP_EXTRACT_H

#include <cstdint>
#include <string>
#include <vector>

#include "pdxdump/bank_check.h"
#include "pdxdump/bank_file.h"

struct ExtractFile {
  std::string name;  // a plain name inside the directory, like s05.pcm
  std::uint64_t offset;
  std::uint64_t length;
  std::vector<int> slots;  // ascending; the name is the first one's
  std::string wav_name;    // the decoded sample's file, or empty for none
};

struct ExtractPlan {
  std::string list_name;  // the bank's name, less directory and extension,
                          // with .pdl
  std::vector<ExtractFile> files;  // in the order of offset, then length
  std::vector<int> left_out;       // filled slots whose sample is not whole
  std::string list_text;
  unsigned rate;  // written into the WAV files
};

// The files that report's bank comes apart into. adpack places each new
// sample at the end of the bank, so the list names the samples in the order
// of their offsets, an empty sample before the one that begins where it
// stands, and every slot of a sample right after its first.
ExtractPlan plan_extract(const BankReport &report, const char *bank_name);

// Adds a WAV file at rate beside each sample file of the plan.
void add_wav_files(ExtractPlan *plan, unsigned rate);

// What an extraction wrote, by the names the files really have (dir may
// have been found in another letter case), so that it can be taken back.
struct ExtractionWritten {
  std::string dir;  // the directory itself, when this run made it
  std::vector<std::string> files;
};

// Writes the plan's files into dir, made first if it does not exist (its
// parent must). All or nothing: nothing is written when any of the files
// exists already, no file is ever replaced, and a failure part-way removes
// every file, and the directory, that this run made. Returns 0, or -1 after
// setting *error (one line, no line feed). When written is given, it keeps
// what was written, so that a later failure of the run can take it back.
int write_extraction(const ExtractPlan &plan, const BankFile *bank,
                     const char *dir, std::string *error,
                     ExtractionWritten *written = nullptr);

// Removes what an extraction wrote, newest first. A file that stays is
// named at the end of *error, so that nothing is left behind unsaid.
void undo_extraction(const ExtractionWritten &written, std::string *error);

// name as the file system holds it: the spelling found in another letter
// case, where the name as written names nothing (platform_find_name).
std::string found_name(const std::string &name);

// dir and name joined by a slash.
std::string path_in(const char *dir, const std::string &name);

#endif
