#include "bank/entry_writer.h"

#include <cstdlib>
#include <cstring>

#include "bank/bank_layout.h"
#include "bank/placed_samples.h"
#include "driver/guarded_open.h"
#include "driver/messages.h"
#include "driver/run_end.h"
#include "platform/platform.h"

namespace {

void seek_or_fail(Stream *bank, std::int32_t offset, StreamOrigin origin) {
  if (seek_with_report(bank, offset, origin) != 0) fail_run();
}

// Records a sample met for the first time at the end of the bank, and
// returns its length in host order for the copy. found names the file; the
// messages give the name as the list has it.
std::uint64_t remember_new_sample(const char *name, const char *found,
                                  Stream *bank, std::uint32_t *offset,
                                  std::uint32_t *length) {
  // Copied into itself, the bank would hold a snapshot of its own first
  // bytes; a hard link's data would already be gone.
  if (stream_is_file(bank, found)) {
    print_message(MSG_SAMPLE_IS_BANK, name);
    fail_run();
  }
  seek_or_fail(bank, 0, STREAM_SEEK_END);
  std::int64_t position = stream_tell(bank);
  if (position < 0) {
    print_message(MSG_SEEK_FAILED);
    fail_run();
  }
  std::uint64_t size;
  if (platform_file_size(found, &size) != 0) {
    print_message(MSG_NOT_FOUND, name);
    fail_run();
  }
  std::uint64_t end = static_cast<std::uint64_t>(position);
  if (end > BANK_MAX_SIZE || size > BANK_MAX_SIZE - end) {
    print_message(MSG_SAMPLE_TOO_LARGE, name);
    fail_run();
  }
  *offset = to_big_endian32(static_cast<std::uint32_t>(end));
  *length = to_big_endian32(static_cast<std::uint32_t>(size));
  remember_placed_sample(name, *offset, *length);
  return size;
}

// Appends the sample's bytes to the bank in one read and one write.
void copy_sample(const char *name, const char *found, std::size_t size,
                 Stream *bank) {
  unsigned char *buffer = static_cast<unsigned char *>(std::malloc(size + 1));
  if (!buffer) {
    print_no_memory();
    fail_run();
  }
  seek_or_fail(bank, 0, STREAM_SEEK_END);
  Stream *sample = stream_open(found, "rb");
  if (!sample) {
    print_message(MSG_OPEN_FAILED, name);
    fail_run();
  }
  // A sample that shrank or failed part-way must not leave unread memory in
  // the bank behind a slot that promises the full length.
  if (stream_read(sample, buffer, size) != size) {
    print_read_failed();
    fail_run();
  }
  if (stream_write(bank, buffer, size) != size) {
    print_message(MSG_DISK_FULL);
    fail_run();
  }
  print_message(MSG_DONE);
  stream_close(sample);
  std::free(buffer);
}

}  // namespace

int place_entry(std::int32_t number, const char *name, Stream *bank) {
  print_message(MSG_ENTRY_PREFIX, name);
  if (number < 0 || number >= BANK_SLOT_COUNT) {
    print_message(MSG_SLOT_OUT_OF_RANGE, name, number);
    fail_run();
  }
  BankSlot slot;
  bool shared = find_placed_sample(name, &slot.offset, &slot.length) == 0;
  std::uint64_t size = 0;
  // Looked up once: the self-check, the size and the copy see one file, and
  // a name in another letter case costs one lookup, not three.
  char *found = nullptr;
  if (!shared) {
    found = static_cast<char *>(std::malloc(std::strlen(name) + 1));
    if (!found) {
      print_no_memory();
      fail_run();
    }
    platform_find_name(name, found);
    size = remember_new_sample(name, found, bank, &slot.offset, &slot.length);
  }

  seek_or_fail(bank, number * static_cast<std::int32_t>(BANK_SLOT_SIZE),
               STREAM_SEEK_START);
  stream_write(bank, &slot.offset, sizeof slot.offset);
  stream_write(bank, &slot.length, sizeof slot.length);
  if (shared) return 0;

  copy_sample(name, found, static_cast<std::size_t>(size), bank);
  std::free(found);
  return 0;
}
