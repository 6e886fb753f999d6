// Placing one list entry into the bank.
#ifndef ADPACK_BANK_ENTRY_WRITER_H
#define ADPACK_BANK_ENTRY_WRITER_H

#include <cstdint>

#include "driver/stream.h"

// Makes sure the sample file name is in the bank's data area, copying it to
// the end the first time the name occurs, and fills slot number with its
// offset and length. Returns 0; every failure ends the run instead.
int place_entry(std::int32_t number, const char *name, Stream *bank);

#endif
