// The built program, run in a scratch directory: the bank file and both
// console streams must come out exactly as the layout and the catalogue say.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
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
using namespace std::string_literals;
using text::prefix;

const std::string kA = sample_bytes(100, 1);
const std::string kB = sample_bytes(10, 2);
const std::string kC = sample_bytes(600, 3);  // more than one stream buffer
const std::string kBig = sample_bytes(70000, 4);
const std::string kJunk(1500, '\xEE');  // an old bank, larger than any new
const std::string kWorkedList = "0 = a.pcm\n1 = b.pcm\n5 = a.pcm\n";

// One entry of the scratch directory before the run.
struct Node {
  enum Kind { kFile, kDir, kSymlink, kHardLink, kFifo };
  Kind kind;
  std::string path;
  std::string data;  // a file's bytes, or what a link points to
};
Node File(std::string path, std::string data) {
  return {Node::kFile, std::move(path), std::move(data)};
}
Node Dir(std::string path) { return {Node::kDir, std::move(path), ""}; }
Node Symlink(std::string path, std::string target) {
  return {Node::kSymlink, std::move(path), std::move(target)};
}
Node HardLink(std::string path, std::string existing) {
  return {Node::kHardLink, std::move(path), std::move(existing)};
}
Node Fifo(std::string path) { return {Node::kFifo, std::move(path), ""}; }

std::vector<Node> Samples(std::string list, std::string list_name = "bos.pdl") {
  return {File("a.pcm", kA), File("b.pcm", kB), File("c.pcm", kC),
          File("z.pcm", ""), File(std::move(list_name), std::move(list))};
}

// Files beside the ones a case starts from: a bank, a link, a FIFO.
std::vector<Node> With(std::vector<Node> files, std::vector<Node> more) {
  files.insert(files.end(), more.begin(), more.end());
  return files;
}

// The bank the run must leave: the samples in the order they were copied
// (paths from the scratch root; a directory counts as empty) and the slots in
// the order they were written, each naming an index into data.
struct Bank {
  std::vector<std::string> data;
  std::vector<std::pair<int, int>> slots;
  std::string path = "bos.pdx";
};

struct Case {
  std::string name;
  std::vector<Node> files;
  std::vector<std::string> args;
  int status;
  std::string out;  // after the banner
  std::string err;
  std::optional<Bank> bank;  // none: every file stays as it was
  std::string cwd = "";
  bool posix_only = false;
  // The names break rules that Windows has and a POSIX file system does not.
  bool windows_only = false;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

void make_tree(const TempDir& dir, const std::vector<Node>& nodes) {
  for (const Node& node : nodes) {
    fs::path path = dir / node.path;
    switch (node.kind) {
      case Node::kFile:
        write_file(path, node.data);
        break;
      case Node::kDir:
        fs::create_directories(path);
        break;
      case Node::kSymlink:
        fs::create_symlink(node.data, path);
        break;
      case Node::kHardLink:
        fs::create_hard_link(dir / node.data, path);
        break;
      case Node::kFifo:
        if (mkfifo(path.c_str(), 0666) != 0) {
          throw std::runtime_error("mkfifo " + path.string());
        }
        break;
    }
  }
}

std::string build_bank(const Case& c, const Bank& bank) {
  BankImage image;
  std::vector<BankImage::Placed> placed;
  for (const std::string& sample : bank.data) {
    auto node = std::find_if(c.files.begin(), c.files.end(),
                             [&](const Node& n) { return n.path == sample; });
    if (node == c.files.end()) {
      throw std::logic_error("case " + c.name + " places no file " + sample);
    }
    placed.push_back(image.append(node->kind == Node::kDir ? "" : node->data));
  }
  for (auto [slot, index] : bank.slots) {
    image.set_slot(slot, placed.at(static_cast<std::size_t>(index)));
  }
  return image.bytes();
}

// Name derivation: an empty list under the derived list name must give an
// empty bank under the derived bank name and touch nothing else. Both names
// are as the program sees them, from the working directory.
Case NameRow(std::string name, std::string arg, std::string list,
             std::string bank, std::string cwd = "", bool posix_only = false) {
  std::vector<Node> files;
  if (!cwd.empty()) files.push_back(Dir(cwd));
  files.push_back(
      File((fs::path(cwd) / fs::path(list)).lexically_normal().string(), ""));
  return Case{.name = std::move(name),
              .files = std::move(files),
              .args = {std::move(arg)},
              .status = 0,
              .out = "",
              .err = std::string(text::kFinished),
              .bank = Bank{.data = {}, .slots = {}, .path = std::move(bank)},
              .cwd = std::move(cwd),
              .posix_only = posix_only};
}

// Comment lines padded so that a carriage return falls on the last byte of
// the first and of the second 512-byte block of the file.
std::string list_with_cr_at_block_ends() {
  std::string list = "*" + std::string(500, 'x') + "\n";
  list += "0 = a.pcm\r\n";
  list += "*" + std::string(503, 'y') + "\n";
  list += "1 = b\r.pcm\n";
  if (list[511] != '\r' || list[1023] != '\r') {
    throw std::logic_error("padding of the block-boundary list is off");
  }
  return list;
}

std::vector<Case> Cases() {
  const std::string out_ab =
      prefix("a.pcm") + "done.\n" + prefix("b.pcm") + "done.\n";
  const std::string finished(text::kFinished);
  const std::string long_name(253, 'n');
  const std::string sjis_name = to_cp932("ソ能　表.pcm");
  const std::string sjis_arg = to_cp932("x.yソ");
  std::vector<Case> cases = {
      {.name = "worked_example",
       .files = Samples(kWorkedList),
       .args = {"bos"},
       .status = 0,
       .out = out_ab + prefix("a.pcm"),
       .err = finished,
       .bank =
           Bank{.data = {"a.pcm", "b.pcm"}, .slots = {{0, 0}, {1, 1}, {5, 0}}}},
      {.name = "empty_list",
       .files = Samples(""),
       .args = {"bos"},
       .status = 0,
       .out = "",
       .err = finished,
       .bank = Bank{}},
      {.name = "list_of_only_ctrl_z",
       .files = Samples("\x1a"
                        "0 = a.pcm\n"),
       .args = {"bos"},
       .status = 0,
       .out = "",
       .err = finished,
       .bank = Bank{}},
      {.name = "lines_not_beginning_with_a_digit_are_skipped",
       .files = Samples("\xEF\xBB\xBF"
                        "0 = a.pcm\n"
                        "* 1 = a.pcm\n"
                        "\n"
                        " 2 = a.pcm\n"
                        "\t3 = a.pcm\n"
                        "+4 = a.pcm\n"
                        "-5 = a.pcm\n"
                        "= 6 a.pcm\n" +
                        to_cp932("７ = a.pcm\n") + "8 = b.pcm * 9 = a.pcm\n"),
       .args = {"bos"},
       .status = 0,
       .out = prefix("b.pcm") + "done.\n",
       .err = finished,
       .bank = Bank{.data = {"b.pcm"}, .slots = {{8, 0}}}},
      {.name = "number_and_name_fields",
       .files = Samples("12abc = a.pcm\n"
                        "007 = b.pcm\n"
                        "1.5 = c.pcm\n"
                        "3 == a=.pcm\n"
                        "2 b . p c m\n"
                        "4*2 = a.pcm\n"
                        "10\t= b.pcm\n"),
       .args = {"bos"},
       .status = 0,
       .out = out_ab + prefix("c.pcm") + "done.\n" + prefix("a.pcm") +
              prefix("b.pcm") + prefix("a.pcm") + prefix("b.pcm"),
       .err = finished,
       .bank =
           Bank{
               .data = {"a.pcm", "b.pcm", "c.pcm"},
               .slots =
                   {{12, 0}, {7, 1}, {1, 2}, {3, 0}, {2, 1}, {4, 0}, {10, 1}}}},
      // Windows allows no tab in a name: windows_rejects_sample_name_tab.
      {.name = "tabs_stay_in_the_name",
       .files = {File("\ta.pcm\t", kA), File("bos.pdl", "3 =\ta.pcm\t\n")},
       .args = {"bos"},
       .status = 0,
       .out = prefix("\ta.pcm\t") + "done.\n",
       .err = finished,
       .bank = Bank{.data = {"\ta.pcm\t"}, .slots = {{3, 0}}},
       .posix_only = true},
      {.name = "zero_byte_ends_the_line",
       .files = Samples("1=a.pcm\0xyz = b.pcm\n2=b.pcm\n"s),
       .args = {"bos"},
       .status = 0,
       .out = out_ab,
       .err = finished,
       .bank = Bank{.data = {"a.pcm", "b.pcm"}, .slots = {{1, 0}, {2, 1}}}},
      {.name = "slot_number_wraps_into_range",
       .files = Samples("4294967297 = a.pcm\n"),
       .args = {"bos"},
       .status = 0,
       .out = prefix("a.pcm") + "done.\n",
       .err = finished,
       .bank = Bank{.data = {"a.pcm"}, .slots = {{1, 0}}}},
      {.name = "last_slot",
       .files = Samples("95 = a.pcm\n0 = b.pcm\n"),
       .args = {"bos"},
       .status = 0,
       .out = out_ab,
       .err = finished,
       .bank = Bank{.data = {"a.pcm", "b.pcm"}, .slots = {{95, 0}, {0, 1}}}},
      {.name = "shared_entry_then_new_sample_share_a_line",
       .files = Samples("0 = a.pcm\n1 = a.pcm\n2 = b.pcm\n"),
       .args = {"bos"},
       .status = 0,
       .out = prefix("a.pcm") + "done.\n" + prefix("a.pcm") + prefix("b.pcm") +
              "done.\n",
       .err = finished,
       .bank =
           Bank{.data = {"a.pcm", "b.pcm"}, .slots = {{0, 0}, {1, 0}, {2, 1}}}},
      {.name = "zero_length_sample",
       .files = Samples("0 = z.pcm\n1 = a.pcm\n2 = z.pcm\n"),
       .args = {"bos"},
       .status = 0,
       .out = prefix("z.pcm") + "done.\n" + prefix("a.pcm") + "done.\n" +
              prefix("z.pcm"),
       .err = finished,
       .bank =
           Bank{.data = {"z.pcm", "a.pcm"}, .slots = {{0, 0}, {1, 1}, {2, 0}}}},
      {.name = "slot_given_twice",
       .files = Samples("4 = a.pcm\n4 = b.pcm\n"),
       .args = {"bos"},
       .status = 0,
       .out = out_ab,
       .err = finished,
       .bank = Bank{.data = {"a.pcm", "b.pcm"}, .slots = {{4, 0}, {4, 1}}}},
      {.name = "each_spelling_of_a_path_is_its_own_sample",
       .files = Samples("0 = a.pcm\n1 = ./a.pcm\n2 = a.pcm\n"),
       .args = {"bos"},
       .status = 0,
       .out = prefix("a.pcm") + "done.\n" + prefix("./a.pcm") + "done.\n" +
              prefix("a.pcm"),
       .err = finished,
       .bank =
           Bank{.data = {"a.pcm", "a.pcm"}, .slots = {{0, 0}, {1, 1}, {2, 0}}}},
      {.name = "samples_are_found_from_the_working_directory",
       .files = {File("a.pcm", kA), File("sub.d/a.pcm", kB),
                 File("sub.d/bos.pdl", "0 = a.pcm\n")},
       .args = {"sub.d/bos"},
       .status = 0,
       .out = prefix("a.pcm") + "done.\n",
       .err = finished,
       .bank =
           Bank{.data = {"a.pcm"}, .slots = {{0, 0}}, .path = "sub.d/bos.pdx"}},
      {.name = "large_samples",
       .files = {File("big.pcm", kBig), File("c.pcm", kC),
                 File("bos.pdl", "0 = big.pcm\n1 = c.pcm\n2 = big.pcm\n")},
       .args = {"bos"},
       .status = 0,
       .out = prefix("big.pcm") + "done.\n" + prefix("c.pcm") + "done.\n" +
              prefix("big.pcm"),
       .err = finished,
       .bank = Bank{.data = {"big.pcm", "c.pcm"},
                    .slots = {{0, 0}, {1, 1}, {2, 0}}}},
      {.name = "last_line_without_line_feed",
       .files = Samples("0 = a.pcm\n1 = b.pcm"),
       .args = {"bos"},
       .status = 0,
       .out = out_ab,
       .err = finished,
       .bank = Bank{.data = {"a.pcm", "b.pcm"}, .slots = {{0, 0}, {1, 1}}}},
      {.name = "crlf_list",
       .files = Samples("0 = a.pcm\r\n1 = b.pcm\r\n"),
       .args = {"bos"},
       .status = 0,
       .out = out_ab,
       .err = finished,
       .bank = Bank{.data = {"a.pcm", "b.pcm"}, .slots = {{0, 0}, {1, 1}}}},
      {.name = "lone_carriage_returns_vanish",
       .files = Samples("0 = a\r.pcm\n1 = b.pcm\r"),
       .args = {"bos"},
       .status = 0,
       .out = out_ab,
       .err = finished,
       .bank = Bank{.data = {"a.pcm", "b.pcm"}, .slots = {{0, 0}, {1, 1}}}},
      {.name = "carriage_returns_at_block_ends",
       .files = Samples(list_with_cr_at_block_ends()),
       .args = {"bos"},
       .status = 0,
       .out = out_ab,
       .err = finished,
       .bank = Bank{.data = {"a.pcm", "b.pcm"}, .slots = {{0, 0}, {1, 1}}}},
      {.name = "ctrl_z_after_a_line_feed_ends_the_data",
       .files = Samples("0 = a.pcm\n\x1a"
                        "1 = b.pcm\n"),
       .args = {"bos"},
       .status = 0,
       .out = prefix("a.pcm") + "done.\n",
       .err = finished,
       .bank = Bank{.data = {"a.pcm"}, .slots = {{0, 0}}}},
      {.name = "ctrl_z_ends_the_last_line",
       .files = Samples("0 = a.pcm\x1a"
                        "1 = b.pcm\n"),
       .args = {"bos"},
       .status = 0,
       .out = prefix("a.pcm") + "done.\n",
       .err = finished,
       .bank = Bank{.data = {"a.pcm"}, .slots = {{0, 0}}}},
      {.name = "long_line_is_read_in_pieces",
       .files = {File(long_name, kA), File("b.pcm", kB),
                 File("bos.pdl", "1=" + long_name + std::string(45, 'q') +
                                     "\n2 = b.pcm\n")},
       .args = {"bos"},
       .status = 0,
       .out = prefix(long_name) + "done.\n" + prefix("b.pcm") + "done.\n",
       .err = finished,
       .bank = Bank{.data = {long_name, "b.pcm"}, .slots = {{1, 0}, {2, 1}}}},
      {.name = "piece_of_a_long_line_beginning_with_a_digit",
       .files = Samples("*" + std::string(254, 'x') + "5=b.pcm\n"),
       .args = {"bos"},
       .status = 0,
       .out = prefix("b.pcm") + "done.\n",
       .err = finished,
       .bank = Bank{.data = {"b.pcm"}, .slots = {{5, 0}}}},
      {.name = "shift_jis_sample_name",
       .files = {File(sjis_name, kA),
                 File("bos.pdl", "7 = " + sjis_name + "\n")},
       .args = {"bos"},
       .status = 0,
       .out = prefix("ソ能　表.pcm") + "done.\n",
       .err = finished,
       .bank = Bank{.data = {sjis_name}, .slots = {{7, 0}}},
       .posix_only = true},

      // Wrong command lines touch nothing.
      {.name = "usage_without_argument",
       .files = With(Samples(kWorkedList), {File("bos.pdx", kJunk)}),
       .args = {},
       .status = 255,
       .out = std::string(text::kUsage),
       .err = "",
       .bank = std::nullopt},
      {.name = "usage_with_two_arguments",
       .files = Samples(kWorkedList),
       .args = {"bos", "bos"},
       .status = 255,
       .out = std::string(text::kUsage),
       .err = "",
       .bank = std::nullopt},

      // The list is opened first, so a bad list name costs no bank.
      {.name = "missing_list",
       .files = {},
       .args = {"bos"},
       .status = 255,
       .out = "",
       .err = text::open_failed("bos.pdl"),
       .bank = std::nullopt},
      {.name = "missing_list_keeps_the_existing_bank",
       .files = {File("bos.pdx", kJunk)},
       .args = {"bos"},
       .status = 255,
       .out = "",
       .err = text::open_failed("bos.pdl"),
       .bank = std::nullopt},
      {.name = "list_is_a_directory",
       .files = {Dir("bos.pdl"), File("bos.pdx", kJunk)},
       .args = {"bos"},
       .status = 255,
       .out = "",
       .err = text::open_failed("bos.pdl"),
       .bank = std::nullopt},
      {.name = "bank_is_a_directory",
       .files = With(Samples(kWorkedList), {Dir("bos.pdx")}),
       .args = {"bos"},
       .status = 255,
       .out = "",
       .err = text::open_failed("bos.pdx"),
       .bank = std::nullopt},

      // The bank never overwrites its own list.
      {.name = "list_named_like_its_bank",
       .files = Samples("0 = a.pcm\n", "x.pdx"),
       .args = {"x.pdx"},
       .status = 255,
       .out = "",
       .err = text::list_is_bank("x.pdx"),
       .bank = std::nullopt},
      {.name = "missing_list_named_like_its_bank",
       .files = {},
       .args = {"x.pdx"},
       .status = 255,
       .out = "",
       .err = text::open_failed("x.pdx"),
       .bank = std::nullopt},
      {.name = "bank_is_a_hard_link_to_the_list",
       .files = With(Samples(kWorkedList), {HardLink("bos.pdx", "bos.pdl")}),
       .args = {"bos"},
       .status = 255,
       .out = "",
       .err = text::list_is_bank("bos.pdx"),
       .bank = std::nullopt},
      {.name = "bank_is_a_symlink_to_the_list",
       .files = With(Samples(kWorkedList), {Symlink("bos.pdx", "bos.pdl")}),
       .args = {"bos"},
       .status = 255,
       .out = "",
       .err = text::list_is_bank("bos.pdx"),
       .bank = std::nullopt,
       .posix_only = true},

      // Nothing opened for the bank or a sample waits: a FIFO that no
      // program writes or reads ends the run at once or yields nothing.
      {.name = "bank_is_a_fifo",
       .files = With(Samples(kWorkedList), {Fifo("bos.pdx")}),
       .args = {"bos"},
       .status = 255,
       .out = "",
       .err = text::open_failed("bos.pdx"),
       .bank = std::nullopt},
      {.name = "bank_is_a_symlink_to_a_fifo",
       .files = With(Samples(kWorkedList),
                     {Fifo("pipe"), Symlink("bos.pdx", "pipe")}),
       .args = {"bos"},
       .status = 255,
       .out = "",
       .err = text::open_failed("bos.pdx"),
       .bank = std::nullopt},
      {.name = "fifo_as_sample",
       .files = With(Samples("0 = a.pcm\n1 = pipe.pcm\n2 = b.pcm\n"),
                     {Fifo("pipe.pcm")}),
       .args = {"bos"},
       .status = 0,
       .out = prefix("a.pcm") + "done.\n" + prefix("pipe.pcm") + "done.\n" +
              prefix("b.pcm") + "done.\n",
       .err = finished,
       .bank = Bank{.data = {"a.pcm", "pipe.pcm", "b.pcm"},
                    .slots = {{0, 0}, {1, 1}, {2, 2}}},
       // wine's size query finds no FIFO.
       .posix_only = true},

      // The bank is never read into itself, whatever the name that leads
      // to it; the entry is refused before its slot is written.
      {.name = "sample_named_like_its_bank",
       .files = Samples("0 = a.pcm\n1 = bos.pdx\n2 = b.pcm\n"),
       .args = {"bos"},
       .status = 255,
       .out = prefix("a.pcm") + "done.\n" + prefix("bos.pdx"),
       .err = text::sample_is_bank("bos.pdx"),
       .bank = Bank{.data = {"a.pcm"}, .slots = {{0, 0}}}},
      {.name = "sample_is_a_symlink_to_the_bank",
       .files = With(Samples("0 = a.pcm\n1 = self.pcm\n2 = b.pcm\n"),
                     {Symlink("self.pcm", "bos.pdx")}),
       .args = {"bos"},
       .status = 255,
       .out = prefix("a.pcm") + "done.\n" + prefix("self.pcm"),
       .err = text::sample_is_bank("self.pcm"),
       .bank = Bank{.data = {"a.pcm"}, .slots = {{0, 0}}}},
      {.name = "sample_is_the_bank_by_another_path",
       .files = Samples("0 = ./bos.pdx\n"),
       .args = {"bos"},
       .status = 255,
       .out = prefix("./bos.pdx"),
       .err = text::sample_is_bank("./bos.pdx"),
       .bank = Bank{}},

      // Failures keep what was written before them.
      {.name = "missing_sample",
       .files = Samples("0 = a.pcm\n1 = missing.pcm\n2 = b.pcm\n"),
       .args = {"bos"},
       .status = 255,
       .out = prefix("a.pcm") + "done.\n" + prefix("missing.pcm"),
       .err = text::not_found("missing.pcm"),
       .bank = Bank{.data = {"a.pcm"}, .slots = {{0, 0}}}},
      {.name = "empty_sample_name",
       .files = Samples("0 = a.pcm\n3 = * b.pcm\n"),
       .args = {"bos"},
       .status = 255,
       .out = prefix("a.pcm") + "done.\n" + prefix(""),
       .err = text::not_found(""),
       .bank = Bank{.data = {"a.pcm"}, .slots = {{0, 0}}}},
      {.name = "tab_does_not_end_the_number",
       .files = Samples("5\ta.pcm\n"),
       .args = {"bos"},
       .status = 255,
       .out = prefix(""),
       .err = text::not_found(""),
       .bank = Bank{}},
      {.name = "directory_as_sample",
       .files = With(Samples("0 = a.pcm\n3 = dir\n1 = b.pcm\n"), {Dir("dir")}),
       .args = {"bos"},
       .status = 255,
       .out = prefix("a.pcm") + "done.\n" + prefix("dir"),
       .err = text::open_failed("dir"),
       .bank = Bank{.data = {"a.pcm", "dir"}, .slots = {{0, 0}, {3, 1}}}},

      // Slots outside the table are refused before anything of the entry is
      // written.
      {.name = "slot_96",
       .files = Samples("0 = a.pcm\n96 = b.pcm\n1 = b.pcm\n"),
       .args = {"bos"},
       .status = 255,
       .out = prefix("a.pcm") + "done.\n" + prefix("b.pcm"),
       .err = text::slot_out_of_range("b.pcm", 96),
       .bank = Bank{.data = {"a.pcm"}, .slots = {{0, 0}}}},
      {.name = "slot_96_of_a_placed_sample",
       .files = Samples("0 = a.pcm\n96 = a.pcm\n"),
       .args = {"bos"},
       .status = 255,
       .out = prefix("a.pcm") + "done.\n" + prefix("a.pcm"),
       .err = text::slot_out_of_range("a.pcm", 96),
       .bank = Bank{.data = {"a.pcm"}, .slots = {{0, 0}}}},
      {.name = "slot_9999",
       .files = Samples("9999 = a.pcm\n"),
       .args = {"bos"},
       .status = 255,
       .out = prefix("a.pcm"),
       .err = text::slot_out_of_range("a.pcm", 9999),
       .bank = Bank{}},
      {.name = "slot_wrapping_to_the_lowest_negative",
       .files = Samples("2147483648 = a.pcm\n"),
       .args = {"bos"},
       .status = 255,
       .out = prefix("a.pcm"),
       .err = text::slot_out_of_range("a.pcm", -2147483647 - 1),
       .bank = Bank{}},
      {.name = "slot_wrapping_to_minus_one",
       .files = Samples("0 = b.pcm\n4294967295 = a.pcm\n"),
       .args = {"bos"},
       .status = 255,
       .out = prefix("b.pcm") + "done.\n" + prefix("a.pcm"),
       .err = text::slot_out_of_range("a.pcm", -1),
       .bank = Bank{.data = {"b.pcm"}, .slots = {{0, 0}}}},

      // Names of the list and the bank.
      NameRow("name_bos", "bos", "bos.pdl", "bos.pdx"),
      NameRow("name_upper_case", "BOS.PDL", "BOS.PDL", "BOS.pdx"),
      NameRow("name_other_extension", "bos.txt", "bos.txt", "bos.pdx"),
      // Windows drops a name's trailing dot.
      NameRow("name_trailing_dot", "bos.", "bos.", "bos.pdx", "", true),
      NameRow("name_last_dot_counts", "bos.pdl.txt", "bos.pdl.txt",
              "bos.pdl.pdx"),
      NameRow("name_in_dotted_directory", "sub.d/bos", "sub.d/bos.pdl",
              "sub.d/bos.pdx"),
      NameRow("name_with_extension_in_dotted_directory", "sub.d/bos.x",
              "sub.d/bos.x", "sub.d/bos.pdx"),
      NameRow("name_in_parent_directory", "../bos", "../bos.pdl", "../bos.pdx",
              "work"),
      NameRow("name_in_current_directory", "./bos", "./bos.pdl", "./bos.pdx"),
      NameRow("name_empty", "", ".pdl", ".pdx"),
      NameRow("name_after_backslash", "a.b\\c", "a.b\\c.pdl", "a.b\\c.pdx", "",
              true),
      NameRow("name_ending_in_backslash", "dir\\", "dir\\.pdl", "dir\\.pdx", "",
              true),
      NameRow("name_ending_in_backslash_byte_of_shift_jis", sjis_arg,
              sjis_arg + ".pdl", sjis_arg + ".pdx", "", true),
      NameRow("name_after_slash_after_backslash", "a.b\\c.d/e",
              "a.b\\c.d/e.pdl", "a.b\\c.d/e.pdx", "", true),
  };

  // Lists and names written for a system that ignores letter case: a name
  // that names nothing as written is found in another case, when only one
  // file matches. Each spelling is a sample of its own, as it is there.
  std::vector<Node> upper_case_list = Samples(kWorkedList, "BOS.PDL");
  std::vector<Node> spelled_samples =
      Samples("0 = A.PCM\n1 = Sub/B.pcm\n2 = a.pcm\n3 = A.PCM\n");
  spelled_samples.push_back(File("sub/b.pcm", kB));
  std::vector<Node> two_lists = {File("a.pcm", kA),
                                 File("BOS.PDL", "0=a.pcm\n"),
                                 File("Bos.pdl", "0=a.pcm\n")};
  std::vector<Node> two_samples = Samples("0 = a.pcm\n1 = B.PCM\n");
  two_samples.push_back(File("B.pcm", kC));
  std::vector<Node> upper_case_bank = upper_case_list;
  upper_case_bank.push_back(File("BOS.PDX", kJunk));
  cases.insert(
      cases.end(),
      {
          {.name = "list_found_ignoring_case_bank_named_as_derived",
           .files = upper_case_list,
           .args = {"bos"},
           .status = 0,
           .out = out_ab + prefix("a.pcm"),
           .err = finished,
           .bank = Bank{.data = {"a.pcm", "b.pcm"},
                        .slots = {{0, 0}, {1, 1}, {5, 0}}}},
          {.name = "samples_found_ignoring_case_keep_their_spelling",
           .files = spelled_samples,
           .args = {"bos"},
           .status = 0,
           .out = prefix("A.PCM") + "done.\n" + prefix("Sub/B.pcm") +
                  "done.\n" + prefix("a.pcm") + "done.\n" + prefix("A.PCM"),
           .err = finished,
           .bank = Bank{.data = {"a.pcm", "sub/b.pcm", "a.pcm"},
                        .slots = {{0, 0}, {1, 1}, {2, 2}, {3, 0}}}},
          {.name = "name_as_written_wins_over_other_cases",
           .files = {File("a.pcm", kA), File("A.pcm", kB),
                     File("bos.pdl", "0 = a.pcm\n1 = A.pcm\n")},
           .args = {"bos"},
           .status = 0,
           .out = prefix("a.pcm") + "done.\n" + prefix("A.pcm") + "done.\n",
           .err = finished,
           .bank = Bank{.data = {"a.pcm", "A.pcm"}, .slots = {{0, 0}, {1, 1}}},
           .posix_only = true},
          {.name = "sample_matching_in_two_cases_is_not_found",
           .files = two_samples,
           .args = {"bos"},
           .status = 255,
           .out = prefix("a.pcm") + "done.\n" + prefix("B.PCM"),
           .err = text::not_found("B.PCM"),
           .bank = Bank{.data = {"a.pcm"}, .slots = {{0, 0}}},
           .posix_only = true},
          {.name = "list_matching_in_two_cases_is_not_found",
           .files = two_lists,
           .args = {"bos"},
           .status = 255,
           .out = "",
           .err = text::open_failed("bos.pdl"),
           .bank = std::nullopt,
           .posix_only = true},
          // The directory was read before the run made the bank in it.
          {.name = "sample_naming_the_new_bank_in_another_case",
           .files = Samples("0 = a.pcm\n1 = BOS.PDX\n"),
           .args = {"bos"},
           .status = 255,
           .out = prefix("a.pcm") + "done.\n" + prefix("BOS.PDX"),
           .err = text::sample_is_bank("BOS.PDX"),
           .bank = Bank{.data = {"a.pcm"}, .slots = {{0, 0}}}},
          // Without a terminal the answer is no, and nothing is touched.
          {.name = "bank_in_another_case_is_asked_about",
           .files = upper_case_bank,
           .args = {"bos"},
           .status = 255,
           .out = std::string(text::kNotOverwritten),
           .err = text::overwrite_prompt("bos.pdx") +
                  std::string(text::kAfterAnswer),
           .bank = std::nullopt},
      });

  // Only a letter that is a whole character has a case. A name that is not
  // UTF-8 is Shift_JIS: the second byte of 山 (8E 52) is no letter, and 屍
  // (8E 72) is another name, though 'R' and 'r' would fold; after the
  // double-byte character a letter folds again. A UTF-8 name folds every
  // letter, even one that Shift_JIS would take as a second byte.
  const std::string yama = to_cp932("山");
  const std::string shikabane = to_cp932("屍");
  // A name is printed as its bytes, which the expected text (turned into
  // Shift_JIS) holds as what they read as in Shift_JIS.
  const std::string utf8_name = "あa.pcm";
  const std::string utf8_accented = "é.pcm";
  cases.insert(
      cases.end(),
      {
          {.name = "shift_jis_second_byte_is_no_letter",
           .files = {File(yama + "A.pcm", kA), File(shikabane + ".pcm", kB),
                     File("bos.pdl",
                          "0 = " + yama + "a.PCM\n1 = " + yama + ".pcm\n")},
           .args = {"bos"},
           .status = 255,
           .out = prefix("山a.PCM") + "done.\n" + prefix("山.pcm"),
           .err = text::not_found("山.pcm"),
           .bank = Bank{.data = {yama + "A.pcm"}, .slots = {{0, 0}}},
           .posix_only = true},
          {.name = "shift_jis_bank_is_no_other_name_in_case",
           .files = {File(yama + ".pdl", ""), File(shikabane + ".pdx", kJunk)},
           .args = {yama},
           .status = 0,
           .out = "",
           .err = finished,
           .bank = Bank{.data = {}, .slots = {}, .path = yama + ".pdx"},
           .posix_only = true},
          {.name = "utf8_name_folds_its_letters_only",
           .files = {File("あA.PCM", kA), File("É.pcm", kB),
                     File("bos.pdl", "0 = " + utf8_name +
                                         "\n1 = " + utf8_accented + "\n")},
           .args = {"bos"},
           .status = 255,
           .out = prefix(from_cp932(utf8_name)) + "done.\n" +
                  prefix(from_cp932(utf8_accented)),
           .err = text::not_found(from_cp932(utf8_accented)),
           .bank = Bank{.data = {"あA.PCM"}, .slots = {{0, 0}}},
           .posix_only = true},
      });

  // Names that Windows refuses, even where the file system below has such a
  // file: each fails at the step that meets it, with that step's message.
  const std::vector<std::pair<std::string, char>> refused = {
      {"less_than", '<'}, {"greater_than", '>'},  {"bar", '|'},
      {"quote", '"'},     {"question_mark", '?'}, {"tab", '\t'}};
  for (const auto& [word, character] : refused) {
    const std::string sample = "a"s + character + "b.pcm";
    std::vector<Node> files = Samples("0 = a.pcm\n1 = " + sample + "\n");
    files.push_back(File(sample, kB));
    cases.push_back({.name = "windows_rejects_sample_name_" + word,
                     .files = std::move(files),
                     .args = {"bos"},
                     .status = 255,
                     .out = prefix("a.pcm") + "done.\n" + prefix(sample),
                     .err = text::not_found(sample),
                     .bank = Bank{.data = {"a.pcm"}, .slots = {{0, 0}}},
                     .windows_only = true});
  }
  // No wildcard is expanded either: a star names no file.
  std::vector<std::pair<std::string, char>> refused_in_argument = refused;
  refused_in_argument.push_back({"star", '*'});
  for (const auto& [word, character] : refused_in_argument) {
    const std::string arg = "a"s + character + "b";
    cases.push_back(
        {.name = "windows_rejects_list_name_" + word,
         .files = {File("a.pcm", kA), File(arg + ".pdl", "0 = a.pcm\n")},
         .args = {arg},
         .status = 255,
         .out = "",
         .err = text::open_failed(arg + ".pdl"),
         .bank = std::nullopt,
         .windows_only = true});
  }
  return cases;
}

using CaseParam = std::tuple<Launcher, Case>;

class E2eCaseTest : public ::testing::TestWithParam<CaseParam> {
 protected:
  TempDir dir_;
};

TEST_P(E2eCaseTest, BankAndConsole) {
  const auto& [launcher, c] = GetParam();
  if (c.posix_only && !launcher.posix_file_system) {
    GTEST_SKIP() << "needs a POSIX file system";
  }
  if (c.windows_only && launcher.posix_file_system) {
    GTEST_SKIP() << "a POSIX file system allows these names";
  }
  make_tree(dir_, c.files);
  TreeSnapshot expected = snapshot(dir_.path());
  if (c.bank) {
    fs::path bank = (fs::path(c.cwd) / c.bank->path).lexically_normal();
    expected[bank.string()] = "file:" + build_bank(c, *c.bank);
  }

  RunResult result =
      run({.argv = launcher.command(c.args), .cwd = (dir_ / c.cwd).string()});

  ASSERT_FALSE(result.timed_out);
  ASSERT_TRUE(result.exited) << result.describe();
  EXPECT_EQ(result.exit_status, c.status) << result.describe();
  EXPECT_PRED_FORMAT2(SameConsole,
                      console_bytes(std::string(text::kBanner) + c.out),
                      result.out);
  EXPECT_PRED_FORMAT2(SameConsole, console_bytes(c.err), result.err);
  EXPECT_PRED_FORMAT2(SameTree, expected, snapshot(dir_.path()));
}

std::string CaseName(const ::testing::TestParamInfo<CaseParam>& param) {
  return std::get<0>(param.param).name + "_" + std::get<1>(param.param).name;
}

INSTANTIATE_TEST_SUITE_P(
    Program, E2eCaseTest,
    ::testing::Combine(::testing::ValuesIn(test_launchers()),
                       ::testing::ValuesIn(Cases())),
    CaseName);

class E2eTest : public ::testing::TestWithParam<Launcher> {
 protected:
  RunResult run_in_dir(std::vector<std::string> args, Capture out, Capture err,
                       std::optional<std::string> locale = std::nullopt) {
    return run({.argv = GetParam().command(args),
                .cwd = dir_.path().string(),
                .out = out,
                .err = err,
                .locale = std::move(locale)});
  }

  TempDir dir_;
};

// The layout's own worked example, byte by byte, whatever the streams are
// and whatever the locale: only a terminal ever shows UTF-8.
TEST_P(E2eTest, WorkedExampleToTheByte) {
  make_tree(dir_, Samples(kWorkedList));
  std::string expected(768, '\0');
  expected.replace(0, 8, "\x00\x00\x03\x00\x00\x00\x00\x64"s);
  expected.replace(8, 8, "\x00\x00\x03\x64\x00\x00\x00\x0A"s);
  expected.replace(40, 8, "\x00\x00\x03\x00\x00\x00\x00\x64"s);
  expected += kA + kB;
  ASSERT_EQ(expected.size(), 878u);

  const std::pair<std::string, Capture> runs[] = {{"C", Capture::kFile},
                                                  {"C", Capture::kPipe},
                                                  {"C.UTF-8", Capture::kFile},
                                                  {"C.UTF-8", Capture::kPipe}};
  for (const auto& [locale, capture] : runs) {
    SCOPED_TRACE(capture == Capture::kFile ? "streams to files"
                                           : "streams to pipes");
    SCOPED_TRACE("LC_ALL=" + locale);
    fs::remove(dir_ / "bos.pdx");
    RunResult result = run_in_dir({"bos"}, capture, capture, locale);
    ASSERT_TRUE(result.exited) << result.describe();
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_PRED_FORMAT2(
        SameConsole,
        "adpack 1.00\x83\xC0 for Win32 Copyright (C) 2026 the adpack "
        "project\r\n\r\n"
        "`a.pcm'\t\t\t: done.\r\n`b.pcm'\t\t\t: done.\r\n`a.pcm'\t\t\t: ",
        result.out);
    EXPECT_PRED_FORMAT2(SameConsole,
                        "\r\n\x8F\x49\x97\xB9\x82\xB5\x82\xDC"
                        "\x82\xB5\x82\xBD\x81\x42\r\n",
                        result.err);
    auto bank = read_file(dir_ / "bos.pdx");
    ASSERT_TRUE(bank.has_value());
    EXPECT_PRED_FORMAT2(SameBytes, expected, *bank);
  }
}

// The converter behind every expected text gives the bytes the catalogue
// singles out.
TEST(Cp932, BytesThatNeedCare) {
  EXPECT_EQ(to_cp932("β"), "\x83\xC0");
  EXPECT_EQ(to_cp932("　"), "\x81\x40");
  EXPECT_EQ(to_cp932("？"), "\x81\x48");
  EXPECT_EQ(to_cp932("能"), "\x94\x5C");
  EXPECT_EQ(to_cp932("ソ"), "\x83\x5C");
  EXPECT_EQ(from_cp932("\x8F\x49\x97\xB9"), "終了");
  EXPECT_EQ(console_bytes("a\n\nb"), "a\r\n\r\nb");
}

std::string many_entries_list() {
  std::string list;
  for (int slot = 0; slot < 60; ++slot) {
    list += std::to_string(slot) + " = a.pcm\n";
  }
  list += "60 = b.pcm\n";
  return list;
}

std::string many_entries_bank() {
  BankImage image;
  BankImage::Placed a = image.append(kA);
  BankImage::Placed b = image.append(kB);
  for (int slot = 0; slot < 60; ++slot) image.set_slot(slot, a);
  image.set_slot(60, b);
  return image.bytes();
}

// A console whose reader has gone must not stop the run: more is printed
// than one stream buffer holds, so several writes fail on the way.
TEST_P(E2eTest, ClosedStandardOutputStillBuildsTheBank) {
  make_tree(dir_, Samples(many_entries_list()));
  RunResult result = run_in_dir({"bos"}, Capture::kNoReader, Capture::kFile);
  ASSERT_TRUE(result.exited) << result.describe();
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_PRED_FORMAT2(SameConsole, console_bytes(text::kFinished), result.err);
  auto bank = read_file(dir_ / "bos.pdx");
  ASSERT_TRUE(bank.has_value());
  EXPECT_PRED_FORMAT2(SameBytes, many_entries_bank(), *bank);
}

TEST_P(E2eTest, ClosedStandardOutputAndErrorStillBuildTheBank) {
  make_tree(dir_, Samples(many_entries_list()));
  RunResult result =
      run_in_dir({"bos"}, Capture::kNoReader, Capture::kNoReader);
  ASSERT_TRUE(result.exited) << result.describe();
  EXPECT_EQ(result.exit_status, 0);
  auto bank = read_file(dir_ / "bos.pdx");
  ASSERT_TRUE(bank.has_value());
  EXPECT_PRED_FORMAT2(SameBytes, many_entries_bank(), *bank);
}

// A descriptor the shell closed must not become the list's or the bank's
// number, or the console's bytes would land in that file. The longer list
// prints more than one stream buffer, so output is written mid-run.
class ClosedDescriptorTest : public ::testing::TestWithParam<Launcher> {
 protected:
  TempDir dir_;
};

TEST_P(ClosedDescriptorTest, BankIsExactAndTheRunSucceeds) {
  const std::vector<std::pair<std::string, std::string>> lists = {
      {worked::kList, worked::bank()},
      {many_entries_list(), many_entries_bank()}};
  const std::vector<std::vector<int>> closed_sets = {{0}, {1}, {2}, {0, 1, 2}};
  for (const auto& [list, bank] : lists) {
    for (const std::vector<int>& closed : closed_sets) {
      SCOPED_TRACE(testing::Message()
                   << "closed " << testing::PrintToString(closed) << ", list "
                   << list.size() << " bytes");
      fs::remove(dir_ / "bos.pdx");
      make_tree(dir_, Samples(list));
      RunResult result = run({.argv = GetParam().command({"bos"}),
                              .cwd = dir_.path().string(),
                              .closed = closed});
      ASSERT_TRUE(result.exited) << result.describe();
      EXPECT_EQ(result.exit_status, 0) << result.describe();
      EXPECT_PRED_FORMAT2(SameBytes, bank,
                          read_file(dir_ / "bos.pdx").value_or("<none>"));
      EXPECT_PRED_FORMAT2(SameBytes, list,
                          read_file(dir_ / "bos.pdl").value_or("<none>"));
    }
  }
}

// A closed console must not turn a failure into a success either.
TEST_P(E2eTest, ClosedStandardOutputKeepsTheFailureStatus) {
  make_tree(dir_, Samples("0 = a.pcm\n1 = missing.pcm\n"));
  RunResult result = run_in_dir({"bos"}, Capture::kNoReader, Capture::kFile);
  ASSERT_TRUE(result.exited) << result.describe();
  EXPECT_EQ(result.exit_status, 255);
  EXPECT_PRED_FORMAT2(
      SameConsole, console_bytes(text::not_found("missing.pcm")), result.err);
}

// A file of the kernel's attribute file system reports a size of a page but
// yields only a few bytes: the sample comes up short on reading. wine
// reaches it too, through the drive that stands for the root directory.
TEST_P(E2eTest, SampleShorterThanItsSize) {
  const char* kShort = "/sys/devices/system/cpu/online";
  struct stat info {};
  auto bytes = read_file(kShort);
  if (stat(kShort, &info) != 0 || !bytes ||
      static_cast<std::size_t>(info.st_size) <= bytes->size()) {
    GTEST_SKIP() << kShort << " does not come up short here";
  }
  make_tree(dir_, Samples("0 = a.pcm\n1 = "s + kShort + "\n2 = b.pcm\n"));
  RunResult result = run_in_dir({"bos"}, Capture::kFile, Capture::kFile);
  ASSERT_TRUE(result.exited) << result.describe();
  EXPECT_EQ(result.exit_status, 255);
  EXPECT_PRED_FORMAT2(
      SameConsole,
      console_bytes(std::string(text::kBanner) + prefix("a.pcm") + "done.\n" +
                    prefix(kShort)),
      result.out);
  EXPECT_PRED_FORMAT2(SameConsole, console_bytes(text::kReadFailed),
                      result.err);

  // Its slot may already hold what the size query said; no byte of it, and
  // nothing else, may follow the first sample.
  BankImage image;
  BankImage::Placed a = image.append(kA);
  image.set_slot(0, a);
  std::string without_slot = image.bytes();
  image.set_slot(
      1, {a.offset + a.length, static_cast<std::uint32_t>(info.st_size)});
  auto bank = read_file(dir_ / "bos.pdx");
  ASSERT_TRUE(bank.has_value());
  if (*bank != without_slot) {
    EXPECT_PRED_FORMAT2(SameBytes, image.bytes(), *bank);
  }
}

// Sizes the 32-bit fields cannot hold, from sparse files that cost no disk:
// refused before any memory is asked for and before the slot is written.
TEST_P(E2eTest, SampleTooLargeForTheSlotFields) {
  const std::uint64_t kFourGiB = std::uint64_t{1} << 32;
  // A bank already holding a.pcm ends at 868: the second size ends the bank
  // one byte past what an offset can name.
  for (std::uint64_t size : {kFourGiB, kFourGiB - 868 + 1}) {
    SCOPED_TRACE(size);
    fs::remove(dir_ / "bos.pdx");
    make_tree(dir_, Samples("0 = a.pcm\n1 = huge.pcm\n2 = b.pcm\n"));
    write_file(dir_ / "huge.pcm", "");
    fs::resize_file(dir_ / "huge.pcm", size);

    RunResult result = run_in_dir({"bos"}, Capture::kFile, Capture::kFile);
    ASSERT_TRUE(result.exited) << result.describe();
    EXPECT_EQ(result.exit_status, 255);
    EXPECT_PRED_FORMAT2(
        SameConsole,
        console_bytes(std::string(text::kBanner) + prefix("a.pcm") + "done.\n" +
                      prefix("huge.pcm")),
        result.out);
    EXPECT_PRED_FORMAT2(SameConsole,
                        console_bytes(text::sample_too_large("huge.pcm")),
                        result.err);
    BankImage image;
    image.set_slot(0, image.append(kA));
    auto bank = read_file(dir_ / "bos.pdx");
    ASSERT_TRUE(bank.has_value());
    EXPECT_PRED_FORMAT2(SameBytes, image.bytes(), *bank);
  }
}

// Standard output and standard error in one file. Standard output's buffer
// holds 512 printed bytes and gains its carriage returns only when written
// out, when the next byte needs the room or the run ends; standard error's
// text is written at once, so it lands where standard output's file stood.
// Sample names are padded to put the boundary where each case needs it.
struct SharedFileCase {
  std::string name;
  std::vector<std::size_t> copied;     // name lengths of samples that are there
  std::optional<std::size_t> missing;  // name length of one that is not
  std::size_t printed;       // standard output's bytes: checks the padding
  std::size_t before_error;  // those of them on disk ahead of the error
};

void PrintTo(const SharedFileCase& c, std::ostream* os) { *os << c.name; }

std::vector<SharedFileCase> SharedFileCases() {
  // The banner's 63 bytes, then 13 bytes around each copied name and 7 around
  // the missing one.
  return {
      {"line_feed_ends_the_buffer_then_an_error",
       {77, 77, 77, 77, 76},
       11,
       530,
       512},
      {"error_after_a_line_that_crosses_the_boundary",
       {77, 77, 77, 77},
       100,
       530,
       512},
      {"error_when_the_buffer_is_exactly_full", {77, 77, 77, 77}, 82, 512, 0},
      {"finished_when_the_buffer_is_exactly_full",
       {77, 77, 77, 77, 76},
       std::nullopt,
       512,
       0},
  };
}

using SharedFileParam = std::tuple<Launcher, SharedFileCase>;

class SharedFileTest : public ::testing::TestWithParam<SharedFileParam> {
 protected:
  TempDir dir_;
};

std::string padded_name(char tag, std::size_t length) {
  return tag + std::string(length - 5, 'x') + ".pcm";
}

TEST_P(SharedFileTest, ErrorLandsBetweenWholeBuffers) {
  const auto& [launcher, c] = GetParam();
  std::string list;
  std::string out(text::kBanner);
  for (std::size_t i = 0; i < c.copied.size(); ++i) {
    const std::string name =
        padded_name(static_cast<char>('a' + i), c.copied[i]);
    write_file(dir_ / name, kB);
    list += std::to_string(i) + " = " + name + "\n";
    out += prefix(name) + "done.\n";
  }
  std::string err(text::kFinished);
  int status = 0;
  if (c.missing) {
    const std::string name = padded_name('m', *c.missing);
    list += "9 = " + name + "\n";
    out += prefix(name);
    err = text::not_found(name);
    status = 255;
  }
  write_file(dir_ / "bos.pdl", list);
  const std::string printed = to_cp932(out);
  ASSERT_EQ(printed.size(), c.printed) << "the padding of the names is off";

  RunResult result = run({.argv = launcher.command({"bos"}),
                          .cwd = dir_.path().string(),
                          .out = Capture::kFile,
                          .err = Capture::kWithOut});
  ASSERT_TRUE(result.exited) << result.describe();
  EXPECT_EQ(result.exit_status, status);
  EXPECT_PRED_FORMAT2(SameConsole,
                      with_carriage_returns(printed.substr(0, c.before_error)) +
                          console_bytes(err) +
                          with_carriage_returns(printed.substr(c.before_error)),
                      result.out);
}

std::string SharedFileName(const ::testing::TestParamInfo<SharedFileParam>& p) {
  return std::get<0>(p.param).name + "_" + std::get<1>(p.param).name;
}

INSTANTIATE_TEST_SUITE_P(
    Program, SharedFileTest,
    ::testing::Combine(::testing::ValuesIn(test_launchers()),
                       ::testing::ValuesIn(SharedFileCases())),
    SharedFileName);

// A disk that fills at an exact byte, through a file-size limit: the bank's
// last bytes fail to reach the file at the point the buffering rules say.
struct FullDiskCase {
  std::string name;
  std::string list;
  // The samples of slots 0, 1, ... whose slots are written before the end.
  std::vector<std::string> samples;
  unsigned long long limit;
  std::string out;  // after the banner
  std::string err;
};

void PrintTo(const FullDiskCase& c, std::ostream* os) { *os << c.name; }

std::vector<FullDiskCase> FullDiskCases() {
  const std::string out_ab =
      prefix("a.pcm") + "done.\n" + prefix("b.pcm") + "done.\n";
  // The whole bank would be 768 + 100 + 10 = 878 bytes.
  return {
      {"last_bytes_after_last_line_feed",
       "0 = a.pcm\n1 = b.pcm\n",
       {kA, kB},
       877,
       out_ab,
       std::string(text::kWriteFailed)},
      {"last_bytes_after_unterminated_last_line",
       "0 = a.pcm\n1 = b.pcm",
       {kA, kB},
       877,
       out_ab,
       std::string(text::kWriteFailed)},
      {"buffered_bytes_fail_at_the_next_seek",
       "0 = a.pcm\n1 = b.pcm\n",
       {kA},
       800,
       prefix("a.pcm") + "done.\n" + prefix("b.pcm"),
       std::string(text::kSeekFailed)},
      {"sample_larger_than_a_buffer",
       "0 = c.pcm\n",
       {kC},
       1000,
       prefix("c.pcm"),
       std::string(text::kDiskFull)},
  };
}

using FullDiskParam = std::tuple<Launcher, FullDiskCase>;

class FullDiskTest : public ::testing::TestWithParam<FullDiskParam> {
 protected:
  TempDir dir_;
};

TEST_P(FullDiskTest, ReportsTheFailureInsteadOfFinishing) {
  const auto& [launcher, c] = GetParam();
  if (!launcher.posix_file_system) GTEST_SKIP() << "needs RLIMIT_FSIZE";
  make_tree(dir_, Samples(c.list));
  RunResult result = run({.argv = launcher.command({"bos"}),
                          .cwd = dir_.path().string(),
                          .file_size_limit = c.limit});
  ASSERT_FALSE(result.timed_out);
  ASSERT_TRUE(result.exited) << result.describe();
  EXPECT_EQ(result.exit_status, 255);
  EXPECT_PRED_FORMAT2(SameConsole,
                      console_bytes(std::string(text::kBanner) + c.out),
                      result.out);
  EXPECT_PRED_FORMAT2(SameConsole, console_bytes(c.err), result.err);

  BankImage image;
  for (std::size_t slot = 0; slot < c.samples.size(); ++slot) {
    image.set_slot(static_cast<int>(slot), image.append(c.samples[slot]));
  }
  const std::string& whole = image.bytes();
  auto bank = read_file(dir_ / "bos.pdx");
  ASSERT_TRUE(bank.has_value());
  EXPECT_PRED_FORMAT2(SameBytes, whole.substr(0, c.limit), *bank)
      << "the bank holds what fitted, unchanged";
}

std::string FullDiskName(const ::testing::TestParamInfo<FullDiskParam>& p) {
  return std::get<0>(p.param).name + "_" + std::get<1>(p.param).name;
}

INSTANTIATE_TEST_SUITE_P(
    Program, FullDiskTest,
    ::testing::Combine(::testing::ValuesIn(test_launchers()),
                       ::testing::ValuesIn(FullDiskCases())),
    FullDiskName);

INSTANTIATE_TEST_SUITE_P(Program, E2eTest,
                         ::testing::ValuesIn(test_launchers()), LauncherName);

// The start-up under test is the POSIX build's own.
INSTANTIATE_TEST_SUITE_P(Program, ClosedDescriptorTest,
                         ::testing::Values(test_launchers().front()),
                         LauncherName);

}  // namespace
}  // namespace adpack_test
