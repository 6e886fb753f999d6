# adpack.exe, pdxdump.exe and adpcm.exe, cross-compiled with mingw-w64 as
# part of the native build, and the wine prefix in which the suites run them.
# Included by the native build with tests; sets ADPACK_WINDOWS_TESTS_READY and, when something is
# missing, ADPACK_WINDOWS_TESTS_MISSING.
option(ADPACK_WINDOWS_TESTS
       "Build adpack.exe too, and run the suites on it under wine" ON)

set(ADPACK_WINDOWS_TESTS_READY FALSE)
set(ADPACK_WINDOWS_TESTS_MISSING "")
if(NOT ADPACK_WINDOWS_TESTS)
  return()
endif()

find_program(ADPACK_MINGW_CXX NAMES x86_64-w64-mingw32-g++-win32
             x86_64-w64-mingw32-g++)
find_program(ADPACK_MINGW_OBJDUMP NAMES x86_64-w64-mingw32-objdump)
find_program(ADPACK_WINE NAMES wine wine64)
find_program(ADPACK_WINESERVER NAMES wineserver wineserver64
             PATHS /usr/lib/wine)
foreach(tool MINGW_CXX:x86_64-w64-mingw32-g++
             MINGW_OBJDUMP:x86_64-w64-mingw32-objdump WINE:wine
             WINESERVER:wineserver)
  string(REPLACE ":" ";" tool "${tool}")
  list(GET tool 0 variable)
  list(GET tool 1 program)
  if(NOT ADPACK_${variable})
    string(APPEND ADPACK_WINDOWS_TESTS_MISSING " ${program}")
  endif()
endforeach()
if(ADPACK_WINDOWS_TESTS_MISSING)
  set(ADPACK_WINDOWS_TESTS_MISSING
      "not found:${ADPACK_WINDOWS_TESTS_MISSING} (apt-get install g++-mingw-w64-x86-64 wine wine64)")
  message(WARNING "adpack.exe is not built or tested: "
                  "${ADPACK_WINDOWS_TESTS_MISSING}")
  return()
endif()

include(ExternalProject)
set(ADPACK_WINDOWS_DIR ${PROJECT_BINARY_DIR}/windows)
set(ADPACK_WINDOWS_BINARY ${ADPACK_WINDOWS_DIR}/adpack.exe)
set(ADPACK_WINDOWS_PDXDUMP ${ADPACK_WINDOWS_DIR}/pdxdump.exe)
# Only where the Windows sound libraries could be made (in CI they must be).
set(ADPACK_WINDOWS_ADPCM ${ADPACK_WINDOWS_DIR}/adpcm.exe)
set(ADPACK_WINE_PREFIX ${PROJECT_BINARY_DIR}/wine-prefix)
ExternalProject_Add(adpack_windows
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${ADPACK_WINDOWS_DIR}
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
    -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
    -DBUILD_TESTING=OFF
    -DADPACK_WERROR=${ADPACK_WERROR}
  # All of it: the programs, adpcm.exe among them when it can be made.
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR>
  BUILD_ALWAYS TRUE
  BUILD_BYPRODUCTS ${ADPACK_WINDOWS_BINARY} ${ADPACK_WINDOWS_PDXDUMP}
  INSTALL_COMMAND "")

# A fresh prefix for every run of the suites, and a wine server kept running
# between their cases, so that each case pays for wine's start once.
add_test(NAME wine_prefix
  COMMAND ${CMAKE_COMMAND} -DWINE=${ADPACK_WINE}
          -DWINESERVER=${ADPACK_WINESERVER} -DPREFIX=${ADPACK_WINE_PREFIX}
          -DACTION=start -P ${PROJECT_SOURCE_DIR}/cmake/wine-prefix.cmake)
add_test(NAME wine_server_stop
  COMMAND ${CMAKE_COMMAND} -DWINESERVER=${ADPACK_WINESERVER}
          -DPREFIX=${ADPACK_WINE_PREFIX} -DACTION=stop
          -P ${PROJECT_SOURCE_DIR}/cmake/wine-prefix.cmake)
set_tests_properties(wine_prefix PROPERTIES
  FIXTURES_SETUP wine TIMEOUT 400 LABELS windows)
set_tests_properties(wine_server_stop PROPERTIES
  FIXTURES_CLEANUP wine TIMEOUT 60 LABELS windows)

# One .exe that runs on a bare Windows: no DLL of the toolchain beside it.
add_test(NAME windows_exe_needs_only_system_dlls
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${ADPACK_MINGW_OBJDUMP}
          -DEXE=${ADPACK_WINDOWS_BINARY}
          -P ${PROJECT_SOURCE_DIR}/cmake/windows-imports.cmake)
add_test(NAME windows_pdxdump_exe_needs_only_system_dlls
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${ADPACK_MINGW_OBJDUMP}
          -DEXE=${ADPACK_WINDOWS_PDXDUMP}
          -P ${PROJECT_SOURCE_DIR}/cmake/windows-imports.cmake)
add_test(NAME windows_adpcm_exe_needs_only_system_dlls
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${ADPACK_MINGW_OBJDUMP}
          -DEXE=${ADPACK_WINDOWS_ADPCM} -DOPTIONAL=ON
          -P ${PROJECT_SOURCE_DIR}/cmake/windows-imports.cmake)
set_tests_properties(windows_exe_needs_only_system_dlls
  windows_pdxdump_exe_needs_only_system_dlls
  windows_adpcm_exe_needs_only_system_dlls PROPERTIES LABELS windows
  SKIP_REGULAR_EXPRESSION "Skipped: ")

set(ADPACK_WINDOWS_TESTS_READY TRUE)
