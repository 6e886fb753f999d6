#include "adpcm_tool/report.h"

#include <cmath>
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

// The length of the UTF-8 character at text[at], or 0 where the bytes are
// not one.
std::size_t utf8_character(const std::string &text, std::size_t at) {
  auto byte = [&](std::size_t i) {
    return static_cast<unsigned char>(text[i]);
  };
  unsigned char lead = byte(at);
  std::size_t length = lead >= 0xc2 && lead <= 0xdf   ? 2
                       : lead >= 0xe0 && lead <= 0xef ? 3
                       : lead >= 0xf0 && lead <= 0xf4 ? 4
                                                      : 0;
  if (length == 0 || text.size() - at < length) return 0;
  for (std::size_t i = 1; i < length; ++i)
    if ((byte(at + i) & 0xc0) != 0x80) return 0;
  unsigned char second = byte(at + 1);
  if ((lead == 0xe0 && second < 0xa0) || (lead == 0xed && second > 0x9f) ||
      (lead == 0xf0 && second < 0x90) || (lead == 0xf4 && second > 0x8f))
    return 0;
  return length;
}

// A file name is bytes: what is not UTF-8 is given as \u00NN, one escape a
// byte, so that the output is JSON whatever the name.
std::string json_string(const std::string &text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += text[i];
    } else if (c >= 0x20 && c < 0x7f) {
      out += text[i];
    } else if (std::size_t length = c >= 0x80 ? utf8_character(text, i) : 0) {
      out.append(text, i, length);
      i += length - 1;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    }
  }
  return out + "\"";
}

// JSON has no infinity: a figure that is no number is null.
std::string json_number(double value, int decimals) {
  return std::isfinite(value) ? fixed(value, decimals) : "null";
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
  return line + report_warnings(report);
}

std::string report_warnings(const EncodeReport &report) {
  std::string lines;
  for (const std::string &warning : warnings(report))
    lines += "adpcm: warning: " + report.input + ": " + warning + "\n";
  return lines;
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
         ", \"input_seconds\": " + json_number(report.input_seconds, 6) +
         ", \"rate\": " + std::to_string(report.rate) +
         ", \"samples\": " + std::to_string(report.samples) +
         ", \"bytes\": " + std::to_string(report.bytes) +
         ", \"gain_db\": " + json_number(report.gain_db, 2) +
         ", \"silent\": " + (report.silent ? "true" : "false") +
         ", \"snr_db\": " + (report.silent ? "null" : json_number(report.snr_db, 2)) +
         ", \"clamps\": " + std::to_string(report.clamps) +
         ", \"clipped\": " + std::to_string(report.clipped) +
         ", \"end_level\": " + std::to_string(report.end_level) +
         ", \"warnings\": [" + warning_list + "]}\n";
}

std::string report_json_failure(const std::string &input,
                                const std::string &error) {
  return "{\"input\": " + json_string(input) +
         ", \"error\": " + json_string(error) + "}\n";
}
