#include "pdxdump/pdxdump.h"

#include <cstring>

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

#ifndef PDXDUMP_VERSION
#define PDXDUMP_VERSION "0"
#endif

namespace {

const char HELP_TEXT[] =
    "Usage: pdxdump [OPTION]... BANK\n"
    "  or:  pdxdump --list [--json] [--rate HZ] LIST\n"
    "Show the table of a PDX bank, check its layout, or take it apart;\n"
    "or check a list before adpack builds it.\n"
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
    "problems,\n"
    "2 after a usage error or when a file cannot be read or written.\n";

int fail(std::string *err, const std::string &message) {
  *err += "pdxdump: " + message + "\n";
  return DUMP_FAILED;
}

// Never replaces a file, as --extract does not.
int write_page(const std::string &page, const char *name, std::string *error) {
  PlatformFile file;
  int opened = platform_open(name, PLATFORM_OPEN_WRITE_NEW, &file);
  if (opened != 0) {
    *error = opened == -2 ? "'" + printable_name(name) +
                                "' exists already; it is left as it is"
                          : "cannot create '" + printable_name(name) + "'";
    return -1;
  }
  int written = write_all(file, page.data(), page.size());
  if (platform_close(file) != 0 || written != 0) {
    *error = "cannot write '" + printable_name(name) + "'";
    return -1;
  }
  return 0;
}

}  // namespace

int run_pdxdump(int argc, char **argv, std::string *out, std::string *err) {
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
    *out += "pdxdump " PDXDUMP_VERSION "\n";
    return DUMP_OK;
  }

  if (options.list) {
    int checked = run_list_check(options, out, err);
    return checked < 0 ? DUMP_FAILED : checked > 0 ? DUMP_PROBLEMS : DUMP_OK;
  }

  BankFile bank;
  std::string reason;
  if (open_bank_file(options.bank, &bank, &reason) != 0) {
    std::string message = "cannot read '" + printable_name(options.bank) + "'";
    return fail(err, reason.empty() ? message : message + ": " + reason);
  }
  BankReport report = check_bank(bank.table, bank.table_bytes, bank.size);
  if (add_sound_file_notes(&bank, &report) != 0) {
    close_bank_file(&bank);
    return fail(err, "cannot read '" + printable_name(options.bank) + "'");
  }
  ExtractPlan plan;
  if (options.extract_dir) {
    plan = plan_extract(report, options.bank);
    if (options.wav) add_wav_files(&plan, options.rate);
    int written = write_extraction(plan, &bank, options.extract_dir, &error);
    if (written != 0) {
      close_bank_file(&bank);
      return fail(err, error);
    }
  }
  int status = report.problems.empty() ? DUMP_OK : DUMP_PROBLEMS;
  bool page_out = options.html && std::strcmp(options.html, "-") == 0;
  if (options.html) {
    std::string page;
    int drawn =
        format_html_report(options.bank, report, options.rate, &bank, &page);
    close_bank_file(&bank);
    if (drawn != 0)
      return fail(err, "cannot read '" + printable_name(options.bank) + "'");
    if (page_out) {
      if (out->empty())
        out->swap(page);
      else
        *out += page;
      return status;
    }
    if (write_page(page, options.html, &error) != 0) return fail(err, error);
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
