// Opening, closing and seeking files with the user told of every failure.
#ifndef ADPACK_DRIVER_GUARDED_OPEN_H
#define ADPACK_DRIVER_GUARDED_OPEN_H

#include <cstdint>

#include "driver/stream.h"

enum OpenStatus {
  OPEN_OK = 0,
  OPEN_REPLACED = 1,  // it existed and the user answered Y
  OPEN_DECLINED = -1,
  OPEN_FAILED = -2,  // MSG_OPEN_FAILED has been printed
  OPEN_IN_USE = -3,  // another run writes it; MSG_BANK_IN_USE has been printed
};

// Opens name in mode ("wb", "rt" or "rb"). For a write mode the file is
// locked against other runs, then an existing file is replaced only after
// the user has answered Y to the overwrite question; the lock is held until
// the stream is closed. No open waits, except that of a "rt" file.
// Always sets status; returns null unless it is OPEN_OK or OPEN_REPLACED.
Stream *open_guarded(const char *name, const char *mode, OpenStatus *status);

// Seeks stream; when that fails, prints MSG_SEEK_FAILED and returns -1.
int seek_with_report(Stream *stream, std::int32_t offset, StreamOrigin origin);

#endif
