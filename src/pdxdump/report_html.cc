#include "pdxdump/report_html.h"

#include <algorithm>
#include <cstdio>

#include "adpcm/adpcm.h"
#include "bank/bank_layout.h"
#include "pdxdump/ascii.h"
#include "pdxdump/bank_wav.h"
#include "wav/wav.h"

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

// Pieces of the page are gathered to this size before they are written.
constexpr std::size_t PAGE_PIECE = 64 * 1024;

void flush_page(PageOut *out) {
  if (out->failed || out->pending.empty()) return;
  if (write_all(out->file, out->pending.data(), out->pending.size()) != 0) {
    out->failed = true;
    out->closed_pipe = platform_failure_is_closed_pipe();
    out->reason = failure_reason();
  }
  out->pending.clear();
}

void put(PageOut *out, const char *bytes, std::size_t size) {
  if (out->text) {
    out->text->append(bytes, size);
    return;
  }
  if (out->failed) return;
  out->pending.append(bytes, size);
  if (out->pending.size() >= PAGE_PIECE) flush_page(out);
}

void put(PageOut *out, const std::string &text) {
  put(out, text.data(), text.size());
}

// Base64 of a stream of bytes that arrive in pieces of any size: up to two
// bytes wait for the next piece, so that the digits run on unbroken.
struct Base64Stream {
  unsigned char held[2];
  std::size_t held_count;
  std::string digits;
};

void base64_add(Base64Stream *stream, const std::string &bytes, PageOut *out) {
  std::string &digits = stream->digits;
  digits.clear();
  std::size_t i = 0, n = bytes.size();
  const unsigned char *p =
      reinterpret_cast<const unsigned char *>(bytes.data());
  while (stream->held_count > 0 && stream->held_count < 3 && i < n) {
    if (stream->held_count == 2) {
      unsigned v = unsigned{stream->held[0]} << 16 |
                   unsigned{stream->held[1]} << 8 | p[i++];
      digits += BASE64_DIGITS[v >> 18];
      digits += BASE64_DIGITS[(v >> 12) & 63];
      digits += BASE64_DIGITS[(v >> 6) & 63];
      digits += BASE64_DIGITS[v & 63];
      stream->held_count = 0;
    } else {
      stream->held[stream->held_count++] = p[i++];
    }
  }
  char buffer[4096];
  std::size_t used = 0;
  for (; i + 3 <= n; i += 3) {
    unsigned v = unsigned{p[i]} << 16 | unsigned{p[i + 1]} << 8 | p[i + 2];
    buffer[used++] = BASE64_DIGITS[v >> 18];
    buffer[used++] = BASE64_DIGITS[(v >> 12) & 63];
    buffer[used++] = BASE64_DIGITS[(v >> 6) & 63];
    buffer[used++] = BASE64_DIGITS[v & 63];
    if (used == sizeof buffer) {
      digits.append(buffer, used);
      used = 0;
    }
  }
  digits.append(buffer, used);
  for (; i < n; ++i) stream->held[stream->held_count++] = p[i];
  put(out, digits);
}

void base64_end(Base64Stream *stream, PageOut *out) {
  if (stream->held_count == 0) return;
  unsigned v = unsigned{stream->held[0]} << 16;
  if (stream->held_count == 2) v |= unsigned{stream->held[1]} << 8;
  char tail[4] = {BASE64_DIGITS[v >> 18], BASE64_DIGITS[(v >> 12) & 63],
                  stream->held_count == 2 ? BASE64_DIGITS[(v >> 6) & 63] : '=',
                  '='};
  put(out, tail, sizeof tail);
  stream->held_count = 0;
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

// One vertical stroke per column, from the lowest to the highest signal in
// it, drawn as the signal is decoded, piece by piece. Each column reaches
// back to the last signal of the one before, so that a few samples a column
// still draw a line, not dots.
struct WaveDrawing {
  std::uint64_t count;    // the signals there are
  std::uint64_t columns;  // at most WAVE_COLUMNS, never more than count
  std::uint64_t column;   // the one being drawn
  std::uint64_t end;      // the index of its first signal past it
  std::uint64_t seen;     // signals so far
  int low, high, last, foot;
  std::string path;
};

void start_wave(WaveDrawing *wave, std::uint64_t count) {
  wave->count = count;
  wave->columns = std::min<std::uint64_t>(count, WAVE_COLUMNS);
  wave->column = 0;
  wave->end = wave->columns > 0 ? count / wave->columns : 0;
  wave->seen = 0;
  wave->low = wave->high = wave->last = wave->foot = 0;
  wave->path.clear();
}

void end_column(WaveDrawing *wave) {
  int top = wave_y(wave->high), bottom = wave_y(wave->low);
  // A flat column still shows, inside the box.
  if (bottom == top) {
    if (bottom < WAVE_HEIGHT)
      ++bottom;
    else
      --top;
  }
  // Relative moves from the last stroke's foot keep the page small.
  int move = top - wave->foot;
  wave->path += (wave->column == 0 ? "M0.5" : "m1") +
                std::string(move < 0 ? "" : " ") + std::to_string(move) + "v" +
                std::to_string(bottom - top);
  wave->foot = bottom;
}

void draw_signal(WaveDrawing *wave, const std::int16_t *signal,
                 std::size_t count) {
  for (std::size_t i = 0; i < count; ++i, ++wave->seen) {
    int value = signal[i];
    if (wave->seen == 0) {
      wave->low = wave->high = value;
    } else if (wave->seen == wave->end) {
      end_column(wave);
      ++wave->column;
      wave->end = (wave->column + 1) * wave->count / wave->columns;
      wave->low = wave->high = wave->last;
    }
    wave->low = std::min(wave->low, value);
    wave->high = std::max(wave->high, value);
    wave->last = value;
  }
}

std::string end_wave(WaveDrawing *wave, const std::string &id,
                     std::string *view_box) {
  if (wave->columns > 0) end_column(wave);
  *view_box = wave_view_box(static_cast<std::size_t>(wave->columns));
  return wave_svg(*view_box, "<path id=\"" + id + "\" d=\"" + wave->path +
                                 "\"/>");
}

std::string checks_html(const BankReport &report) {
  std::string html = "<section class=\"panel checks\"><h2>Checks</h2>\n";
  if (report.problems.empty() && report.notes.empty() &&
      report.sound_notes.empty())
    return html +
           "<p class=\"ok\">No problems, and every byte belongs to a "
           "slot.</p></section>\n";
  html += "<ul>\n";
  std::string warning = not_a_bank_warning(report);
  if (!warning.empty())
    html += "<li class=\"problem\"><strong>warning:</strong> " +
            html_text(warning) + "</li>\n";
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

// Kept from one slot to the next, so that a big bank is not a storm of
// allocations; the buffers hold one piece of a sample, never all of it.
struct PageScratch {
  std::vector<std::string> view_boxes;  // by sample
  std::vector<bool> playable;           // by sample: its card has a player
  std::vector<unsigned char> coded;
  std::vector<std::int16_t> signal;
  std::string wav;
  WaveDrawing wave;
  Base64Stream base64;
};

constexpr std::size_t DECODE_PIECE = 32 * 1024;

// Decodes the there bytes of sample that lie in the file, piece by piece,
// into the waveform (wave) or as a WAV's samples into the page. Returns 0,
// or -1 when the bank cannot be read.
int decode_pieces(const BankSample &sample, std::uint64_t there,
                  const BankFile *bank, bool wave, PageScratch *scratch,
                  PageOut *out) {
  scratch->coded.resize(DECODE_PIECE);
  scratch->signal.resize(DECODE_PIECE * ADPCM_SAMPLES_PER_BYTE);
  AdpcmState state = {0, 0};
  for (std::uint64_t done = 0; done < there;) {
    std::size_t want = static_cast<std::size_t>(
        std::min<std::uint64_t>(there - done, DECODE_PIECE));
    if (read_bank_bytes(bank, sample.offset + done, scratch->coded.data(),
                        want) != static_cast<std::ptrdiff_t>(want))
      return -1;
    adpcm_decode(scratch->coded.data(), want, &state, scratch->signal.data());
    std::size_t count = want * ADPCM_SAMPLES_PER_BYTE;
    if (wave) {
      draw_signal(&scratch->wave, scratch->signal.data(), count);
    } else {
      scratch->wav.clear();
      wav_append_samples(scratch->signal.data(), count, &scratch->wav);
      base64_add(&scratch->base64, scratch->wav, out);
    }
    done += want;
  }
  return 0;
}

std::string nothing_html(const BankSample &sample) {
  return sample.length == 0
             ? "<p class=\"ok\">Empty: nothing to draw or play.</p>\n"
             : "<p class=\"ok\">Nothing to draw or play.</p>\n";
}

// The waveform and the player of a sample's first slot. A sample with
// nothing to play has neither: a browser cannot time an empty sound.
int sound_html(const BankSample &sample, std::size_t index, unsigned rate,
               const BankFile *bank, PageScratch *scratch, PageOut *out) {
  int owner = sample.slots.front();
  std::uint64_t there =
      sample.offset < bank->size
          ? std::min<std::uint64_t>(sample.length, bank->size - sample.offset)
          : 0;
  std::uint64_t count = decoded_sample_count(there);
  if (there < sample.length)
    put(out, "<p class=\"flag\">Only " + number(there) + " of its " +
                 number(sample.length) +
                 " bytes lie in the file; the waveform and the sound stop "
                 "there.</p>\n");
  if (count == 0) {
    put(out, nothing_html(sample));
    return 0;
  }
  std::string wave_id = "wave-" + std::to_string(owner);
  std::string audio_id = "audio-" + std::to_string(owner);
  start_wave(&scratch->wave, count);
  if (decode_pieces(sample, there, bank, true, scratch, out) != 0) return -1;
  std::string &view_box = scratch->view_boxes[index];
  put(out, end_wave(&scratch->wave, wave_id, &view_box) + "\n");
  if (!wav_fits(there)) {
    put(out,
        "<p class=\"flag\">Its sound would pass the 4 GiB limit of a WAV "
        "file, so the page has no player for it.</p>\n");
    return 0;
  }
  put(out, "<audio controls preload=\"metadata\" id=\"" + audio_id +
               "\" src=\"data:audio/wav;base64,");
  scratch->base64.held_count = 0;
  base64_add(&scratch->base64, wav_header(count, rate), out);
  if (decode_pieces(sample, there, bank, false, scratch, out) != 0) return -1;
  base64_end(&scratch->base64, out);
  put(out, "\"></audio>\n");
  scratch->playable[index] = true;
  return 0;
}

// The card of one filled slot. The first slot of a sample carries its
// waveform and sound; the others point at them.
int slot_html(const SlotRow &row, const BankReport &report, unsigned rate,
              const BankFile *bank, PageScratch *scratch, PageOut *out) {
  std::size_t index = static_cast<std::size_t>(row.sample);
  const BankSample &sample = report.samples[index];
  int owner = sample.slots.front();
  std::string slot = std::to_string(row.slot);
  std::string html = "<section class=\"panel slot\" id=\"slot-" + slot +
                     "\"><header><h3>Slot " + slot + "</h3>";
  std::vector<int> others;
  for (int s : sample.slots)
    if (s != row.slot) others.push_back(s);
  if (!others.empty())
    html += "<span class=\"badge\">shared with " +
            std::string(others.size() == 1 ? "slot " : "slots ") +
            slot_list(others) + "</span>";
  std::vector<const BankProblem *> flags;
  for (const BankProblem &problem : report.problems)
    if (has_slot(problem.slots, row.slot) ||
        has_slot(problem.other_slots, row.slot))
      flags.push_back(&problem);
  for (const BankProblem *problem : flags)
    html += "<span class=\"badge bad\">" +
            html_text(problem_kind_name(problem->kind)) + "</span>";
  char offset[40];
  std::snprintf(offset, sizeof offset, "%llu (0x%llx)",
                static_cast<unsigned long long>(row.offset),
                static_cast<unsigned long long>(row.offset));
  html += "</header><ul class=\"facts\">" + fact("offset", offset) +
          fact("length", number(row.length) + " bytes") +
          fact("duration", seconds_text(sample_seconds(row.length, rate))) +
          fact("samples", number(decoded_sample_count(row.length))) +
          "</ul>\n";
  for (const BankProblem *problem : flags)
    html += "<p class=\"flag\">" + html_text(problem->text) + "</p>\n";
  if (row.slot != owner) {
    if (!scratch->view_boxes[index].empty())
      html += wave_svg(scratch->view_boxes[index],
                       "<use href=\"#wave-" + std::to_string(owner) + "\"/>") +
              "\n";
    else
      html += nothing_html(sample);
    if (scratch->playable[index])
      html += "<audio controls preload=\"metadata\" data-same=\"audio-" +
              std::to_string(owner) + "\"></audio>\n";
    put(out, html + "</section>\n");
    return 0;
  }
  put(out, html);
  if (sound_html(sample, index, rate, bank, scratch, out) != 0) return -1;
  put(out, "</section>\n");
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

PageOut page_to_file(PlatformFile file) {
  PageOut out = {file, nullptr, {}, false, false, {}};
  out.pending.reserve(PAGE_PIECE + 8 * 1024);
  return out;
}

PageOut page_to_text(std::string *text) {
  return {0, text, {}, false, false, {}};
}

int write_html_report(const char *bank_name, const BankReport &report,
                      unsigned rate, const BankFile *bank, PageOut *out) {
  std::string name = html_text(bank_name);
  put(out,
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\">"
      "\n<title>" +
          name + " \xe2\x80\x94 pdxdump</title>\n<style>\n" + STYLE +
          "</style>\n</head>\n<body>\n<main>\n<h1>" + name +
          "</h1>\n<p class=\"sub\">" + std::to_string(report.slots_used) +
          (report.slots_used == 1 ? " slot" : " slots") + " used, " +
          number(report.samples.size()) + " distinct " +
          (report.samples.size() == 1 ? "sample" : "samples") + ", " +
          number(report.file_size) + " bytes; played at " +
          std::to_string(rate) + " Hz</p>\n");
  // Problems before anything else, so that a broken bank says so at once.
  put(out, checks_html(report) + summary_html(report, rate));
  put(out, "<section class=\"panel\"><h2>Layout</h2>\n" + strip_html(report) +
               "</section>\n");
  PageScratch scratch;
  scratch.view_boxes.resize(report.samples.size());
  scratch.playable.resize(report.samples.size());
  for (const SlotRow &row : report.rows)
    if (row.filled && slot_html(row, report, rate, bank, &scratch, out) != 0)
      return -1;
  put(out, "<footer>made by pdxdump</footer>\n</main>\n<script>" +
               std::string(SCRIPT) + "</script>\n</body>\n</html>\n");
  flush_page(out);
  return out->failed ? -2 : 0;
}
