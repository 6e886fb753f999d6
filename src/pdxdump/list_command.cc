#include "pdxdump/list_command.h"

#include "pdxdump/ascii.h"
#include "pdxdump/list_check.h"
#include "pdxdump/report_list.h"

int run_list_check(const DumpOptions &options, std::string *out,
                   std::string *err) {
  ListReport report;
  std::string reason;
  if (check_list(options.bank, &report, &reason) != 0) {
    *err += "pdxdump: cannot read '" + printable_name(report.list_name) + "'" +
            (reason.empty() ? "" : ": " + reason) + "\n";
    return -1;
  }
  *out += options.json ? format_list_json_report(report, options.rate)
                       : format_list_text_report(report, options.rate);
  return report.problems.empty() ? 0 : 1;
}
