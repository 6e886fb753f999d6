// The report as one web page that needs nothing beside it: the checks, a
// strip of the whole file drawn to scale, and for each filled slot its
// waveform and a player of its decoded sound.
#ifndef ADPACK_PDXDUMP_REPORT_HTML_H
#define ADPACK_PDXDUMP_REPORT_HTML_H

#include <string>

#include "pdxdump/bank_check.h"
#include "pdxdump/bank_file.h"

// Where the page goes as it is made: a file, in pieces of bounded size, so
// that a bank of any size is drawn in little memory; or, when text is set,
// that string.
struct PageOut {
  PlatformFile file;
  std::string *text;
  std::string pending;  // not yet written to file
  bool failed;          // a write to file has failed; the rest is dropped
  bool closed_pipe;     // ... because the reader of a pipe has gone
  std::string reason;   // the system's reason for the failure, if it gave one
};

PageOut page_to_file(PlatformFile file);
PageOut page_to_text(std::string *text);

// Writes the page of report's bank to *out, decoding the samples at rate
// from bank. Returns 0; -1 when the bank cannot be read; -2 when the page
// cannot be written (out says why).
int write_html_report(const char *bank_name, const BankReport &report,
                      unsigned rate, const BankFile *bank, PageOut *out);

// text with the characters that HTML gives a meaning escaped, and bytes
// outside printable ASCII shown as \xNN, since their encoding is unknown.
std::string html_text(const std::string &text);

#endif
