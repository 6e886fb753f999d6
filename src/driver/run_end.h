// The ways a run of adpack ends. Apart from the run itself, so that the list
// reader and the bank writer, which end it, need not know what runs them.
#ifndef ADPACK_DRIVER_RUN_END_H
#define ADPACK_DRIVER_RUN_END_H

// Closes every file stream, checking that the bank's last bytes were stored,
// then prints MSG_FINISHED. Returns 0; a failure ends the run instead.
int finish_run(void);

// Closes every file stream and ends the process with -1.
[[noreturn]] void fail_run(void);

// The one exit path: writes out every open stream, then ends the process.
[[noreturn]] void exit_run(int status);

#endif
