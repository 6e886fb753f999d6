// What only adpack.exe under wine can show: the overwrite question answered
// on wine's console, and the exit status as a command prompt sees it; and
// pdxdump.exe, whose files and page must be the native build's, byte for
// byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <numbers>
#include <string>
#include <vector>

#include "launchers.h"
#include "support/bytes.h"
#include "support/console_text.h"
#include "support/cp932.h"
#include "support/files.h"
#include "support/process.h"
#include "support/worked_example.h"

namespace adpack_test {
namespace {

using worked::kA;
using worked::kB;
using worked::kOldBank;

// What the terminal shows, less the cursor and colour sequences that wine's
// console adds around each piece of output.
std::string without_escape_sequences(const std::string& screen) {
  std::string text;
  for (std::size_t i = 0; i < screen.size(); ++i) {
    if (screen[i] != '\x1b') {
      text.push_back(screen[i]);
      continue;
    }
    if (i + 1 < screen.size() && screen[i + 1] == '[') {
      i += 2;
      while (i < screen.size() && !(screen[i] >= 0x40 && screen[i] <= 0x7e)) {
        ++i;
      }
    } else {
      ++i;
    }
  }
  return text;
}

// The first character the program showed after its banner: the echo of the
// key. The banner is compared only by its last, plain ASCII word, since wine
// shows it in its own console code page.
std::string first_after_banner(const std::string& screen) {
  const std::string text = without_escape_sequences(screen);
  const std::string banner_end = "adpack project";
  std::size_t at = text.find(banner_end);
  if (at == std::string::npos) return "<no banner>";
  at += banner_end.size();
  while (at < text.size() && (text[at] == '\r' || text[at] == '\n')) ++at;
  return at < text.size() ? text.substr(at, 1) : "<nothing>";
}

struct Key {
  std::string name;
  std::string typed;  // as the terminal sends it
  bool accepts;
  bool printable;  // its echo is the key itself
};

void PrintTo(const Key& key, std::ostream* os) { *os << key.name; }

// Not here: Esc alone, which wine's console holds back as the possible start
// of an escape sequence, and Ctrl+C, which wine's console turns into an
// interrupt of its own whatever the program's console mode is.
std::vector<Key> Keys() {
  return {
      {"y", "y", true, true},
      {"Y", "Y", true, true},
      {"n", "n", false, true},
      {"Enter", "\r", false, false},
      {"ArrowUp", "\x1b[A", false, false},
      {"F1", "\x1bOP", false, false},
  };
}

// wine runs the program in a console of its own making, which it sets up
// only when standard input and output are the terminal, as in a shell.
// Standard error still goes to a file, so the prompt's bytes can be checked.
class WineConsoleTest : public ::testing::TestWithParam<Key> {
 protected:
  TempDir dir_;
  Pty pty_;
};

TEST_P(WineConsoleTest, AnswersTheQuestion) {
  const Key& key = GetParam();
  write_file(dir_ / "a.pcm", kA);
  write_file(dir_ / "b.pcm", kB);
  write_file(dir_ / "bos.pdl", worked::kList);
  write_file(dir_ / "bos.pdx", kOldBank);

  Child child({.argv = wine_launcher().command({"bos"}),
               .cwd = dir_.path().string(),
               .controlling_terminal = pty_.slave(),
               .terminal_as_console = true,
               .timeout = std::chrono::milliseconds(20000)});
  const std::string prompt = console_bytes(text::overwrite_prompt("bos.pdx"));
  ASSERT_TRUE(child.wait_for_err(prompt))
      << "no prompt; stderr so far: \"" << readable_console(child.err_so_far())
      << "\"";
  // The banner, shown before the prompt, must not count as the echo.
  std::string screen = pty_.read_screen(200);
  ASSERT_TRUE(child.running()) << "the question did not wait for a key";
  pty_.type(key.typed);

  RunResult result = child.finish();
  ASSERT_FALSE(result.timed_out);
  ASSERT_TRUE(result.exited) << result.describe();
  screen += pty_.read_screen(100);

  EXPECT_EQ(result.exit_status, key.accepts ? 0 : 255) << result.describe();
  std::string err = prompt + console_bytes(text::kAfterAnswer);
  if (key.accepts) err += console_bytes(text::kFinished);
  EXPECT_PRED_FORMAT2(SameConsole, err, result.err);
  EXPECT_PRED_FORMAT2(SameBytes, key.accepts ? worked::bank() : kOldBank,
                      read_file(dir_ / "bos.pdx").value_or("<none>"));
  EXPECT_PRED_FORMAT2(SameBytes, worked::kList,
                      read_file(dir_ / "bos.pdl").value_or("<none>"));
  if (key.printable) {
    EXPECT_EQ(first_after_banner(screen), key.typed)
        << "the key is echoed on the console; screen: \""
        << readable_console(screen) << "\"";
  }
}

std::string KeyName(const ::testing::TestParamInfo<Key>& param) {
  return "wine_" + param.param.name;
}

INSTANTIATE_TEST_SUITE_P(Program, WineConsoleTest, ::testing::ValuesIn(Keys()),
                         KeyName);

// The shell's view of the status keeps only 8 bits; the command prompt's
// %ERRORLEVEL% has all 32 of them.
std::string windows_path(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return "Z:" + path;
}

class WineExitStatusTest : public TempDirTest {
 protected:
  RunResult run_in_command_prompt(const std::string& args) {
    Launcher wine = wine_launcher();
    std::vector<std::string> argv = wine.prefix;
    argv.insert(argv.end(), {"cmd", "/c",
                             windows_path(wine.binary) + args +
                                 " & echo status=%ERRORLEVEL%"});
    return run({.argv = argv,
                .cwd = dir_.path().string(),
                .timeout = std::chrono::milliseconds(20000)});
  }
};

TEST_F(WineExitStatusTest, CommandPromptSeesMinusOne) {
  RunResult result = run_in_command_prompt("");
  ASSERT_TRUE(result.exited) << result.describe();
  EXPECT_PRED_FORMAT2(
      SameConsole,
      console_bytes(std::string(text::kBanner) + std::string(text::kUsage)) +
          "status=-1\r\n",
      result.out);
}

TEST_F(WineExitStatusTest, CommandPromptSeesZeroAfterACompleteRun) {
  write_file(dir_ / "a.pcm", kA);
  write_file(dir_ / "b.pcm", kB);
  write_file(dir_ / "bos.pdl", worked::kList);
  RunResult result = run_in_command_prompt(" bos");
  ASSERT_TRUE(result.exited) << result.describe();
  const std::string out = result.out;
  EXPECT_EQ(out.substr(out.size() < 10 ? 0 : out.size() - 10), "status=0\r\n")
      << result.describe();
  EXPECT_PRED_FORMAT2(SameBytes, worked::bank(),
                      read_file(dir_ / "bos.pdx").value_or("<none>"));
}

// pdxdump.exe under wine against the native pdxdump, each in a directory of
// its own holding the same bank: both streams, the status and every file
// written the same, byte for byte.
class WinePdxdumpTest : public ::testing::Test {
 protected:
  struct Side {
    RunResult result;
    std::map<std::string, std::string> files;
  };

  Side run_in(const Launcher& launcher, const std::vector<std::string>& args) {
    TempDir& dir = launcher.name == "native" ? native_ : wine_;
    write_file(dir / "bos.pdx", worked::bank());
    Side side;
    side.result = run({.argv = launcher.command(args),
                       .cwd = dir.path().string(),
                       .timeout = std::chrono::milliseconds(20000)});
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(dir.path())) {
      if (!entry.is_regular_file()) continue;
      side.files[std::filesystem::relative(entry.path(), dir.path())
                     .generic_string()] =
          read_file(entry.path()).value_or("<unreadable>");
    }
    return side;
  }

  void expect_same(const std::vector<std::string>& args) {
    Side native = run_in({"native", {}, PDXDUMP_BINARY}, args);
    Launcher wine = wine_launcher();
    wine.binary = PDXDUMP_WINDOWS_BINARY;
    Side windows = run_in(wine, args);
    ASSERT_TRUE(windows.result.exited) << windows.result.describe();
    EXPECT_EQ(windows.result.exit_status, native.result.exit_status);
    EXPECT_PRED_FORMAT2(SameBytes, native.result.out, windows.result.out);
    EXPECT_PRED_FORMAT2(SameBytes, native.result.err, windows.result.err);
    EXPECT_EQ(windows.files.size(), native.files.size());
    for (const auto& [name, bytes] : native.files) {
      auto found = windows.files.find(name);
      ASSERT_NE(found, windows.files.end()) << name;
      EXPECT_PRED_FORMAT2(SameBytes, bytes, found->second) << name;
    }
  }

  TempDir native_, wine_;
};

TEST_F(WinePdxdumpTest, ExtractsTheSameFiles) {
  expect_same({"--extract", "out", "--wav", "bos.pdx"});
}

TEST_F(WinePdxdumpTest, DrawsTheSamePage) { expect_same({"--html", "-", "bos.pdx"}); }

#ifdef ADPCM_WINDOWS_BINARY
// A 16-bit mono WAV at the chip's rate: a decaying chord with a seeded
// noise burst, so that every code the encoder can choose gets a say.
std::string chord_wav() {
  const std::uint32_t rate = 15625, count = 6000;
  std::string data;
  std::uint32_t seed = 12345;
  for (std::uint32_t i = 0; i < count; ++i) {
    double t = static_cast<double>(i) / rate;
    double level = 9000.0 * std::exp(-3.0 * t);
    double value = level * (std::sin(2 * std::numbers::pi * 220 * t) +
                            0.5 * std::sin(2 * std::numbers::pi * 277 * t) +
                            0.3 * std::sin(2 * std::numbers::pi * 330 * t));
    if (i > 3000 && i < 3400) {
      seed = seed * 1103515245u + 12345u;
      value += static_cast<double>((seed >> 16) % 16001) - 8000.0;
    }
    auto sample = static_cast<std::int16_t>(
        std::lround(std::clamp(value, -32768.0, 32767.0)));
    data.push_back(static_cast<char>(sample & 0xff));
    data.push_back(static_cast<char>((sample >> 8) & 0xff));
  }
  auto le32 = [](std::uint32_t v) {
    return std::string{static_cast<char>(v), static_cast<char>(v >> 8),
                       static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
  };
  auto le16 = [](std::uint16_t v) {
    return std::string{static_cast<char>(v), static_cast<char>(v >> 8)};
  };
  std::uint32_t size = static_cast<std::uint32_t>(data.size());
  return "RIFF" + le32(36 + size) + "WAVEfmt " + le32(16) + le16(1) +
         le16(1) + le32(rate) + le32(rate * 2) + le16(2) + le16(16) + "data" +
         le32(size) + data;
}

// adpcm.exe encodes a WAV already at the target rate to the very bytes the
// native adpcm writes: the same reading, levelling and search, under wine.
TEST(WineAdpcmTest, EncodesTheSameSample) {
  if (!std::filesystem::exists(ADPCM_WINDOWS_BINARY)) {
    const char* ci = std::getenv("CI");
    if (ci && *ci && std::string(ci) != "false") {
      FAIL() << ADPCM_WINDOWS_BINARY << " was not built";
    }
    GTEST_SKIP() << "adpcm.exe was not built (no Windows sound libraries)";
  }
  TempDir native_dir, wine_dir;
  std::map<std::string, RunResult> results;
  for (TempDir* dir : {&native_dir, &wine_dir}) {
    write_file(*dir / "chord.wav", chord_wav());
    Launcher launcher{"native", {}, ADPCM_BINARY};
    if (dir == &wine_dir) {
      launcher = wine_launcher();
      launcher.binary = ADPCM_WINDOWS_BINARY;
    }
    results[launcher.name] =
        run({.argv = launcher.command({"encode", "chord.wav"}),
             .cwd = dir->path().string(),
             .timeout = std::chrono::milliseconds(60000)});
  }
  const RunResult& native = results["native"];
  const RunResult& windows = results["wine"];
  ASSERT_TRUE(windows.exited) << windows.describe();
  EXPECT_EQ(native.exit_status, 0) << native.err;
  EXPECT_EQ(windows.exit_status, 0) << windows.err;
  auto native_pcm = read_file(native_dir / "chord.pcm");
  auto windows_pcm = read_file(wine_dir / "chord.pcm");
  ASSERT_TRUE(native_pcm.has_value());
  ASSERT_TRUE(windows_pcm.has_value()) << windows.err;
  EXPECT_GT(native_pcm->size(), 2900u);
  EXPECT_PRED_FORMAT2(SameBytes, *native_pcm, *windows_pcm);
}
#endif

}  // namespace
}  // namespace adpack_test
