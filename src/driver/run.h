// One run of adpack, from the banner to the exit status.
#ifndef ADPACK_DRIVER_RUN_H
#define ADPACK_DRIVER_RUN_H

// argv[0] is the program's name; exactly one argument must follow it.
// Returns 0 after a complete run; every failure ends the process instead.
int run_adpack(int argc, char **argv);

#endif
