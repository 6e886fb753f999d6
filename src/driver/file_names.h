// The list and bank names derived from the one argument. Both rules work on
// bytes: a second byte of a double-byte character that equals a backslash
// counts as one, as users of this tool have always seen.
#ifndef ADPACK_DRIVER_FILE_NAMES_H
#define ADPACK_DRIVER_FILE_NAMES_H

// Appends ".pdl" when the last component (after the last backslash or slash)
// has no dot. Works in place; the buffer needs room for four more bytes.
// Returns name.
char *add_default_extension(char *name);

// Replaces the last dot of the extended list name and all after it by
// ".pdx". Works in place; the buffer needs room for four more bytes.
// Returns name.
char *make_bank_name(char *name);

#endif
