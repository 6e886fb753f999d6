// adpcm's run: the options, each input in turn, the exit status.
#ifndef ADPACK_ADPCM_TOOL_RUN_H
#define ADPACK_ADPCM_TOOL_RUN_H

// Runs adpcm on argv and returns its exit status.
int run_adpcm(int argc, char **argv);

#endif
