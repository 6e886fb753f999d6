// The bank check's note on samples that begin like a sound file.
#ifndef ADPACK_PDXDUMP_BANK_SOUND_NOTES_H
#define ADPACK_PDXDUMP_BANK_SOUND_NOTES_H

#include "pdxdump/bank_check.h"
#include "pdxdump/bank_file.h"

// Reads the first bytes of every whole sample of the bank and adds a note
// for each that begins like a sound file. Returns 0, or -1 when the bank
// cannot be read.
int add_sound_file_notes(const BankFile *bank, BankReport *report);

#endif
