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
};

// Opens name in mode ("wb", "rt" or "rb"). For a write mode an existing file
// is replaced only after the user has answered Y to the overwrite question.
// Always sets status; returns null unless it is OPEN_OK or OPEN_REPLACED.
Stream *open_guarded(const char *name, const char *mode, OpenStatus *status);

// Closes stream; when that fails, prints MSG_CLOSE_FAILED and ends the run.
void close_or_exit(Stream *stream);

// Seeks stream; when that fails, prints MSG_SEEK_FAILED and returns -1.
int seek_with_report(Stream *stream, std::int32_t offset, StreamOrigin origin);

#endif
