#include "driver/run.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "bank/bank_layout.h"
#include "bank/entry_writer.h"
#include "driver/file_names.h"
#include "driver/guarded_open.h"
#include "driver/messages.h"
#include "driver/run_end.h"
#include "driver/stream.h"
#include "list/list_reader.h"
#include "platform/platform.h"

namespace {

// Room for the longest derived name (four more bytes and the zero) and more.
constexpr std::size_t NAME_SLACK = 32;

// A bank written over its own list would destroy the list as it is read.
bool bank_would_replace_list(const char *bank_name, const char *list_name) {
  return std::strcmp(bank_name, list_name) == 0 ||
         platform_same_file(bank_name, list_name);
}

void write_empty_table(Stream *bank) {
  static const unsigned char empty_table[BANK_TABLE_SIZE] = {};
  if (stream_write(bank, empty_table, sizeof empty_table) !=
      sizeof empty_table) {
    print_write_failed();
    exit_run(-1);
  }
}

}  // namespace

int run_adpack(int argc, char **argv) {
  print_banner();
  if (argc != 2) {
    print_usage();
    exit_run(-1);
  }
  const char *argument = argv[1];
  std::size_t size = std::strlen(argument) + NAME_SLACK;
  char *bank_name = static_cast<char *>(std::malloc(size));
  char *list_name = static_cast<char *>(std::malloc(size));
  if (!bank_name || !list_name) {
    print_no_memory();
    exit_run(-1);
  }
  std::strcpy(list_name, argument);
  add_default_extension(list_name);
  std::strcpy(bank_name, list_name);
  make_bank_name(bank_name);

  // The list first: a mistyped list name must not cost an existing bank.
  OpenStatus status;
  Stream *list = open_guarded(list_name, "rt", &status);
  if (!list) exit_run(-1);
  if (bank_would_replace_list(bank_name, list_name)) {
    print_message(MSG_BANK_IS_LIST, bank_name);
    fail_run();
  }
  Stream *bank = open_guarded(bank_name, "wb", &status);
  if (status == OPEN_DECLINED) {
    print_message(MSG_NOT_OVERWRITTEN);
    fail_run();
  }
  if (!bank) fail_run();
  std::free(list_name);
  std::free(bank_name);

  write_empty_table(bank);
  while (!stream_eof(list)) {
    std::int32_t number;
    char name[LIST_NAME_SIZE];
    if (read_list_entry(&number, name, list) == 1)
      place_entry(number, name, bank);
  }
  return finish_run();
}
