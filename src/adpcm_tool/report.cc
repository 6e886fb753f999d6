#include "adpcm_tool/report.h"

#include <cstdio>
#include <vector>

namespace {

std::string fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string signed_fixed(double value, int decimals) {
  return (value >= 0 ? "+" : "") + fixed(value, decimals);
}

std::vector<std::string> warnings(const EncodeReport &report) {
  std::vector<std::string> found;
  if (report.silent) found.push_back("the input is silent");
  if (report.clipped > 0)
    found.push_back(std::to_string(report.clipped) +
                    " input samples clipped at this gain");
  if (report.clamps > 0)
    found.push_back("the decoder's clamp was hit " +
                    std::to_string(report.clamps) + " times");
  return found;
}

std::string json_string(const std::string &text) {
  std::string out = "\"";
  for (char character : text) {
    auto c = static_cast<unsigned char>(character);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += character;
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += character;
    }
  }
  return out + "\"";
}

}  // namespace

std::string report_line(const EncodeReport &report) {
  std::string line =
      report.input + ": " + report.format + " " + report.encoding + ", " +
      std::to_string(report.channels) +
      (report.channels == 1 ? " channel, " : " channels, ") +
      std::to_string(report.input_rate) + " Hz, " +
      fixed(report.input_seconds, 3) + " s -> " + report.output + ": " +
      std::to_string(report.rate) + " Hz, " + std::to_string(report.samples) +
      " samples, " + std::to_string(report.bytes) + " bytes; gain " +
      signed_fixed(report.gain_db, 1) + " dB; SNR " +
      (report.silent ? std::string("-") : fixed(report.snr_db, 1) + " dB") +
      "; clamp " + std::to_string(report.clamps) + "; clipped " +
      std::to_string(report.clipped) + "; end " +
      std::to_string(report.end_level) + "\n";
  for (const std::string &warning : warnings(report))
    line += "adpcm: warning: " + report.input + ": " + warning + "\n";
  return line;
}

std::string report_json(const EncodeReport &report) {
  std::string warning_list;
  for (const std::string &warning : warnings(report))
    warning_list += (warning_list.empty() ? "" : ", ") + json_string(warning);
  return "{\"input\": " + json_string(report.input) +
         ", \"output\": " + json_string(report.output) +
         ", \"format\": " + json_string(report.format) +
         ", \"encoding\": " + json_string(report.encoding) +
         ", \"channels\": " + std::to_string(report.channels) +
         ", \"input_rate\": " + std::to_string(report.input_rate) +
         ", \"input_seconds\": " + fixed(report.input_seconds, 6) +
         ", \"rate\": " + std::to_string(report.rate) +
         ", \"samples\": " + std::to_string(report.samples) +
         ", \"bytes\": " + std::to_string(report.bytes) +
         ", \"gain_db\": " + fixed(report.gain_db, 2) +
         ", \"silent\": " + (report.silent ? "true" : "false") +
         ", \"snr_db\": " + (report.silent ? "null" : fixed(report.snr_db, 2)) +
         ", \"clamps\": " + std::to_string(report.clamps) +
         ", \"clipped\": " + std::to_string(report.clipped) +
         ", \"end_level\": " + std::to_string(report.end_level) +
         ", \"warnings\": [" + warning_list + "]}\n";
}
