// The report as one web page that needs nothing beside it: the checks, a
// strip of the whole file drawn to scale, and for each filled slot its
// waveform and a player of its decoded sound.
#ifndef ADPACK_PDXDUMP_REPORT_HTML_H
#define ADPACK_PDXDUMP_REPORT_HTML_H

#include <string>

#include "pdxdump/bank_check.h"
#include "pdxdump/bank_file.h"

// Appends the page of report's bank to *page, decoding the samples at rate
// from bank. Returns 0, or -1 when the bank cannot be read.
int format_html_report(const char *bank_name, const BankReport &report,
                       unsigned rate, const BankFile *bank, std::string *page);

// text with the characters that HTML gives a meaning escaped, and bytes
// outside printable ASCII shown as \xNN, since their encoding is unknown.
std::string html_text(const std::string &text);

#endif
