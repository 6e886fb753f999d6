// The overwrite question, answered on a real pseudo-terminal that is the
// program's controlling terminal while its output goes to files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "launchers.h"
#include "support/bank_image.h"
#include "support/bytes.h"
#include "support/console_text.h"
#include "support/cp932.h"
#include "support/files.h"
#include "support/process.h"
#include "support/worked_example.h"

namespace adpack_test {
namespace {

namespace fs = std::filesystem;
using text::prefix;

using worked::kA;
using worked::kB;
using worked::kOldBank;

std::string worked_out() {
  return std::string(text::kBanner) + prefix("a.pcm") + "done.\n" +
         prefix("b.pcm") + "done.\n" + prefix("a.pcm");
}

void make_worked_example(const TempDir& dir, const std::string& list_name) {
  write_file(dir / "a.pcm", kA);
  write_file(dir / "b.pcm", kB);
  write_file(dir / list_name, worked::kList);
}

termios terminal_mode(int fd) {
  termios mode{};
  EXPECT_EQ(tcgetattr(fd, &mode), 0);
  return mode;
}

constexpr tcflag_t kWaitBits = ICANON | ECHO | ISIG;

void expect_same_mode(const termios& before, const termios& after) {
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(after.c_iflag, before.c_iflag);
  EXPECT_EQ(after.c_oflag, before.c_oflag);
  EXPECT_EQ(after.c_cflag, before.c_cflag);
  for (std::size_t i = 0; i < NCCS; ++i) {
    EXPECT_EQ(after.c_cc[i], before.c_cc[i]) << "c_cc[" << i << "]";
  }
}

// Polls until done() holds or the time is up.
bool eventually(const std::function<bool()>& done,
                std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

struct Key {
  std::string name;
  std::string typed;
  bool accepts;
  bool printable;                    // its echo is the key itself
  std::optional<std::string> piped;  // standard input, which must not answer
};

std::vector<Key> Keys() {
  return {
      {"y", "y", true, true, std::nullopt},
      {"Y", "Y", true, true, std::nullopt},
      {"n", "n", false, true, std::nullopt},
      {"Enter", "\r", false, false, std::nullopt},
      {"Esc", "\x1b", false, false, std::nullopt},
      {"CtrlC", "\x03", false, false, std::nullopt},
      {"CtrlZ", "\x1a", false, false, std::nullopt},
      {"CtrlBackslash", "\x1c", false, false, std::nullopt},
      {"ArrowUp", "\x1b[A", false, false, std::nullopt},
      {"F1", "\x1bOP", false, false, std::nullopt},
      {"F5", "\x1b[15~", false, false, std::nullopt},
      // Characters of several bytes are echoed whole, from a UTF-8 terminal
      // or a Shift_JIS one; the last begins like a UTF-8 character.
      {"e_acute_utf8", "\xC3\xA9", false, true, std::nullopt},
      {"katakana_a_utf8", "\xE3\x82\xA2", false, true, std::nullopt},
      {"katakana_a_shift_jis", to_cp932("ア"), false, true, std::nullopt},
      {"half_width_katakana_shift_jis", to_cp932("ﾃ"), false, true,
       std::nullopt},
      {"kanji_shift_jis", to_cp932("繧"), false, true, std::nullopt},
      {"n_typed_y_piped", "n", false, true, "y"},
      {"y_typed_n_piped", "y", true, true, "n"},
  };
}

void PrintTo(const Key& key, std::ostream* os) { *os << key.name; }

using KeyParam = std::tuple<Launcher, Key>;

class OverwriteKeyTest : public ::testing::TestWithParam<KeyParam> {
 protected:
  TempDir dir_;
  Pty pty_;
};

TEST_P(OverwriteKeyTest, AnswersTheQuestion) {
  const auto& [launcher, key] = GetParam();
  make_worked_example(dir_, "bos.pdl");
  write_file(dir_ / "bos.pdx", kOldBank);
  const termios before = terminal_mode(pty_.slave());
  ASSERT_EQ(before.c_lflag & kWaitBits, kWaitBits);

  Child child({.argv = launcher.command({"bos"}),
               .cwd = dir_.path().string(),
               .input = key.piped,
               .controlling_terminal = pty_.slave()});
  const std::string prompt = console_bytes(text::overwrite_prompt("bos.pdx"));
  EXPECT_TRUE(child.wait_for_err(prompt))
      << "no prompt; stderr so far: \"" << readable_console(child.err_so_far())
      << "\"";
  // The key goes in only once the terminal is raw: typed earlier, Ctrl+C
  // would still be a signal.
  tcflag_t waiting_lflag = before.c_lflag;
  EXPECT_TRUE(eventually(
      [&] {
        waiting_lflag = terminal_mode(pty_.slave()).c_lflag;
        return (waiting_lflag & kWaitBits) == 0 || !child.running();
      },
      std::chrono::milliseconds(3000)));
  EXPECT_EQ(waiting_lflag & kWaitBits, 0u)
      << "line editing, echo or signal keys still on while waiting";
  pty_.type(key.typed);

  RunResult result = child.finish();
  ASSERT_FALSE(result.timed_out);
  ASSERT_TRUE(result.exited) << result.describe();
  const std::string screen = pty_.read_screen(100);
  const std::string pending = pty_.pending_input();
  const termios after = terminal_mode(pty_.slave());

  if (key.accepts) {
    EXPECT_EQ(result.exit_status, 0) << result.describe();
    EXPECT_PRED_FORMAT2(SameConsole, console_bytes(worked_out()), result.out);
    EXPECT_PRED_FORMAT2(SameConsole,
                        prompt + console_bytes(text::kAfterAnswer) +
                            console_bytes(text::kFinished),
                        result.err);
    EXPECT_PRED_FORMAT2(SameBytes, worked::bank(),
                        read_file(dir_ / "bos.pdx").value_or("<none>"));
  } else {
    EXPECT_EQ(result.exit_status, 255) << result.describe();
    EXPECT_PRED_FORMAT2(SameConsole,
                        console_bytes(std::string(text::kBanner) +
                                      std::string(text::kNotOverwritten)),
                        result.out);
    EXPECT_PRED_FORMAT2(SameConsole, prompt + console_bytes(text::kAfterAnswer),
                        result.err);
    EXPECT_PRED_FORMAT2(SameBytes, kOldBank,
                        read_file(dir_ / "bos.pdx").value_or("<none>"));
  }
  EXPECT_PRED_FORMAT2(SameBytes, worked::kList,
                      read_file(dir_ / "bos.pdl").value_or("<none>"));
  if (key.printable) {
    EXPECT_PRED_FORMAT2(SameBytes, key.typed, screen)
        << "the key is echoed once, on the terminal";
  }
  EXPECT_PRED_FORMAT2(SameBytes, "", pending)
      << "the whole key is consumed, nothing is left for the shell";
  expect_same_mode(before, after);
}

std::string KeyName(const ::testing::TestParamInfo<KeyParam>& param) {
  return std::get<0>(param.param).name + "_" + std::get<1>(param.param).name;
}

// A build whose console needs the terminal on its standard streams answers
// on that console in a test of its own (wine_test).
INSTANTIATE_TEST_SUITE_P(
    Program, OverwriteKeyTest,
    ::testing::Combine(::testing::ValuesIn(controlling_terminal_launchers()),
                       ::testing::ValuesIn(Keys())),
    KeyName);

class OverwriteTest : public ::testing::TestWithParam<Launcher> {
 protected:
  TempDir dir_;
};

// Without a controlling terminal nothing can answer: a "y" on standard input
// does not, and the run must not wait for one.
TEST_P(OverwriteTest, WithoutTerminalDeclinesAtOnce) {
  make_worked_example(dir_, "bos.pdl");
  write_file(dir_ / "bos.pdx", kOldBank);
  RunResult result = run({.argv = GetParam().command({"bos"}),
                          .cwd = dir_.path().string(),
                          .input = "y",
                          .timeout = std::chrono::milliseconds(3000)});
  ASSERT_FALSE(result.timed_out);
  ASSERT_TRUE(result.exited) << result.describe();
  EXPECT_LT(result.elapsed.count(), 1500) << "the question waited";
  EXPECT_EQ(result.exit_status, 255);
  EXPECT_PRED_FORMAT2(SameConsole,
                      console_bytes(std::string(text::kBanner) +
                                    std::string(text::kNotOverwritten)),
                      result.out);
  EXPECT_PRED_FORMAT2(SameConsole,
                      console_bytes(text::overwrite_prompt("bos.pdx") +
                                    std::string(text::kAfterAnswer)),
                      result.err);
  EXPECT_PRED_FORMAT2(SameBytes, kOldBank,
                      read_file(dir_ / "bos.pdx").value_or("<none>"));
}

// The streams that are the terminal show each text in UTF-8 under a UTF-8
// locale and as the Shift_JIS bytes under any other; a stream in a file keeps
// the Shift_JIS bytes whatever the locale. File names pass byte for byte.
struct TerminalCase {
  std::string name;
  std::string locale;  // LC_ALL
  Capture out;
  Capture err;
  bool utf8;  // what the streams on the terminal show
  std::vector<std::string> environment = {};
};

void PrintTo(const TerminalCase& c, std::ostream* os) { *os << c.name; }

std::vector<TerminalCase> TerminalCases() {
  // A locale this system has not generated: its name alone says what the
  // terminal shows, taken from the first of LC_ALL, LC_CTYPE and LANG that
  // is set and not empty, as the C library would take it.
  const std::string missing_utf8 = "xx_XX.UTF-8@mod";
  const std::string missing_latin = "xx_XX.ISO-8859-1";
  return {
      {"utf8_locale", "C.UTF-8", Capture::kTerminal, Capture::kTerminal, true},
      {"c_locale", "C", Capture::kTerminal, Capture::kTerminal, false},
      {"missing_utf8_locale", "xx_XX.utf8", Capture::kTerminal,
       Capture::kTerminal, true},
      {"missing_utf8_locale_in_lang",
       "",
       Capture::kTerminal,
       Capture::kTerminal,
       true,
       {"LC_CTYPE=", "LANG=" + missing_utf8}},
      {"missing_utf8_locale_in_lc_ctype",
       "",
       Capture::kTerminal,
       Capture::kTerminal,
       true,
       {"LC_CTYPE=" + missing_utf8, "LANG=" + missing_latin}},
      {"missing_other_locale_before_utf8",
       "",
       Capture::kTerminal,
       Capture::kTerminal,
       false,
       {"LC_CTYPE=" + missing_latin, "LANG=" + missing_utf8}},
      {"installed_c_locale_before_missing_utf8",
       "C",
       Capture::kTerminal,
       Capture::kTerminal,
       false,
       {"LANG=" + missing_utf8}},
      {"utf8_locale_output_in_a_file", "C.UTF-8", Capture::kFile,
       Capture::kTerminal, true},
      {"utf8_locale_error_in_a_file", "C.UTF-8", Capture::kTerminal,
       Capture::kFile, true},
      {"missing_utf8_locale_error_in_a_file", missing_utf8, Capture::kTerminal,
       Capture::kFile, true},
  };
}

using TerminalParam = std::tuple<Launcher, TerminalCase>;

class TerminalTextTest : public ::testing::TestWithParam<TerminalParam> {
 protected:
  TempDir dir_;
  Pty pty_;
};

TEST_P(TerminalTextTest, ShowsEachTextInTheTerminalsEncoding) {
  const auto& [launcher, c] = GetParam();
  // Its bytes are not UTF-8: a name converted on the way would show.
  const std::string sjis_name = to_cp932("音.pcm");
  const std::string kName = "{name}";
  write_file(dir_ / "a.pcm", kA);
  write_file(dir_ / sjis_name, kB);
  write_file(dir_ / "bos.pdl", "0 = a.pcm\n1 = " + sjis_name + "\n");
  write_file(dir_ / "bos.pdx", kOldBank);
  termios mode = terminal_mode(pty_.slave());
  mode.c_oflag &= ~static_cast<tcflag_t>(OPOST);  // the screen shows the bytes
  ASSERT_EQ(tcsetattr(pty_.slave(), TCSANOW, &mode), 0);

  Child child({.argv = launcher.command({"bos"}),
               .cwd = dir_.path().string(),
               .out = c.out,
               .err = c.err,
               .controlling_terminal = pty_.slave(),
               .locale = c.locale,
               .environment = c.environment});
  EXPECT_TRUE(eventually(
      [&] {
        return (terminal_mode(pty_.slave()).c_lflag & ICANON) == 0 ||
               !child.running();
      },
      std::chrono::milliseconds(3000)));
  pty_.type("y");
  RunResult result = child.finish();
  ASSERT_FALSE(result.timed_out);
  ASSERT_TRUE(result.exited) << result.describe();
  EXPECT_EQ(result.exit_status, 0) << result.describe();
  const std::string screen = pty_.read_screen(100);

  // Everything printed, in the order of the print calls.
  enum Where { kOut, kErr, kEcho };
  const std::vector<std::pair<Where, std::string>> printed = {
      {kOut, std::string(text::kBanner)},
      {kErr, text::overwrite_prompt("bos.pdx")},
      {kEcho, "y"},
      {kErr, std::string(text::kAfterAnswer)},
      {kOut, prefix("a.pcm") + "done.\n" + prefix(kName) + "done.\n"},
      {kErr, std::string(text::kFinished)},
  };
  std::string expected_screen;
  std::string expected_out;
  std::string expected_err;
  for (const auto& [where, text] : printed) {
    const bool shown =
        where == kEcho || (where == kOut ? c.out : c.err) == Capture::kTerminal;
    std::string bytes =
        shown && c.utf8 ? with_carriage_returns(text) : console_bytes(text);
    for (auto at = bytes.find(kName); at != std::string::npos;
         at = bytes.find(kName)) {
      bytes.replace(at, kName.size(), sjis_name);
    }
    (shown           ? expected_screen
     : where == kOut ? expected_out
                     : expected_err) += bytes;
  }
  EXPECT_PRED_FORMAT2(SameBytes, expected_screen, screen);
  EXPECT_PRED_FORMAT2(SameConsole, expected_out, result.out);
  EXPECT_PRED_FORMAT2(SameConsole, expected_err, result.err);
}

std::string TerminalName(const ::testing::TestParamInfo<TerminalParam>& p) {
  return std::get<0>(p.param).name + "_" + std::get<1>(p.param).name;
}

INSTANTIATE_TEST_SUITE_P(
    Program, TerminalTextTest,
    ::testing::Combine(::testing::ValuesIn(controlling_terminal_launchers()),
                       ::testing::ValuesIn(TerminalCases())),
    TerminalName);

// A bank on a device that takes no byte: the run must end with a failure
// from the catalogue, never with the finished message.
struct FullDeviceList {
  std::string name;
  std::string list;
};

void PrintTo(const FullDeviceList& list, std::ostream* os) { *os << list.name; }

using FullDeviceParam = std::tuple<Launcher, FullDeviceList>;

class FullDeviceTest : public ::testing::TestWithParam<FullDeviceParam> {
 protected:
  TempDir dir_;
  Pty pty_;
};

std::string FullDeviceName(
    const ::testing::TestParamInfo<FullDeviceParam>& param) {
  return std::get<0>(param.param).name + "_" + std::get<1>(param.param).name;
}

TEST_P(FullDeviceTest, ReportsTheFailedWrite) {
  const auto& [launcher, list] = GetParam();
  if (!launcher.posix_file_system) GTEST_SKIP() << "needs /dev/full";
  write_file(dir_ / "a.pcm", kA);
  write_file(dir_ / "b.pcm", kB);
  write_file(dir_ / "full.pdl", list.list);
  fs::create_symlink("/dev/full", dir_ / "full.pdx");

  // /dev/full can be read, so the existence probe finds it and asks.
  Child child({.argv = launcher.command({"full"}),
               .cwd = dir_.path().string(),
               .controlling_terminal = pty_.slave()});
  const std::string prompt = console_bytes(text::overwrite_prompt("full.pdx")) +
                             console_bytes(text::kAfterAnswer);
  EXPECT_TRUE(
      child.wait_for_err(console_bytes(text::overwrite_prompt("full.pdx"))));
  EXPECT_TRUE(eventually(
      [&] {
        return (terminal_mode(pty_.slave()).c_lflag & ICANON) == 0 ||
               !child.running();
      },
      std::chrono::milliseconds(3000)));
  pty_.type("y");
  RunResult result = child.finish();
  ASSERT_FALSE(result.timed_out);
  ASSERT_TRUE(result.exited) << result.describe();
  EXPECT_EQ(result.exit_status, 255) << result.describe();
  ASSERT_EQ(result.err.substr(0, prompt.size()), prompt) << result.describe();
  const std::string failure = result.err.substr(prompt.size());
  const std::vector<std::string> failures = {console_bytes(text::kWriteFailed),
                                             console_bytes(text::kSeekFailed),
                                             console_bytes(text::kDiskFull)};
  EXPECT_NE(std::find(failures.begin(), failures.end(), failure),
            failures.end())
      << "after the answer, stderr held \"" << readable_console(failure)
      << "\", not one failure message";
  EXPECT_EQ(result.out.substr(0, console_bytes(text::kBanner).size()),
            console_bytes(text::kBanner));
}

INSTANTIATE_TEST_SUITE_P(
    Program, FullDeviceTest,
    ::testing::Combine(::testing::ValuesIn(test_launchers()),
                       ::testing::Values(FullDeviceList{"worked_example",
                                                        worked::kList},
                                         FullDeviceList{"empty_list", ""})),
    FullDeviceName);

// Whether the terminal runs in the question's mode, waiting up to three
// seconds for it.
bool question_waits(Child& child, const Pty& pty) {
  return eventually(
             [&] {
               return (terminal_mode(pty.slave()).c_lflag & kWaitBits) == 0 ||
                      !child.running();
             },
             std::chrono::milliseconds(3000)) &&
         child.running();
}

// The process state letter from /proc: T when stopped.
char process_state(pid_t pid) {
  std::string stat =
      read_file("/proc/" + std::to_string(pid) + "/stat").value_or("");
  std::size_t paren = stat.rfind(')');
  return paren == std::string::npos || paren + 2 >= stat.size()
             ? '?'
             : stat[paren + 2];
}

// The program's own build, run as a shell's job: wine stands between the
// program and the signals.
class QuestionJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    make_worked_example(dir_, "bos.pdl");
    write_file(dir_ / "bos.pdx", kOldBank);
    before_ = terminal_mode(pty_.slave());
  }

  RunOptions options() const {
    return {.argv = test_launchers().front().command({"bos"}),
            .cwd = dir_.path().string(),
            .controlling_terminal = pty_.slave(),
            .as_job = true};
  }

  TempDir dir_;
  Pty pty_;
  termios before_{};
};

class QuestionSignalTest : public QuestionJobTest,
                           public ::testing::WithParamInterface<int> {};

// A signal that ends the run while the question waits: the terminal gets
// its mode back, and the process still dies by that signal.
TEST_P(QuestionSignalTest, EndingSignalGivesTheTerminalBack) {
  const int sig = GetParam();
  Child child(options());
  ASSERT_TRUE(
      child.wait_for_err(console_bytes(text::overwrite_prompt("bos.pdx"))));
  ASSERT_TRUE(question_waits(child, pty_)) << "the question's mode never came";
  ASSERT_EQ(kill(child.pid(), sig), 0);
  RunResult result = child.finish();
  ASSERT_FALSE(result.timed_out);
  ASSERT_TRUE(result.signaled) << result.describe();
  EXPECT_EQ(result.signal, sig) << result.describe();
  expect_same_mode(before_, terminal_mode(pty_.slave()));
  EXPECT_PRED_FORMAT2(SameBytes, kOldBank,
                      read_file(dir_ / "bos.pdx").value_or("<none>"));
}

std::string SignalName(const ::testing::TestParamInfo<int>& param) {
  return sigabbrev_np(param.param);
}

INSTANTIATE_TEST_SUITE_P(Program, QuestionSignalTest,
                         ::testing::Values(SIGINT, SIGUSR1, SIGTERM, SIGHUP),
                         SignalName);

// A stop gives the terminal back for as long as the run is stopped; once
// continued, the question waits in its own mode again and still answers.
TEST_F(QuestionJobTest, StopGivesTheTerminalBackUntilContinued) {
  const std::string prompt = console_bytes(text::overwrite_prompt("bos.pdx"));
  Child child(options());
  ASSERT_TRUE(child.wait_for_err(prompt));
  ASSERT_TRUE(question_waits(child, pty_)) << "the question's mode never came";
  for (int sig : {SIGTSTP, SIGTTIN, SIGTTOU}) {
    SCOPED_TRACE(sigabbrev_np(sig));
    ASSERT_EQ(kill(child.pid(), sig), 0);
    EXPECT_TRUE(eventually([&] { return process_state(child.pid()) == 'T'; },
                           std::chrono::milliseconds(3000)))
        << "not stopped";
    expect_same_mode(before_, terminal_mode(pty_.slave()));
    ASSERT_EQ(kill(child.pid(), SIGCONT), 0);
    ASSERT_TRUE(question_waits(child, pty_)) << "the question's mode is gone";
  }
  pty_.type("y");
  RunResult result = child.finish();
  ASSERT_FALSE(result.timed_out);
  ASSERT_TRUE(result.exited) << result.describe();
  EXPECT_EQ(result.exit_status, 0) << result.describe();
  EXPECT_PRED_FORMAT2(SameConsole,
                      prompt + console_bytes(text::kAfterAnswer) +
                          console_bytes(text::kFinished),
                      result.err);
  EXPECT_PRED_FORMAT2(SameBytes, worked::bank(),
                      read_file(dir_ / "bos.pdx").value_or("<none>"));
  EXPECT_PRED_FORMAT2(SameBytes, "y", pty_.read_screen(100));
  expect_same_mode(before_, terminal_mode(pty_.slave()));
}

// A bank named in another letter case is the one asked about and replaced;
// no second bank appears beside it.
class UpperCaseBankTest : public ::testing::TestWithParam<Launcher> {
 protected:
  TempDir dir_;
  Pty pty_;
};

TEST_P(UpperCaseBankTest, IsAskedAboutAndReplaced) {
  make_worked_example(dir_, "BOS.PDL");
  write_file(dir_ / "BOS.PDX", kOldBank);
  Child child({.argv = GetParam().command({"bos"}),
               .cwd = dir_.path().string(),
               .controlling_terminal = pty_.slave()});
  const std::string prompt = console_bytes(text::overwrite_prompt("bos.pdx"));
  ASSERT_TRUE(child.wait_for_err(prompt))
      << readable_console(child.err_so_far());
  ASSERT_TRUE(question_waits(child, pty_));
  pty_.type("y");
  RunResult result = child.finish();
  ASSERT_TRUE(result.exited) << result.describe();
  EXPECT_EQ(result.exit_status, 0) << result.describe();
  EXPECT_PRED_FORMAT2(SameConsole, console_bytes(worked_out()), result.out);
  EXPECT_PRED_FORMAT2(SameBytes, worked::bank(),
                      read_file(dir_ / "BOS.PDX").value_or("<none>"));
  EXPECT_FALSE(fs::exists(dir_ / "bos.pdx"));
}

INSTANTIATE_TEST_SUITE_P(Program, UpperCaseBankTest,
                         ::testing::ValuesIn(controlling_terminal_launchers()),
                         LauncherName);

// A sample hard-linked to the bank can only be the emptied bank once the
// question is answered Y; it is refused, not copied into itself.
TEST_P(OverwriteTest, SampleHardLinkedToTheBankIsRefused) {
  if (!GetParam().console_is_controlling_terminal) {
    GTEST_SKIP() << "answers on the controlling terminal";
  }
  write_file(dir_ / "a.pcm", kA);
  write_file(dir_ / "b.pcm", kB);
  write_file(dir_ / "bos.pdl", "0 = a.pcm\n1 = self.pcm\n2 = b.pcm\n");
  write_file(dir_ / "bos.pdx", kOldBank);
  fs::create_hard_link(dir_ / "bos.pdx", dir_ / "self.pcm");
  Pty pty;
  pty.type("y");
  RunResult result = run({.argv = GetParam().command({"bos"}),
                          .cwd = dir_.path().string(),
                          .controlling_terminal = pty.slave()});
  ASSERT_TRUE(result.exited) << result.describe();
  EXPECT_EQ(result.exit_status, 255);
  EXPECT_PRED_FORMAT2(
      SameConsole,
      console_bytes(std::string(text::kBanner) + prefix("a.pcm") + "done.\n" +
                    prefix("self.pcm")),
      result.out);
  EXPECT_PRED_FORMAT2(SameConsole,
                      console_bytes(text::overwrite_prompt("bos.pdx") +
                                    std::string(text::kAfterAnswer) +
                                    text::sample_is_bank("self.pcm")),
                      result.err);
  BankImage image;
  image.set_slot(0, image.append(kA));
  EXPECT_PRED_FORMAT2(SameBytes, image.bytes(),
                      read_file(dir_ / "bos.pdx").value_or("<none>"));
}

// Two runs on one bank. The first is held at a point where it owns the bank
// (waiting at its question, or between two lines of a list it reads from a
// FIFO); the second, with a Y already typed for a question of its own, must
// end at once without asking or touching the bank; the first then finishes
// with exactly its own bank.
enum class HoldFirstRun { kAtItsQuestion, kBetweenListLines };

struct SecondRunCase {
  std::string name;
  HoldFirstRun hold;
};

void PrintTo(const SecondRunCase& c, std::ostream* os) { *os << c.name; }

using SecondRunParam = std::tuple<Launcher, SecondRunCase>;

class SecondRunTest : public ::testing::TestWithParam<SecondRunParam> {
 protected:
  // The program's console: a terminal of its own, which is also its standard
  // input and output where the console needs that.
  RunOptions on_terminal(const Launcher& launcher,
                         const std::vector<std::string>& args, const Pty& pty,
                         bool terminal_as_console) {
    return {.argv = launcher.command(args),
            .cwd = dir_.path().string(),
            .controlling_terminal = pty.slave(),
            .terminal_as_console = terminal_as_console ||
                                   !launcher.console_is_controlling_terminal,
            .timeout = std::chrono::milliseconds(20000)};
  }

  TempDir dir_;
};

// The write end of a FIFO, once a reader has opened it; -1 if none does.
int open_fifo_writer(const fs::path& fifo, Child& child) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline && child.running()) {
    int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
      return fd;
    }
    if (errno != ENXIO) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return -1;
}

void write_text(int fd, const std::string& text) {
  ASSERT_EQ(write(fd, text.data(), text.size()),
            static_cast<ssize_t>(text.size()));
}

TEST_P(SecondRunTest, FindsTheBankInUse) {
  const auto& [launcher, c] = GetParam();
  write_file(dir_ / "a.pcm", kA);
  write_file(dir_ / "b.pcm", kB);
  // The second run's list: a name of its own, the same bank.
  write_file(dir_ / "bos.txt", "0 = b.pcm\n");
  const bool from_fifo = c.hold == HoldFirstRun::kBetweenListLines;
  if (from_fifo && !launcher.posix_file_system) {
    GTEST_SKIP() << "wine reads a FIFO without waiting for its writer";
  }
  if (from_fifo) {
    ASSERT_EQ(mkfifo((dir_ / "bos.pdl").c_str(), 0666), 0);
  } else {
    write_file(dir_ / "bos.pdl", worked::kList);
    write_file(dir_ / "bos.pdx", kOldBank);
  }

  Pty first_terminal;
  Child first(on_terminal(launcher, {"bos"}, first_terminal, from_fifo));
  int list = -1;
  if (from_fifo) {
    list = open_fifo_writer(dir_ / "bos.pdl", first);
    ASSERT_GE(list, 0) << "the first run never opened its list";
    write_text(list, "0 = a.pcm\n");
    // Progress goes unbuffered to a terminal: once the first entry shows
    // as done, the run has its bank and waits for the next line.
    std::string screen;
    EXPECT_TRUE(eventually(
        [&] {
          screen += first_terminal.read_screen(20);
          return screen.find("done.") != std::string::npos || !first.running();
        },
        std::chrono::milliseconds(15000)));
    ASSERT_NE(screen.find("done."), std::string::npos)
        << "screen: \"" << readable_console(screen) << "\"";
  } else {
    ASSERT_TRUE(
        first.wait_for_err(console_bytes(text::overwrite_prompt("bos.pdx"))))
        << "stderr so far: \"" << readable_console(first.err_so_far()) << "\"";
  }
  ASSERT_TRUE(first.running());

  Pty second_terminal;
  second_terminal.type("y");
  RunResult second =
      run(on_terminal(launcher, {"bos.txt"}, second_terminal, false));
  ASSERT_TRUE(second.exited) << second.describe();
  EXPECT_EQ(second.exit_status, 255) << second.describe();
  EXPECT_PRED_FORMAT2(SameConsole, console_bytes(text::bank_in_use("bos.pdx")),
                      second.err);
  if (launcher.console_is_controlling_terminal) {
    EXPECT_PRED_FORMAT2(SameConsole, console_bytes(text::kBanner), second.out);
    EXPECT_PRED_FORMAT2(SameBytes, "y", second_terminal.pending_input())
        << "the second run read a key";
  }
  if (!from_fifo) {
    EXPECT_PRED_FORMAT2(SameBytes, kOldBank,
                        read_file(dir_ / "bos.pdx").value_or("<none>"))
        << "the bank changed before the first run's answer";
  }

  if (from_fifo) {
    write_text(list, "1 = b.pcm\n5 = a.pcm\n");
    close(list);
  } else {
    first_terminal.type("y");
  }
  RunResult result = first.finish();
  ASSERT_TRUE(result.exited) << result.describe();
  EXPECT_EQ(result.exit_status, 0) << result.describe();
  EXPECT_PRED_FORMAT2(SameBytes, worked::bank(),
                      read_file(dir_ / "bos.pdx").value_or("<none>"));
}

std::string SecondRunName(
    const ::testing::TestParamInfo<SecondRunParam>& param) {
  return std::get<0>(param.param).name + "_" + std::get<1>(param.param).name;
}

INSTANTIATE_TEST_SUITE_P(
    Program, SecondRunTest,
    ::testing::Combine(
        ::testing::ValuesIn(test_launchers()),
        ::testing::Values(SecondRunCase{"first_at_its_question",
                                        HoldFirstRun::kAtItsQuestion},
                          SecondRunCase{"first_between_list_lines",
                                        HoldFirstRun::kBetweenListLines})),
    SecondRunName);

INSTANTIATE_TEST_SUITE_P(Program, OverwriteTest,
                         ::testing::ValuesIn(test_launchers()), LauncherName);

}  // namespace
}  // namespace adpack_test
