// Splitting a command line handed over as one string into its arguments,
// with the rules that the people who run adpack from a command prompt have
// always typed by.
#ifndef ADPACK_DRIVER_COMMAND_LINE_H
#define ADPACK_DRIVER_COMMAND_LINE_H

#include <string>
#include <vector>

// Passes over the program's name and returns the arguments: blanks and tabs
// separate them; a double quote opens a stretch, up to the next double quote
// or the end, in which they do not; the quotes are dropped and touching
// stretches join; a backslash right before a double quote gives a literal
// double quote and every other backslash stays; a lead byte is taken with the
// byte after it, so neither of its bytes can be a quote or a backslash.
std::vector<std::string> split_command_line(
    const char *line, bool (*is_lead_byte)(unsigned char byte));

// A conventional argument vector over words, program first and a null
// last, for an entry that takes argc and argv. It points into words.
std::vector<char *> argument_vector(const char *program,
                                    std::vector<std::string> &words);

#endif
