#include "driver/messages.h"

#include <cstring>
#include <string>

#include "driver/stream.h"

// The texts are written as escaped Shift_JIS bytes, each after its reading.

// adpack 1.00β for Win32 Copyright (C) 2026 the adpack project\n\n
const Message MSG_BANNER = {
    "adpack 1.00\203\300 for Win32 Copyright (C) 2026 the adpack project\n\n",
    MESSAGE_TO_STDOUT};
// \n必要なメモリの確保ができません。\n
const Message MSG_NO_MEMORY = {
    "\n\225K\227v\202\310\203\201\203\202\203\212\202\314\212m\225\333\202\252"
    "\202\305\202\253\202\334\202\271\202\361\201B\n",
    MESSAGE_TO_STDERR};
// `%s' は既に存在しています。\n上書きしてもよろしいですか？ [Y / Other]
const Message MSG_OVERWRITE_PROMPT = {
    "`%s' "
    "\202\315\212\371\202\311\221\266\215\335\202\265\202\304\202\242\202\334"
    "\202\267\201B\n\217\343\217\221\202\253\202\265\202\304\202\340\202\346"
    "\202\353\202\265\202\242\202\305\202\267\202\251\201H [Y / Other] ",
    MESSAGE_TO_STDERR};
// \n\n
const Message MSG_AFTER_ANSWER = {"\n\n", MESSAGE_TO_STDERR};
// 上書きしないで終了します。\n
const Message MSG_NOT_OVERWRITTEN = {
    "\217\343\217\221\202\253\202\265\202\310\202\242\202\305\217I\227\271\202"
    "\265\202\334\202\267\201B\n",
    MESSAGE_TO_STDOUT};
// `%s' がオープンできません。\n
const Message MSG_OPEN_FAILED = {
    "`%s' "
    "\202\252\203I\201["
    "\203v\203\223\202\305\202\253\202\334\202\271\202\361\201B\n",
    MESSAGE_TO_STDERR};
// ファイルがクローズできません。\n\n
const Message MSG_CLOSE_FAILED = {
    "\203t\203@\203C\203\213\202\252\203N\203\215\201["
    "\203Y\202\305\202\253\202\334\202\271\202\361\201B\n\n",
    MESSAGE_TO_STDERR};
// \nファイルの書き込みに失敗しました。\n
const Message MSG_WRITE_FAILED = {
    "\n\203t\203@"
    "\203C\203\213\202\314\217\221\202\253\215\236\202\335\202\311\216\270\224s"
    "\202\265\202\334\202\265\202\275\201B\n",
    MESSAGE_TO_STDERR};
// ファイルのシークに失敗しました。\n
const Message MSG_SEEK_FAILED = {
    "\203t\203@\203C\203\213\202\314\203V\201["
    "\203N\202\311\216\270\224s\202\265\202\334\202\265\202\275\201B\n",
    MESSAGE_TO_STDERR};
// \nファイルのアクセスに失敗しました。\n
const Message MSG_READ_FAILED = {
    "\n\203t\203@"
    "\203C\203\213\202\314\203A\203N\203Z\203X\202\311\216\270\224s\202\265\202"
    "\334\202\265\202\275\201B\n",
    MESSAGE_TO_STDERR};
// \n終了しました。\n
const Message MSG_FINISHED = {
    "\n\217I\227\271\202\265\202\334\202\265\202\275\201B\n",
    MESSAGE_TO_STDERR};
// `%s'\t\t\t:
const Message MSG_ENTRY_PREFIX = {"`%s'\t\t\t: ", MESSAGE_TO_STDOUT};
// %s が見つかりません。\n
const Message MSG_NOT_FOUND = {
    "%s "
    "\202\252\214\251\202\302\202\251\202\350\202\334\202\271\202\361\201B\n",
    MESSAGE_TO_STDERR};
// ディスクが一杯です。\n
const Message MSG_DISK_FULL = {
    "\203f\203B\203X\203N\202\252\210\352\224t\202\305\202\267\201B\n",
    MESSAGE_TO_STDERR};
// done.\n
const Message MSG_DONE = {"done.\n", MESSAGE_TO_STDOUT};
// `%s' は PDL ファイルそのものなので、PDX ファイルとして書き込めません。\n
const Message MSG_BANK_IS_LIST = {
    "`%s' \202\315 PDL "
    "\203t\203@"
    "\203C\203\213\202\273\202\314\202\340\202\314\202\310\202\314\202\305\201A"
    "PDX "
    "\203t\203@"
    "\203C\203\213\202\306\202\265\202\304\217\221\202\253\215\236\202\337\202"
    "\334\202\271\202\361\201B\n",
    MESSAGE_TO_STDERR};
// `%s' のスロット番号 %d は範囲外です (0 から 95 まで)。\n
const Message MSG_SLOT_OUT_OF_RANGE = {
    "`%s' \202\314\203X\203\215\203b\203g\224\324\215\206 %d "
    "\202\315\224\315\210\315\212O\202\305\202\267 (0 \202\251\202\347 95 "
    "\202\334\202\305)\201B\n",
    MESSAGE_TO_STDERR};
// `%s' は大きすぎて PDX ファイルに収まりません。\n
const Message MSG_SAMPLE_TOO_LARGE = {
    "`%s' \202\315\221\345\202\253\202\267\202\254\202\304 PDX "
    "\203t\203@"
    "\203C\203\213\202\311\216\373\202\334\202\350\202\334\202\271\202\361\201B"
    "\n",
    MESSAGE_TO_STDERR};

// `%s' は書き込み中の PDX
// ファイルそのものなので、サンプルとして読み込めません。\n
const Message MSG_SAMPLE_IS_BANK = {
    "`%s' \202\315\217\221\202\253\215\236\202\335\222\206\202\314 PDX "
    "\203t\203@"
    "\203C\203\213\202\273\202\314\202\340\202\314\202\310\202\314\202\305\201A"
    "\203T\203\223\203v\203\213\202\306\202\265\202\304\223\307\202\335\215\236"
    "\202\337"
    "\202\334\202\271\202\361\201B\n",
    MESSAGE_TO_STDERR};
// `%s' は他の adpack が書き込み中です。\n
const Message MSG_BANK_IN_USE = {
    "`%s' \202\315\221\274\202\314 adpack "
    "\202\252\217\221\202\253\215\236\202\335\222\206\202\305\202\267\201B\n",
    MESSAGE_TO_STDERR};

namespace {

// Printed one line per write, as a user's console has always shown them.
const char *const USAGE_LINES[] = {
    // 書式 : adpack <PDL Filename>\n\n
    "\217\221\216\256 : adpack <PDL Filename>\n\n",
    // 機能 : <PDL Filename> で指定された PDL ファイルを読み込んで\n
    "\213@\224\\ : <PDL Filename> "
    "\202\305\216w\222\350\202\263\202\352\202\275 PDL "
    "\203t\203@\203C\203\213\202\360\223\307\202\335\215\236\202\361\202\305\n",
    //        pdx ファイルを生成します。\n\n
    "       pdx "
    "\203t\203@"
    "\203C\203\213\202\360\220\266\220\254\202\265\202\334\202\267\201B\n\n",
    //        <PDL Filename> の拡張子のデフォルトは [.PDL] で、\n
    "       <PDL Filename> "
    "\202\314\212g\222\243\216q\202\314\203f\203t\203H\203\213\203g\202\315 "
    "[.PDL] \202\305\201A\n",
    //        拡張子を pdx に置き換えた pdx ファイルが生成されます。\n\n
    "       \212g\222\243\216q\202\360 pdx "
    "\202\311\222u\202\253\212\267\202\246\202\275 pdx "
    "\203t\203@"
    "\203C\203\213\202\252\220\266\220\254\202\263\202\352\202\334\202\267\201B"
    "\n\n",
    // 例　 : adpack bos.pdl\n\n
    "\227\341\201@ : adpack bos.pdl\n\n",
};

Stream *stream_for(MessageStream stream) {
  return stream == MESSAGE_TO_STDOUT ? stream_stdout() : stream_stderr();
}

void append_number(std::string *out, std::int32_t number) {
  // Widened first: the most negative slot number has no positive twin.
  std::int64_t value = number;
  if (value < 0) {
    out->push_back('-');
    value = -value;
  }
  char digits[24];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0);
  while (count > 0) out->push_back(digits[--count]);
}

}  // namespace

void print_message(const Message &message, const char *name,
                   std::int32_t number) {
  std::string text;
  for (const char *p = message.text; *p; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      if (name) text += name;
      ++p;
    } else if (p[0] == '%' && p[1] == 'd') {
      append_number(&text, number);
      ++p;
    } else {
      text.push_back(*p);
    }
  }
  stream_write(stream_for(message.stream), text.data(), text.size());
}

void print_banner(void) { print_message(MSG_BANNER); }

void print_usage(void) {
  for (const char *line : USAGE_LINES)
    stream_write(stream_stdout(), line, std::strlen(line));
}

void print_read_failed(void) { print_message(MSG_READ_FAILED); }

void print_write_failed(void) { print_message(MSG_WRITE_FAILED); }

// Straight from the catalogue: with the heap exhausted, the string that
// print_message builds would fail too.
void print_no_memory(void) {
  stream_write(stream_for(MSG_NO_MEMORY.stream), MSG_NO_MEMORY.text,
               std::strlen(MSG_NO_MEMORY.text));
}

void print_finished(void) { print_message(MSG_FINISHED); }
