#include "pdxdump/bank_sound_notes.h"

#include "pdxdump/sound_file.h"

int add_sound_file_notes(const BankFile *bank, BankReport *report) {
  for (const BankSample &sample : report->samples) {
    if (!sample.whole || sample.length == 0) continue;
    unsigned char head[SOUND_FILE_HEAD_SIZE];
    std::size_t wanted = sample.length < sizeof head
                             ? static_cast<std::size_t>(sample.length)
                             : sizeof head;
    std::ptrdiff_t got = read_bank_bytes(bank, sample.offset, head, wanted);
    if (got < 0) return -1;
    const char *format = sound_file_format(head, static_cast<std::size_t>(got));
    if (!format) continue;
    report->sound_notes.push_back(
        {sample.slots, sample.offset, sample.length, format,
         slot_list(sample.slots) + " " + sound_file_remark(format)});
  }
  return 0;
}
