# Configures the project afresh in WORK as a user would, with the cache
# arguments ARGS ("|"-separated), and checks what came of it:
#   EXPECT   pass or fail
#   TESTING  the BUILD_TESTING left in the cache (when it passes)
#   OUTPUT   a regular expression that cmake's output must match
#   ABSENT   a regular expression that no cache entry's name may match
#   PRESET   the configure preset to start from, if any (its binary
#            directory replaced by WORK)
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${WORK}")
string(REPLACE "|" ";" args "${ARGS}")
if(PRESET)
  list(PREPEND args --preset ${PRESET})
endif()
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${WORK} -G ${GENERATOR}
          -DCMAKE_CXX_COMPILER=${CXX} ${args}
  OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE status)
string(APPEND output "${errors}")
string(REPLACE "\n" "\n  " shown "\n${output}")

if(EXPECT STREQUAL "pass" AND NOT status EQUAL 0)
  message(FATAL_ERROR "configure failed (${status}):${shown}")
elseif(EXPECT STREQUAL "fail" AND status EQUAL 0)
  message(FATAL_ERROR "configure passed, should have failed:${shown}")
endif()
# A message broken across lines still matches.
string(REGEX REPLACE "\n[ \t]*" " " flat "${output}")
if(NOT flat MATCHES "${OUTPUT}")
  message(FATAL_ERROR "no \"${OUTPUT}\" in what cmake printed:${shown}")
endif()
if(EXPECT STREQUAL "pass")
  file(STRINGS ${WORK}/CMakeCache.txt testing REGEX "^BUILD_TESTING:")
  if(NOT testing STREQUAL "BUILD_TESTING:BOOL=${TESTING}")
    message(FATAL_ERROR "cache holds ${testing}, not BUILD_TESTING=${TESTING}")
  endif()
endif()
if(ABSENT AND EXISTS ${WORK}/CMakeCache.txt)
  file(STRINGS ${WORK}/CMakeCache.txt found REGEX "^(${ABSENT})[:A-Z]*=")
  if(found)
    message(FATAL_ERROR "the cache should not hold: ${found}")
  endif()
endif()
file(REMOVE_RECURSE "${WORK}")
