#include "pdxdump/pdxdump.h"

#include <cstring>
#include <new>

#include "pdxdump/ascii.h"
#include "pdxdump/bank_check.h"
#include "pdxdump/bank_file.h"
#include "pdxdump/bank_sound_notes.h"
#include "pdxdump/extract.h"
#include "pdxdump/list_command.h"
#include "pdxdump/options.h"
#include "pdxdump/report_html.h"
#include "pdxdump/report_json.h"
#include "pdxdump/report_text.h"

namespace {

const char HELP_TEXT[] =
    "Usage: pdxdump [OPTION]... BANK\n"
    "  or:  pdxdump --list [--json] [--rate HZ] LIST\n"
    "Show the table of a PDX bank, check its layout, or take it apart;\n"
    "or check a list before adpack builds it.\n"
    "With - as BANK, the bank is read from standard input.\n"
    "\n"
    "  -a, --all           list the empty slots too\n"
    "  -j, --json          give the report as JSON\n"
    "  -x, --extract DIR   write each sample into DIR as a file of its own,\n"
    "                      and a list from which adpack builds the bank\n"
    "                      again; no file in DIR is ever replaced\n"
    "      --wav           with --extract, also write each sample decoded,\n"
    "                      as a WAV file beside it\n"
    "      --html FILE     draw the bank as one web page that plays its\n"
    "                      samples; - writes it to standard output; an\n"
    "                      existing FILE is never replaced\n"
    "      --rate HZ       the rate the samples play at, 1000 to 48000\n"
    "                      (default 15625), for durations and sound\n"
    "      --list          read the operand as adpack's list (.pdl added\n"
    "                      as adpack adds it) and say what adpack will make\n"
    "                      of every line\n"
    "  -h, --help          print this help and end\n"
    "  -V, --version       print the version and end\n"
    "      --              end the options: what follows is the bank\n"
    "\n"
    "Exit status: 0 when the bank (or list) has no problem, 1 when it has\n"
    "problems, 2 after a usage error or when a file cannot be read or\n"
    "written.\n";

int fail(std::string *err, const std::string &message) {
  *err += "pdxdump: " + message + "\n";
  return DUMP_FAILED;
}

// What the run has written so far, so that a failure, even one to allocate
// memory, takes all of it back.
struct RunWritten {
  ExtractionWritten extraction;
  std::string page;  // the page's file as found, once made
  bool page_open;
  PlatformFile page_file;
};

std::string quoted_name(const std::string &name) {
  return "'" + printable_name(name) + "'";
}

std::string with_reason(std::string message, const std::string &reason) {
  if (!reason.empty()) message += ": " + reason;
  return message;
}

// Appends to *error what could not be removed.
void take_back(RunWritten *written, std::string *error) {
  if (written->page_open) platform_close(written->page_file);
  written->page_open = false;
  if (!written->page.empty() &&
      platform_remove_file(written->page.c_str()) != 0)
    *error += with_reason("; cannot remove " + quoted_name(written->page),
                          failure_reason());
  written->page.clear();
  undo_extraction(written->extraction, error);
  written->extraction = ExtractionWritten();
}

int fail_back(std::string *err, RunWritten *written, std::string message) {
  take_back(written, &message);
  return fail(err, message);
}

// Made before anything else is written, so that a page that exists already
// stops the run while nothing has changed; never replaced, as --extract
// replaces nothing.
int create_page(const char *name, RunWritten *written, std::string *error) {
  int opened = platform_open(name, PLATFORM_OPEN_WRITE_NEW, &written->page_file);
  if (opened != 0) {
    *error = opened == -2 ? quoted_name(name) +
                                " exists already; it is left as it is"
                          : with_reason("cannot create " + quoted_name(name),
                                        failure_reason());
    return -1;
  }
  written->page_open = true;
  written->page = found_name(name);
  return 0;
}

int open_bank(const char *name, BankFile *bank, std::string *error) {
  std::string reason;
  bool standard_input = std::strcmp(name, "-") == 0;
  int opened = standard_input ? open_bank_input(bank, &reason)
                              : open_bank_file(name, bank, &reason);
  if (opened == 0) return 0;
  *error = with_reason(standard_input ? std::string("cannot read the standard "
                                                    "input")
                                      : "cannot read " + quoted_name(name),
                       reason);
  return -1;
}

int run(int argc, char **argv, std::string *out, std::string *err,
        const PlatformFile *standard_output, RunWritten *written) {
  DumpOptions options;
  std::string error;
  if (parse_options(argc, argv, &options, &error) != 0) {
    fail(err, error);
    *err += "Try 'pdxdump --help' for more.\n";
    return DUMP_FAILED;
  }
  if (options.help) {
    *out += HELP_TEXT;
    return DUMP_OK;
  }
  if (options.version) {
    *out += "pdxdump " ADPACK_VERSION "\n";
    return DUMP_OK;
  }

  if (options.list) {
    int checked = run_list_check(options, out, err);
    return checked < 0 ? DUMP_FAILED : checked > 0 ? DUMP_PROBLEMS : DUMP_OK;
  }

  bool page_out = options.html && std::strcmp(options.html, "-") == 0;
  if (options.html && !page_out &&
      create_page(options.html, written, &error) != 0)
    return fail(err, error);
  BankFile bank;
  if (open_bank(options.bank, &bank, &error) != 0)
    return fail_back(err, written, error);
  BankReport report = check_bank(bank.table, bank.table_bytes, bank.size);
  if (add_sound_file_notes(&bank, &report) != 0) {
    close_bank_file(&bank);
    return fail_back(err, written,
                     options.bank && std::strcmp(options.bank, "-") == 0
                         ? "cannot read the standard input"
                         : "cannot read " + quoted_name(options.bank));
  }
  ExtractPlan plan;
  if (options.extract_dir) {
    plan = plan_extract(report, options.bank);
    if (options.wav) add_wav_files(&plan, options.rate);
    if (write_extraction(plan, &bank, options.extract_dir, &error,
                         &written->extraction) != 0) {
      close_bank_file(&bank);
      return fail_back(err, written, error);
    }
  }
  int status = report.problems.empty() ? DUMP_OK : DUMP_PROBLEMS;
  if (options.html) {
    PageOut page = page_out && standard_output
                       ? page_to_file(*standard_output)
                       : page_out ? page_to_text(out)
                                  : page_to_file(written->page_file);
    int drawn =
        write_html_report(options.bank, report, options.rate, &bank, &page);
    close_bank_file(&bank);
    if (drawn == -1)
      return fail_back(err, written,
                       options.bank && std::strcmp(options.bank, "-") == 0
                           ? "cannot read the standard input"
                           : "cannot read " + quoted_name(options.bank));
    // A reader that has had enough, as head has, is no failure.
    if (page_out && page.closed_pipe) return status;
    if (page_out && drawn != 0)
      return fail_back(err, written,
                       with_reason("cannot write the standard output",
                                   page.reason));
    if (page_out) return status;
    written->page_open = false;
    if (platform_close(written->page_file) != 0 && drawn == 0) {
      page.reason = failure_reason();
      drawn = -2;
    }
    if (drawn != 0)
      return fail_back(err, written,
                       with_reason("cannot write " + quoted_name(options.html),
                                   page.reason));
  } else {
    close_bank_file(&bank);
  }

  const ExtractPlan *extracted = options.extract_dir ? &plan : nullptr;
  if (options.json)
    *out += format_json_report(options.bank, report, options.all, options.rate,
                               extracted, options.extract_dir);
  else
    *out += format_text_report(report, options.all, options.rate, extracted,
                               options.extract_dir);
  if (options.html && !options.json)
    *out += "wrote " + printable_name(options.html) + ": the page\n";
  return status;
}

}  // namespace

int run_pdxdump(int argc, char **argv, std::string *out, std::string *err,
                const PlatformFile *standard_output) {
  RunWritten written;
  written.page_open = false;
  written.page_file = 0;
  try {
    return run(argc, argv, out, err, standard_output, &written);
  } catch (const std::bad_alloc &) {
    // Taking back needs little memory; the message, less.
    std::string message = "out of memory";
    try {
      take_back(&written, &message);
    } catch (const std::bad_alloc &) {
    }
    out->clear();
    *err += "pdxdump: " + message + "\n";
    return DUMP_FAILED;
  }
}
