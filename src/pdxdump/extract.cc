#include "pdxdump/extract.h"

#include <algorithm>
#include <cstdio>

#include "pdxdump/ascii.h"
#include "pdxdump/bank_wav.h"
#include "wav/wav.h"

namespace {

std::string sample_file_name(int slot) {
  char name[16];
  std::snprintf(name, sizeof name, "s%02d.pcm", slot);
  return name;
}

// Only the last component, so that the list lands in the directory whatever
// path the bank was given by.
std::string list_name_for(const char *bank_name) {
  std::string name = bank_name;
  std::size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name + ".pdl";
}

std::string entry_line(int slot, const std::string &name) {
  return std::to_string(slot) + " = " + name + "\n";
}

using Created = ExtractionWritten;

// before, the name in quotes, then after. Built by appending alone: a
// literal put before a temporary string trips g++ 12's -Wrestrict at -O3.
std::string quoted(const char *before, const std::string &name,
                   const char *after = "") {
  std::string text = before;
  text += '\'';
  text += printable_name(name);
  text += '\'';
  text += after;
  return text;
}

std::string with_reason(const std::string &message, const std::string &reason) {
  return reason.empty() ? message : message + ": " + reason;
}

int create_file(const std::string &path, PlatformFile *file, Created *created,
                std::string *error) {
  int result = platform_open(path.c_str(), PLATFORM_OPEN_WRITE_NEW, file);
  if (result == 0) {
    created->files.push_back(path);
    return 0;
  }
  if (result == -2)
    *error = quoted("", path, " exists already; it is left as it is");
  else
    *error = with_reason(quoted("cannot create ", path), failure_reason());
  return -1;
}

int write_sample(const ExtractFile &sample, const BankFile *bank,
                 const std::string &path, Created *created,
                 std::string *error) {
  PlatformFile out;
  if (create_file(path, &out, created, error) != 0) return -1;
  std::string reason;
  int copied =
      copy_bank_bytes(bank, sample.offset, sample.length, out, &reason);
  int closed = platform_close(out);
  if (copied == 0 && closed != 0) reason = failure_reason();
  if (copied == -1) {
    *error =
        with_reason(quoted("cannot read the bank's bytes for ", path), reason);
    return -1;
  }
  if (copied != 0 || closed != 0) {
    *error = with_reason(quoted("cannot write ", path), reason);
    return -1;
  }
  return 0;
}

int write_wav(const ExtractFile &sample, const BankFile *bank, unsigned rate,
              const std::string &path, Created *created, std::string *error) {
  PlatformFile out;
  if (create_file(path, &out, created, error) != 0) return -1;
  int written = write_wav_file(bank, sample.offset, sample.length, rate, out);
  std::string reason = written == -2 ? failure_reason() : std::string();
  int closed = platform_close(out);
  if (written == 0 && closed != 0) reason = failure_reason();
  if (written == -1) {
    *error = quoted("cannot read the bank's bytes for ", path);
    return -1;
  }
  if (written != 0 || closed != 0) {
    *error = with_reason(quoted("cannot write ", path), reason);
    return -1;
  }
  return 0;
}

int write_list(const ExtractPlan &plan, const std::string &path,
               Created *created, std::string *error) {
  PlatformFile out;
  if (create_file(path, &out, created, error) != 0) return -1;
  int written = write_all(out, plan.list_text.data(), plan.list_text.size());
  std::string reason = written != 0 ? failure_reason() : std::string();
  int closed = platform_close(out);
  if (written == 0 && closed != 0) reason = failure_reason();
  if (written != 0 || closed != 0) {
    *error = with_reason(quoted("cannot write ", path), reason);
    return -1;
  }
  return 0;
}

int make_directory(const char *dir, Created *created, std::string *error) {
  PlatformFileKind kind = platform_file_kind(dir);
  if (kind == PLATFORM_FILE_DIRECTORY) return 0;
  if (kind != PLATFORM_FILE_NONE) {
    *error = quoted("", dir, " is not a directory");
    return -1;
  }
  if (platform_make_directory(dir) != 0) {
    *error = with_reason(quoted("cannot make the directory ", dir),
                         failure_reason());
    return -1;
  }
  created->dir = found_name(dir);
  return 0;
}

// Every file of the plan, the list last, so that it never names a file that
// is not there.
int write_files(const ExtractPlan &plan, const BankFile *bank, const char *dir,
                Created *created, std::string *error) {
  std::vector<std::string> names;
  for (const ExtractFile &file : plan.files) {
    names.push_back(file.name);
    if (!file.wav_name.empty()) names.push_back(file.wav_name);
  }
  names.push_back(plan.list_name);
  for (const std::string &name : names) {
    std::string path = path_in(dir, name);
    if (platform_file_kind(path.c_str()) != PLATFORM_FILE_NONE) {
      *error = quoted("", path, " exists already; nothing was extracted");
      return -1;
    }
  }
  for (const ExtractFile &file : plan.files) {
    if (!file.wav_name.empty() && !wav_fits(file.length)) {
      *error = quoted("", path_in(dir, file.wav_name),
                      " would pass the 4 GiB limit of a WAV file; nothing was "
                      "extracted");
      return -1;
    }
  }
  for (const ExtractFile &file : plan.files) {
    if (write_sample(file, bank, path_in(dir, file.name), created, error) != 0)
      return -1;
    if (!file.wav_name.empty() &&
        write_wav(file, bank, plan.rate, path_in(dir, file.wav_name), created,
                  error) != 0)
      return -1;
  }
  return write_list(plan, path_in(dir, plan.list_name), created, error);
}

}  // namespace

ExtractPlan plan_extract(const BankReport &report, const char *bank_name) {
  ExtractPlan plan;
  plan.list_name = list_name_for(bank_name);
  // Comment lines begin with a star; none is long enough to be read in
  // pieces, whose second piece could begin with a digit.
  plan.list_text =
      "* made by pdxdump --extract: one file per sample, in the order of\n"
      "* their offsets, so that adpack puts each back where it was\n";
  for (const BankSample &sample : report.samples) {
    if (!sample.whole) {
      plan.left_out.insert(plan.left_out.end(), sample.slots.begin(),
                           sample.slots.end());
      continue;
    }
    ExtractFile file = {sample_file_name(sample.slots.front()),
                        sample.offset,
                        sample.length,
                        sample.slots,
                        {}};
    for (int slot : sample.slots) plan.list_text += entry_line(slot, file.name);
    plan.files.push_back(file);
  }
  plan.rate = 0;
  std::sort(plan.left_out.begin(), plan.left_out.end());
  for (int slot : plan.left_out)
    plan.list_text += "* slot " + std::to_string(slot) +
                      " left out: its sample is not whole in the bank\n";
  return plan;
}

void add_wav_files(ExtractPlan *plan, unsigned rate) {
  plan->rate = rate;
  for (ExtractFile &file : plan->files)
    file.wav_name = file.name.substr(0, file.name.rfind('.')) + ".wav";
}

std::string path_in(const char *dir, const std::string &name) {
  std::string path = dir;
  if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
  return path + name;
}

// The directory's name as found, so that the files are written, and
// removed, by the names they really have.
int write_extraction(const ExtractPlan &plan, const BankFile *bank,
                     const char *dir, std::string *error,
                     ExtractionWritten *written) {
  Created created;
  if (make_directory(dir, &created, error) != 0) return -1;
  std::string found_dir = found_name(dir);
  if (write_files(plan, bank, found_dir.c_str(), &created, error) == 0) {
    if (written) *written = created;
    return 0;
  }
  undo_extraction(created, error);
  return -1;
}

void undo_extraction(const ExtractionWritten &written, std::string *error) {
  for (auto file = written.files.rbegin(); file != written.files.rend();
       ++file) {
    if (platform_remove_file(file->c_str()) != 0)
      *error +=
          with_reason(quoted("; cannot remove ", *file), failure_reason());
  }
  if (!written.dir.empty() &&
      platform_remove_directory(written.dir.c_str()) != 0)
    *error += with_reason(quoted("; cannot remove the directory ", written.dir),
                          failure_reason());
}

std::string found_name(const std::string &name) {
  std::string found(name.size(), '\0');
  platform_find_name(name.c_str(), found.data());
  return found;
}
