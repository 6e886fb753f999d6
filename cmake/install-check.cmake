# Installs the build BUILD into a fresh PREFIX and checks that the programs,
# their man pages and the documents land where GNUInstallDirs puts them, byte
# for byte, and that nothing else is installed.
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX}
                OUTPUT_VARIABLE output ERROR_VARIABLE output
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${status}):\n${output}")
endif()
set(expected
  "${ADPACK}=${BINDIR}/adpack"
  "${PDXDUMP}=${BINDIR}/pdxdump"
  "${SOURCE}/man/adpack.1=${MANDIR}/man1/adpack.1"
  "${SOURCE}/man/pdxdump.1=${MANDIR}/man1/pdxdump.1")
set(programs adpack pdxdump)
# adpcm where the build has it (it needs the sound libraries).
if(ADPCM)
  list(APPEND expected "${ADPCM}=${BINDIR}/adpcm"
       "${SOURCE}/man/adpcm.1=${MANDIR}/man1/adpcm.1")
  list(APPEND programs adpcm)
endif()
foreach(document README.md NEWS LICENSE THIRD-PARTY-NOTICES)
  list(APPEND expected "${SOURCE}/${document}=${DOCDIR}/${document}")
endforeach()
foreach(pair IN LISTS expected)
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 from)
  list(GET pair 1 to)
  if(NOT EXISTS ${PREFIX}/${to})
    message(FATAL_ERROR "${to} is not installed:\n${output}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${from}
                          ${PREFIX}/${to}
                  RESULT_VARIABLE differs)
  if(differs)
    message(FATAL_ERROR "${PREFIX}/${to} differs from ${from}")
  endif()
endforeach()
file(GLOB_RECURSE installed RELATIVE ${PREFIX} ${PREFIX}/*)
list(LENGTH installed count)
list(LENGTH expected expected_count)
if(NOT count EQUAL expected_count)
  message(FATAL_ERROR "installed more than the programs, man pages and "
                      "documents: ${installed}")
endif()
# Installed with the right permissions: both start from their new place.
# Installed with the right permissions: both start from their new place
# and name themselves (adpack in its usage, pdxdump with --version).
foreach(program IN LISTS programs)
  set(arguments "")
  if(NOT program STREQUAL "adpack")
    set(arguments --version)
  endif()
  execute_process(COMMAND ${PREFIX}/${BINDIR}/${program} ${arguments}
                  OUTPUT_VARIABLE shown ERROR_QUIET)
  if(NOT shown MATCHES "^${program} ")
    message(FATAL_ERROR "the installed ${program} does not run: ${shown}")
  endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")
