// The decoded samples that pdxdump writes: WAV files beside the extracted
// ones, and the web page.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "adpcm/adpcm.h"
#include "pdxdump/dump_in_process.h"
#include "pdxdump/hand_made_bank.h"
#include "pdxdump/pdxdump.h"
#include "pdxdump/report_html.h"
#include "support/files.h"

namespace {

using adpack_test::entry_exists;
using adpack_test::read_file;
using adpack_test::TempDir;
using adpack_test::write_file;

// What the decoder makes of a whole sample at once, as a WAV holds it.
std::string expected_wav_data(const std::string &coded) {
  std::vector<std::int16_t> signal(coded.size() * 2);
  AdpcmState state = {0, 0};
  adpcm_decode(reinterpret_cast<const unsigned char *>(coded.data()),
               coded.size(), &state, signal.data());
  std::string data;
  for (std::int16_t s : signal) {
    unsigned v = static_cast<unsigned>(s * 16) & 0xffffu;
    data += static_cast<char>(v & 0xff);
    data += static_cast<char>(v >> 8);
  }
  return data;
}

std::string base64_decode(const std::string &text) {
  const std::string digits =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string bytes;
  unsigned bits = 0, value = 0;
  for (char c : text) {
    std::size_t d = digits.find(c);
    if (d == std::string::npos) break;
    value = (value << 6 | static_cast<unsigned>(d)) & 0xffffff;
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes += static_cast<char>((value >> bits) & 0xff);
    }
  }
  return bytes;
}

std::size_t count(const std::string &text, const std::string &what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos;
       at = text.find(what, at + 1))
    ++n;
  return n;
}

class Sound : public testing::Test {
 protected:
  TempDir tmp_;
  std::string dir_ = tmp_.path().string();
};

TEST_F(Sound, WavHeaderIsTheStandardOne) {
  // Slot 3 holds two bytes: four samples, eight data bytes, at 8000 Hz.
  write_file(dir_ + "/b.pdx", hand_made_bank({{3, 768, 2}}, 770));
  DumpRun r =
      dump({"-x", dir_ + "/out", "--wav", "--rate", "8000", dir_ + "/b.pdx"});
  ASSERT_EQ(r.status, 0) << r.err;
  const char header[] =
      "RIFF\x2c\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0"
      "\x40\x1f\0\0\x80\x3e\0\0\x02\0\x10\0data\x08\0\0\0";
  std::string wav = read_file(dir_ + "/out/s03.wav").value();
  EXPECT_EQ(wav.substr(0, 44), std::string(header, 44));
  EXPECT_EQ(wav.size(), 52u);
  EXPECT_NE(r.out.find("\nwrote " + dir_ +
                       "/out/s03.pcm: 2 bytes for slot 3\n"
                       "wrote " +
                       dir_ + "/out/s03.wav: 4 samples at 8000 Hz\n"),
            std::string::npos);
}

TEST_F(Sound, WavHoldsTheWholeSampleDecodedInOneRun) {
  // Longer than a piece of the copy, so that the decoder's state must
  // carry across pieces.
  std::string bank = hand_made_bank(
      {{0, 768, 100000}, {1, 100768, 3}, {2, 768, 100000}}, 100771);
  write_file(dir_ + "/b.pdx", bank);
  DumpRun r = dump({dir_ + "/b.pdx", "--json", "--wav", "-x", dir_ + "/o"});
  ASSERT_EQ(r.status, 0) << r.err;
  struct {
    const char *name;
    std::size_t offset, length;
  } files[] = {{"s00", 768, 100000}, {"s01", 100768, 3}};
  for (const auto &f : files) {
    std::string wav = read_file(dir_ + "/o/" + f.name + ".wav").value();
    ASSERT_EQ(wav.size(), 44 + f.length * 4) << f.name;
    EXPECT_TRUE(wav.substr(44) ==
                expected_wav_data(bank.substr(f.offset, f.length)))
        << f.name;
    EXPECT_EQ(read_file(dir_ + "/o/" + f.name + ".pcm"),
              bank.substr(f.offset, f.length));
  }
  EXPECT_FALSE(entry_exists(dir_ + "/o/s02.wav"));
  EXPECT_NE(r.out.find("{\"name\": \"s00.pcm\", \"offset\": 768, \"length\": "
                       "100000, \"slots\": [0, 2], \"wav\": \"s00.wav\"}"),
            std::string::npos);
}

TEST_F(Sound, ExtractsNothingWhenAWavFileExists) {
  write_file(dir_ + "/b.pdx",
             hand_made_bank({{0, 768, 10}, {1, 778, 10}}, 788));
  std::filesystem::create_directory(dir_ + "/out");
  write_file(dir_ + "/out/s01.wav", "mine");
  DumpRun r = dump({"-x", dir_ + "/out", "--wav", dir_ + "/b.pdx"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "pdxdump: '" + dir_ +
                       "/out/s01.wav' exists already; nothing was extracted\n");
  EXPECT_FALSE(entry_exists(dir_ + "/out/s00.pcm"));
  EXPECT_FALSE(entry_exists(dir_ + "/out/s00.wav"));
  EXPECT_EQ(read_file(dir_ + "/out/s01.wav"), "mine");
  // Without --wav the same directory takes the extraction.
  EXPECT_EQ(dump({"-x", dir_ + "/out", dir_ + "/b.pdx"}).status, 0);
}

TEST_F(Sound, RefusesASampleTooLongForAWavFile) {
  // One byte more than a WAV's 32-bit sizes hold, in a sparse bank.
  const std::uint32_t too_long = 1073741815;
  write_file(dir_ + "/b.pdx", hand_made_bank({{0, 768, too_long}}, 768));
  std::filesystem::resize_file(dir_ + "/b.pdx", 768 + std::uintmax_t{too_long});
  DumpRun r = dump({"-x", dir_ + "/out", "--wav", dir_ + "/b.pdx"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "pdxdump: '" + dir_ +
                       "/out/s00.wav' would pass the 4 GiB limit of a WAV "
                       "file; nothing was extracted\n");
  EXPECT_FALSE(entry_exists(dir_ + "/out/s00.pcm"));
}

TEST(HtmlText, EscapesWhatHtmlGivesAMeaningAndUnknownBytes) {
  EXPECT_EQ(html_text("a<b>&\"c\"'d'"),
            "a&lt;b&gt;&amp;&quot;c&quot;&#39;d&#39;");
  EXPECT_EQ(html_text("\x83\x5c<\n"), "\\x83\\&lt;\\x0a");
}

TEST_F(Sound, PageShowsProblemsFirstAndEverySlot) {
  // Slots 0 and 5 share a sample; slot 2 points into the table; slot 7
  // runs 20 bytes past the end; ten bytes belong to no slot.
  std::string name = dir_ + "/<i>&\x83.pdx";
  write_file(name,
             hand_made_bank(
                 {{0, 768, 40}, {5, 768, 40}, {2, 10, 8}, {7, 818, 40}}, 838));
  DumpRun r = dump({"--html", "-", "--rate", "5208", name});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "");
  const std::string &page = r.out;
  EXPECT_EQ(page.rfind("<!DOCTYPE html>\n", 0), 0u);
  EXPECT_EQ(page.find("<i>"), std::string::npos);
  EXPECT_NE(page.find("&lt;i&gt;&amp;\\x83.pdx</h1>"), std::string::npos);
  // Nothing outside the page is fetched.
  EXPECT_EQ(page.find("http"), std::string::npos);
  EXPECT_EQ(count(page, "src=\""), count(page, "src=\"data:audio/wav;base64,"));

  std::size_t first_slot = page.find("<section class=\"panel slot\"");
  std::size_t problem = page.find("past the end of the file (838 bytes)");
  ASSERT_NE(first_slot, std::string::npos);
  EXPECT_LT(problem, first_slot);
  EXPECT_LT(page.find("bytes 808 to 817 (10 bytes) belong to no slot"),
            first_slot);
  for (const char *seg : {"class=\"seg table\"", "class=\"seg shared\"",
                          "class=\"seg flagged\"", "class=\"seg unref\""})
    EXPECT_NE(page.find(seg), std::string::npos) << seg;

  // One card, waveform and player per filled slot, in slot order.
  std::vector<std::size_t> cards;
  for (int slot : {0, 2, 5, 7})
    cards.push_back(page.find("<section class=\"panel slot\" id=\"slot-" +
                              std::to_string(slot) + "\""));
  EXPECT_TRUE(std::is_sorted(cards.begin(), cards.end()));
  EXPECT_EQ(cards.front(), first_slot);
  EXPECT_EQ(count(page, "<section class=\"panel slot\""), 4u);
  EXPECT_EQ(count(page, "<svg class=\"wave\""), 4u);
  EXPECT_EQ(count(page, "<audio "), 4u);
  // The shared sample is embedded once.
  EXPECT_EQ(count(page, "data:audio/wav;base64,"), 3u);
  EXPECT_NE(page.find("shared with slot 5"), std::string::npos);
  EXPECT_NE(page.find("duration <b>0.015 s</b>"), std::string::npos);
  EXPECT_NE(page.find("Only 20 of its 40 bytes lie in the file"),
            std::string::npos);
}

TEST_F(Sound, PagePlaysTheSameSoundAsTheWavFile) {
  std::string bank = hand_made_bank({{1, 768, 300}, {4, 1068, 33}}, 1101);
  write_file(dir_ + "/b.pdx", bank);
  DumpRun page = dump({"--html=-", "--rate", "3906", dir_ + "/b.pdx"});
  ASSERT_EQ(page.status, 0) << page.err;
  ASSERT_EQ(
      dump({"-x", dir_ + "/o", "--wav", "--rate=3906", dir_ + "/b.pdx"}).status,
      0);
  const std::string marker = "data:audio/wav;base64,";
  std::size_t at = 0;
  for (const char *wav : {"s01.wav", "s04.wav"}) {
    at = page.out.find(marker, at);
    ASSERT_NE(at, std::string::npos) << wav;
    at += marker.size();
    std::string embedded =
        base64_decode(page.out.substr(at, page.out.find('"', at) - at));
    EXPECT_TRUE(embedded == read_file(dir_ + "/o/" + wav)) << wav;
  }
}

// The strokes of a waveform's path, as absolute tops and bottoms.
std::vector<std::pair<int, int>> strokes(const std::string &path) {
  std::vector<std::pair<int, int>> out;
  int y = 0;
  const char *p = path.c_str();
  while (*p == 'M' || *p == 'm') {
    bool absolute = *p == 'M';
    char *end;
    std::strtod(p + 1, &end);  // the column
    int move = static_cast<int>(std::strtol(end, &end, 10));
    if (*end != 'v') break;
    int height = static_cast<int>(std::strtol(end + 1, &end, 10));
    y = absolute ? move : y + move;
    out.push_back({y, y + height});
    y += height;
    p = end;
  }
  return out;
}

TEST_F(Sound, WaveformSpansTheSignalColumnByColumn) {
  // Rises to the top clamp, then falls to the bottom one: 24 samples.
  std::string bank = hand_made_bank({{0, 768, 12}}, 780);
  for (std::size_t i = 0; i < 12; ++i) bank[768 + i] = i < 4 ? '\x77' : '\xff';
  write_file(dir_ + "/b.pdx", bank);
  DumpRun r = dump({"--html", "-", dir_ + "/b.pdx"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string marker = "<path id=\"wave-0\" d=\"";
  std::size_t at = r.out.find(marker);
  ASSERT_NE(at, std::string::npos);
  at += marker.size();
  std::vector<std::pair<int, int>> columns =
      strokes(r.out.substr(at, r.out.find('"', at) - at));
  ASSERT_EQ(columns.size(), 24u);
  // Signal 30 near the middle line; 2047 at the top edge; -2048 at the
  // bottom edge, reached from 2047 in one stroke where the signal falls.
  EXPECT_NEAR(columns[0].first, 64, 1);
  EXPECT_EQ(columns[5].first, 0);
  EXPECT_EQ(columns.back().second, 128);
  for (auto [top, bottom] : columns) {
    EXPECT_LT(top, bottom);
    EXPECT_GE(top, 0);
    EXPECT_LE(bottom, 128);
  }
}

TEST_F(Sound, PageFileIsNeverReplaced) {
  write_file(dir_ + "/b.pdx", hand_made_bank({{0, 768, 4}}, 772));
  DumpRun r = dump({"--html", dir_ + "/p.html", dir_ + "/b.pdx"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("slot ", 0), 0u);
  EXPECT_NE(r.out.find("\nwrote " + dir_ + "/p.html: the page\n"),
            std::string::npos);
  std::string page = read_file(dir_ + "/p.html").value();
  EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);

  DumpRun again = dump({"--html", dir_ + "/p.html", dir_ + "/b.pdx"});
  EXPECT_EQ(again.status, 2);
  EXPECT_EQ(again.out, "");
  EXPECT_EQ(again.err, "pdxdump: '" + dir_ +
                           "/p.html' exists already; it is left as it is\n");
  EXPECT_EQ(read_file(dir_ + "/p.html"), page);
}

TEST_F(Sound, PageStaysWithinSixTimesTheBank) {
  // 96 samples, 2 MiB in all: the embedded sound alone is 16/3 of it.
  std::vector<HandSlot> slots;
  std::uint32_t each = 2 * 1024 * 1024 / 96;
  for (int slot = 0; slot < 96; ++slot)
    slots.push_back(
        {slot, 768 + static_cast<std::uint32_t>(slot) * each, each});
  std::size_t size = 768 + 96 * std::size_t{each};
  write_file(dir_ + "/big.pdx", hand_made_bank(slots, size));
  DumpRun r = dump({"--html", "-", dir_ + "/big.pdx"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_LE(r.out.size(), 6 * size);
  EXPECT_EQ(count(r.out, "<audio "), 96u);
}

// A browser cannot time a sound of no samples: an empty sample, and one
// whose bytes all lie past the file's end, get no player, nor do the slots
// that share them; the sample beside them keeps its own.
TEST_F(Sound, PageHasNoPlayerForASampleWithNothingToPlay) {
  write_file(dir_ + "/e.pdx",
             hand_made_bank({{0, 768, 0}, {1, 768, 0}, {2, 768, 30},
                             {3, 798, 0}, {4, 900, 10}},
                            798));
  DumpRun r = dump({"--html", "-", dir_ + "/e.pdx"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(count(r.out, "<audio "), 1u);
  EXPECT_NE(r.out.find("id=\"audio-2\""), std::string::npos);
  EXPECT_EQ(count(r.out, "Empty: nothing to draw or play."), 3u);
  EXPECT_EQ(count(r.out, "<p class=\"ok\">Nothing to draw or play.</p>"), 1u);
}

}  // namespace
