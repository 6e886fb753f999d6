# ACTION=start: creates the wine prefix PREFIX afresh and leaves a wine
# server running for it. ACTION=stop: ends that server.
# Every wait is bounded, so that a wine that hangs fails the run instead.
cmake_minimum_required(VERSION 3.25)
set(wine_env
  WINEPREFIX=${PREFIX} WINEDEBUG=-all
  # No Mono or Gecko installer, no menu entries: nothing here needs them.
  "WINEDLLOVERRIDES=mscoree,mshtml=;winemenubuilder.exe=d")

function(run_bounded what seconds)
  string(TIMESTAMP started "%s")
  execute_process(COMMAND ${CMAKE_COMMAND} -E env ${wine_env} ${ARGN}
                  INPUT_FILE /dev/null
                  OUTPUT_FILE ${PREFIX}.log ERROR_FILE ${PREFIX}.err.log
                  RESULT_VARIABLE status TIMEOUT ${seconds})
  string(TIMESTAMP ended "%s")
  math(EXPR took "${ended} - ${started}")
  if(NOT status EQUAL 0)
    file(READ ${PREFIX}.err.log errors)
    message(FATAL_ERROR "${what} failed after ${took} s (${status}):\n${errors}")
  endif()
  message(STATUS "${what}: ${took} s")
endfunction()

# Whatever server an earlier run left behind for this prefix goes first.
execute_process(COMMAND ${CMAKE_COMMAND} -E env ${wine_env} ${WINESERVER} -k
                INPUT_FILE /dev/null OUTPUT_QUIET ERROR_QUIET TIMEOUT 30)
if(ACTION STREQUAL "stop")
  return()
endif()

file(REMOVE_RECURSE ${PREFIX})
run_bounded("wineboot --init" 300 ${WINE} wineboot --init)
# wineboot returns before its server has written the new prefix out.
run_bounded("wineserver -w" 60 ${WINESERVER} -w)
# Kept 120 s after its last client, in case the cleanup never runs. Its
# output goes to files, so that nothing waits on this daemon's pipes.
run_bounded("wineserver -p" 30 ${WINESERVER} -p120)
# The first program of a new prefix starts slowly; a case that times its run
# should not be the one to pay for that.
run_bounded("first program" 60 ${WINE} cmd /c exit)
