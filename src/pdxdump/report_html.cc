#include "pdxdump/report_html.h"

#include <algorithm>
#include <cstdio>

#include "adpcm/adpcm.h"
#include "bank/bank_layout.h"
#include "pdxdump/ascii.h"
#include "pdxdump/wav.h"

namespace {

constexpr int WAVE_COLUMNS = 600;
constexpr int WAVE_HEIGHT = 128;

const char STYLE[] =
    ":root{--ink:#1f2328;--muted:#59636e;--line:#d1d9e0;--bg:#f6f8fa;"
    "--card:#fff;--table:#818b98;--sample:#0969da;--shared:#8250df;"
    "--overlap:#bf3989;--unref:#bf8700;--bad:#cf222e;--soft-bad:#ffebe9;"
    "--soft-note:#fff8c5}\n"
    "@media (prefers-color-scheme:dark){:root{--ink:#e6edf3;--muted:#9198a1;"
    "--line:#3d444d;--bg:#0d1117;--card:#151b23;--sample:#4493f8;"
    "--shared:#ab7df8;--overlap:#db61a2;--unref:#d29922;--bad:#f85149;"
    "--soft-bad:#3c1618;--soft-note:#3b2e0b}}\n"
    "*{box-sizing:border-box}\n"
    "body{margin:0;font:15px/1.5 system-ui,-apple-system,'Segoe UI',"
    "sans-serif;color:var(--ink);background:var(--bg)}\n"
    "main{max-width:1080px;margin:0 auto;padding:28px 20px 48px}\n"
    "h1{font-size:1.7em;margin:0;overflow-wrap:anywhere}\n"
    "h2{font-size:1.05em;margin:0 0 12px}\n"
    ".sub{color:var(--muted);margin:2px 0 20px}\n"
    ".panel{background:var(--card);border:1px solid var(--line);"
    "border-radius:10px;padding:16px 20px;margin:0 0 16px}\n"
    ".checks ul{list-style:none;margin:0;padding:0}\n"
    ".checks li{padding:6px 12px;margin:6px 0;border-radius:6px;"
    "border-left:4px solid}\n"
    "li.problem{border-color:var(--bad);background:var(--soft-bad)}\n"
    "li.note{border-color:var(--unref);background:var(--soft-note)}\n"
    ".ok{color:var(--muted);margin:0}\n"
    ".stats{display:grid;grid-template-columns:repeat(auto-fit,"
    "minmax(140px,1fr));gap:12px;margin:0}\n"
    ".stats div{border:1px solid var(--line);border-radius:8px;"
    "padding:8px 12px}\n"
    ".stats dt{color:var(--muted);font-size:12px}\n"
    ".stats dd{margin:0;font-size:1.3em;font-weight:600;"
    "font-variant-numeric:tabular-nums}\n"
    ".strip{position:relative;height:48px;border:1px solid var(--line);"
    "border-radius:6px;overflow:hidden;background:var(--bg)}\n"
    ".seg{position:absolute;top:0;bottom:0;min-width:1px;color:#fff;"
    "font-size:11px;line-height:48px;text-align:center;overflow:hidden;"
    "white-space:nowrap;text-decoration:none;"
    "box-shadow:inset -1px 0 var(--card)}\n"
    ".seg.table{background:var(--table)}\n"
    ".seg.sample{background:var(--sample)}\n"
    ".seg.shared{background:var(--shared)}\n"
    ".seg.flagged{background:repeating-linear-gradient(135deg,var(--bad) 0 "
    "6px,var(--sample) 6px 12px)}\n"
    ".seg.unref{background:repeating-linear-gradient(45deg,var(--unref) 0 "
    "5px,transparent 5px 10px)}\n"
    ".seg.overlap{top:12px;bottom:12px;background:var(--overlap);"
    "outline:2px solid var(--card)}\n"
    ".seg:hover{filter:brightness(1.15)}\n"
    ".scale{display:flex;justify-content:space-between;color:var(--muted);"
    "font-size:12px;margin-top:4px;font-variant-numeric:tabular-nums}\n"
    ".legend{display:flex;flex-wrap:wrap;gap:6px 18px;font-size:13px;"
    "color:var(--muted);margin-top:10px}\n"
    ".legend i{display:inline-block;width:12px;height:12px;border-radius:3px;"
    "margin-right:6px;vertical-align:-1px}\n"
    ".slot{scroll-margin-top:12px}\n"
    ".slot header{display:flex;flex-wrap:wrap;align-items:baseline;"
    "gap:6px 12px}\n"
    ".slot h3{margin:0;font-size:1.15em}\n"
    ".badge{font-size:12px;padding:1px 9px;border-radius:999px;"
    "border:1px solid var(--line);color:var(--muted)}\n"
    ".badge.bad{border-color:var(--bad);color:var(--bad)}\n"
    ".facts{display:flex;flex-wrap:wrap;gap:2px 22px;margin:6px 0 10px;"
    "padding:0;list-style:none;color:var(--muted);font-size:13px;"
    "font-variant-numeric:tabular-nums}\n"
    ".facts b{color:var(--ink);font-weight:600}\n"
    ".flag{color:var(--bad);margin:0 0 8px;font-size:13px}\n"
    "svg.wave{display:block;width:100%;height:96px;background:var(--bg);"
    "border-radius:6px}\n"
    "svg.wave path,svg.wave use{stroke:var(--sample);stroke-width:1;"
    "fill:none}\n"
    "svg.wave line{stroke:var(--line);stroke-width:1}\n"
    "audio{display:block;width:100%;height:40px;margin-top:10px}\n"
    "footer{color:var(--muted);font-size:12px;text-align:center}\n";

// A shared sample is embedded once; its other slots take the first one's
// sound when the page opens.
const char SCRIPT[] =
    "for(const a of document.querySelectorAll('audio[data-same]'))"
    "a.src=document.getElementById(a.dataset.same).src;";

const char BASE64_DIGITS[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Through a small buffer: growing the page by resizing would first fill
// megabytes with zeros.
void append_base64(std::string *out, const std::string &bytes) {
  const unsigned char *p =
      reinterpret_cast<const unsigned char *>(bytes.data());
  std::size_t n = bytes.size();
  char buffer[4096];
  std::size_t used = 0;
  std::size_t i = 0;
  for (; i + 3 <= n; i += 3) {
    unsigned v = unsigned{p[i]} << 16 | unsigned{p[i + 1]} << 8 | p[i + 2];
    buffer[used++] = BASE64_DIGITS[v >> 18];
    buffer[used++] = BASE64_DIGITS[(v >> 12) & 63];
    buffer[used++] = BASE64_DIGITS[(v >> 6) & 63];
    buffer[used++] = BASE64_DIGITS[v & 63];
    if (used == sizeof buffer) {
      out->append(buffer, used);
      used = 0;
    }
  }
  if (i < n) {
    unsigned v = unsigned{p[i]} << 16;
    if (i + 1 < n) v |= unsigned{p[i + 1]} << 8;
    buffer[used++] = BASE64_DIGITS[v >> 18];
    buffer[used++] = BASE64_DIGITS[(v >> 12) & 63];
    buffer[used++] = i + 1 < n ? BASE64_DIGITS[(v >> 6) & 63] : '=';
    buffer[used++] = '=';
  }
  out->append(buffer, used);
}

std::string number(std::uint64_t value) { return std::to_string(value); }

std::string seconds_text(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", seconds);
  return text;
}

// Where value lies along total, as a CSS percentage.
std::string percent(std::uint64_t value, std::uint64_t total) {
  char text[32];
  std::snprintf(
      text, sizeof text, "%.4f%%",
      100.0 * static_cast<double>(value) / static_cast<double>(total));
  return text;
}

std::string slot_list(const std::vector<int> &slots) {
  std::string text;
  for (std::size_t i = 0; i < slots.size(); ++i)
    text += (i > 0 ? ", " : "") + std::to_string(slots[i]);
  return text;
}

bool has_slot(const std::vector<int> &slots, int slot) {
  return std::find(slots.begin(), slots.end(), slot) != slots.end();
}

struct Segment {
  std::uint64_t first, end;
  std::string kind, label, title, link;
};

std::string segment_html(const Segment &s, std::uint64_t total) {
  std::string html = s.link.empty() ? "<span" : "<a href=\"#" + s.link + "\"";
  html += " class=\"seg " + s.kind +
          "\" style=\"left:" + percent(s.first, total) +
          ";width:" + percent(s.end - s.first, total) + "\" title=\"" +
          html_text(s.title) + "\">" + html_text(s.label);
  return html + (s.link.empty() ? "</span>" : "</a>");
}

std::string bytes_title(const std::string &what, std::uint64_t first,
                        std::uint64_t end) {
  return what + ": bytes " + number(first) + " to " + number(end - 1);
}

// The whole file to scale: the table, each sample as far as the file holds
// it, the bytes of no slot, and on top the bytes that two samples share.
std::string strip_html(const BankReport &report) {
  std::uint64_t total = report.file_size;
  if (total == 0) return "<p class=\"ok\">The file is empty.</p>\n";
  std::vector<Segment> segments;
  std::uint64_t table_end = std::min<std::uint64_t>(total, BANK_TABLE_SIZE);
  segments.push_back(
      {0, table_end, "table", "table", bytes_title("table", 0, table_end), ""});
  for (const BankSample &sample : report.samples) {
    if (sample.length == 0 || sample.offset >= total) continue;
    std::uint64_t end = std::min(sample.offset + sample.length, total);
    std::string kind = !sample.whole             ? "flagged"
                       : sample.slots.size() > 1 ? "shared"
                                                 : "sample";
    std::string who = (sample.slots.size() > 1 ? "slots " : "slot ") +
                      slot_list(sample.slots);
    segments.push_back({sample.offset, end, kind, slot_list(sample.slots),
                        bytes_title(who, sample.offset, end) +
                            (sample.whole ? "" : " (a problem)"),
                        "slot-" + std::to_string(sample.slots.front())});
  }
  for (const UnreferencedBytes &note : report.notes)
    segments.push_back(
        {note.offset, note.offset + note.length, "unref", "", note.text, ""});
  const std::vector<BankSample> &samples = report.samples;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    for (std::size_t j = i + 1; j < samples.size(); ++j) {
      const BankSample &a = samples[i], &b = samples[j];
      std::uint64_t first = std::max(a.offset, b.offset);
      std::uint64_t end =
          std::min({a.offset + a.length, b.offset + b.length, total});
      if (!a.whole || !b.whole || first >= end) continue;
      segments.push_back({first, end, "overlap", "",
                          bytes_title("slots " + slot_list(a.slots) + " and " +
                                          slot_list(b.slots) + " overlap",
                                      first, end),
                          ""});
    }
  }
  std::string html = "<div class=\"strip\">";
  for (const Segment &segment : segments) html += segment_html(segment, total);
  html += "</div>\n<div class=\"scale\"><span>0</span><span>" + number(total) +
          " bytes</span></div>\n";
  html +=
      "<div class=\"legend\"><span><i style=\"background:var(--table)\"></i>"
      "table</span><span><i style=\"background:var(--sample)\"></i>sample"
      "</span><span><i style=\"background:var(--shared)\"></i>shared by "
      "several slots</span><span><i style=\"background:var(--overlap)\">"
      "</i>overlap</span><span><i style=\"background:var(--unref)\"></i>"
      "no slot's bytes</span><span><i style=\"background:var(--bad)\"></i>"
      "sample with a problem</span></div>\n";
  return html;
}

// The top clamp at 0, the bottom one at WAVE_HEIGHT.
int wave_y(int signal) {
  return (ADPCM_SIGNAL_MAX - signal) * WAVE_HEIGHT /
         (ADPCM_SIGNAL_MAX - ADPCM_SIGNAL_MIN);
}

std::string wave_view_box(std::size_t columns) {
  return "0 0 " + std::to_string(std::max<std::size_t>(columns, 1)) + " " +
         std::to_string(WAVE_HEIGHT);
}

std::string wave_svg(const std::string &view_box, const std::string &content) {
  return "<svg class=\"wave\" viewBox=\"" + view_box +
         "\" preserveAspectRatio=\"none\" role=\"img\" "
         "aria-label=\"waveform\"><line x1=\"0\" x2=\"100%\" y1=\"" +
         std::to_string(WAVE_HEIGHT / 2) + "\" y2=\"" +
         std::to_string(WAVE_HEIGHT / 2) + "\"/>" + content + "</svg>";
}

// One vertical stroke per column, from the lowest to the highest signal
// in it. Sets *view_box for the slots that share the sample.
std::string waveform_html(const std::vector<std::int16_t> &signal,
                          const std::string &id, std::string *view_box) {
  std::size_t n = signal.size();
  std::size_t columns = std::min<std::size_t>(n, WAVE_COLUMNS);
  *view_box = wave_view_box(columns);
  std::string path = "<path id=\"" + id + "\" d=\"";
  int foot = 0;
  for (std::size_t column = 0; column < columns; ++column) {
    // Each column reaches back to the last signal of the one before, so
    // that a few samples a column still draw a line, not dots.
    std::size_t from = column * n / columns;
    auto first = signal.begin() + static_cast<std::ptrdiff_t>(from);
    if (from > 0) --first;
    auto end = signal.begin() +
               static_cast<std::ptrdiff_t>((column + 1) * n / columns);
    auto [low, high] = std::minmax_element(first, end);
    int top = wave_y(*high), bottom = wave_y(*low);
    // A flat column still shows, inside the box.
    if (bottom == top) {
      if (bottom < WAVE_HEIGHT)
        ++bottom;
      else
        --top;
    }
    // Relative moves from the last stroke's foot keep the page small.
    int move = top - foot;
    path += (column == 0 ? "M0.5" : "m1") + std::string(move < 0 ? "" : " ") +
            std::to_string(move) + "v" + std::to_string(bottom - top);
    foot = bottom;
  }
  return wave_svg(*view_box, path + "\"/>");
}

std::string checks_html(const BankReport &report) {
  std::string html = "<section class=\"panel checks\"><h2>Checks</h2>\n";
  if (report.problems.empty() && report.notes.empty() &&
      report.sound_notes.empty())
    return html +
           "<p class=\"ok\">No problems, and every byte belongs to a "
           "slot.</p></section>\n";
  html += "<ul>\n";
  for (const BankProblem &problem : report.problems)
    html += "<li class=\"problem\"><strong>problem:</strong> " +
            html_text(problem.text) + "</li>\n";
  for (const UnreferencedBytes &note : report.notes)
    html += "<li class=\"note\"><strong>note:</strong> " +
            html_text(note.text) + "</li>\n";
  for (const SoundFileNote &note : report.sound_notes)
    html += "<li class=\"note\"><strong>note:</strong> " +
            html_text(note.text) + "</li>\n";
  return html + "</ul></section>\n";
}

std::string stat_html(const char *label, const std::string &value) {
  return "<div><dt>" + std::string(label) + "</dt><dd>" + value + "</dd></div>";
}

std::string summary_html(const BankReport &report, unsigned rate) {
  return "<section class=\"panel\"><h2>Summary</h2><dl class=\"stats\">" +
         stat_html("slots used", std::to_string(report.slots_used)) +
         stat_html("distinct samples", number(report.samples.size())) +
         stat_html("data bytes", number(report.data_bytes)) +
         stat_html("unreferenced bytes", number(report.unreferenced_bytes)) +
         stat_html("file size", number(report.file_size)) +
         stat_html("rate", std::to_string(rate) + " Hz") + "</dl></section>\n";
}

std::string fact(const char *label, const std::string &value) {
  return "<li>" + std::string(label) + " <b>" + value + "</b></li>";
}

// The card of one filled slot. The first slot of a sample carries its
// waveform and sound; the others point at them.
// Kept from one slot to the next, so that a big bank is not a storm of
// allocations.
struct PageScratch {
  std::vector<std::string> view_boxes;  // by sample
  std::vector<std::int16_t> signal;
  std::string wav;
};

int slot_html(const SlotRow &row, const BankReport &report, unsigned rate,
              const BankFile *bank, PageScratch *scratch, std::string *html) {
  std::string &view_box =
      scratch->view_boxes[static_cast<std::size_t>(row.sample)];
  std::vector<std::int16_t> &signal = scratch->signal;
  const BankSample &sample =
      report.samples[static_cast<std::size_t>(row.sample)];
  int owner = sample.slots.front();
  std::string slot = std::to_string(row.slot);
  *html += "<section class=\"panel slot\" id=\"slot-" + slot +
           "\"><header><h3>Slot " + slot + "</h3>";
  std::vector<int> others;
  for (int s : sample.slots)
    if (s != row.slot) others.push_back(s);
  if (!others.empty())
    *html += "<span class=\"badge\">shared with " +
             std::string(others.size() == 1 ? "slot " : "slots ") +
             slot_list(others) + "</span>";
  std::vector<const BankProblem *> flags;
  for (const BankProblem &problem : report.problems)
    if (has_slot(problem.slots, row.slot) ||
        has_slot(problem.other_slots, row.slot))
      flags.push_back(&problem);
  for (const BankProblem *problem : flags)
    *html += "<span class=\"badge bad\">" +
             html_text(problem_kind_name(problem->kind)) + "</span>";
  char offset[40];
  std::snprintf(offset, sizeof offset, "%llu (0x%llx)",
                static_cast<unsigned long long>(row.offset),
                static_cast<unsigned long long>(row.offset));
  *html += "</header><ul class=\"facts\">" + fact("offset", offset) +
           fact("length", number(row.length) + " bytes") +
           fact("duration", seconds_text(sample_seconds(row.length, rate))) +
           fact("samples", number(decoded_sample_count(row.length))) +
           "</ul>\n";
  for (const BankProblem *problem : flags)
    *html += "<p class=\"flag\">" + html_text(problem->text) + "</p>\n";
  std::string wave_id = "wave-" + std::to_string(owner);
  std::string audio_id = "audio-" + std::to_string(owner);
  if (row.slot != owner) {
    *html += wave_svg(view_box, "<use href=\"#" + wave_id + "\"/>") +
             "\n<audio controls preload=\"metadata\" data-same=\"" + audio_id +
             "\"></audio>\n</section>\n";
    return 0;
  }
  if (decode_bank_sample(bank, sample.offset, sample.length, &signal) != 0)
    return -1;
  if (signal.size() < decoded_sample_count(sample.length))
    *html += "<p class=\"flag\">Only " +
             number(signal.size() / ADPCM_SAMPLES_PER_BYTE) + " of its " +
             number(sample.length) +
             " bytes lie in the file; the waveform and the sound stop "
             "there.</p>\n";
  *html += waveform_html(signal, wave_id, &view_box) +
           "\n<audio controls preload=\"metadata\" id=\"" + audio_id +
           "\" src=\"data:audio/wav;base64,";
  wav_file_bytes(signal, rate, &scratch->wav);
  append_base64(html, scratch->wav);
  *html += "\"></audio>\n</section>\n";
  return 0;
}

}  // namespace

std::string html_text(const std::string &text) {
  std::string html;
  for (char c : printable_name(text)) {
    switch (c) {
      case '&':
        html += "&amp;";
        break;
      case '<':
        html += "&lt;";
        break;
      case '>':
        html += "&gt;";
        break;
      case '"':
        html += "&quot;";
        break;
      case '\'':
        html += "&#39;";
        break;
      default:
        html += c;
    }
  }
  return html;
}

int format_html_report(const char *bank_name, const BankReport &report,
                       unsigned rate, const BankFile *bank, std::string *page) {
  // The embedded sound is most of the page: room for it all at once.
  std::uint64_t room = 32 * 1024;
  for (const BankSample &sample : report.samples) {
    std::uint64_t there =
        sample.offset < report.file_size
            ? std::min(sample.length, report.file_size - sample.offset)
            : 0;
    room += (WAV_HEADER_SIZE + there * 4 + 2) / 3 * 4 + 16 * WAVE_COLUMNS +
            1024 * sample.slots.size();
  }
  page->reserve(page->size() + static_cast<std::size_t>(room));
  std::string name = html_text(bank_name);
  *page +=
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\">"
      "\n<title>" +
      name + " \xe2\x80\x94 pdxdump</title>\n<style>\n" + STYLE +
      "</style>\n</head>\n<body>\n<main>\n<h1>" + name +
      "</h1>\n<p class=\"sub\">" + std::to_string(report.slots_used) +
      (report.slots_used == 1 ? " slot" : " slots") + " used, " +
      number(report.samples.size()) + " distinct " +
      (report.samples.size() == 1 ? "sample" : "samples") + ", " +
      number(report.file_size) + " bytes; played at " + std::to_string(rate) +
      " Hz</p>\n";
  // Problems before anything else, so that a broken bank says so at once.
  *page += checks_html(report) + summary_html(report, rate);
  *page += "<section class=\"panel\"><h2>Layout</h2>\n" + strip_html(report) +
           "</section>\n";
  PageScratch scratch;
  scratch.view_boxes.resize(report.samples.size());
  for (const SlotRow &row : report.rows)
    if (row.filled && slot_html(row, report, rate, bank, &scratch, page) != 0)
      return -1;
  *page += "<footer>made by pdxdump</footer>\n</main>\n<script>" +
           std::string(SCRIPT) + "</script>\n</body>\n</html>\n";
  return 0;
}
