# pdxdump, the companion that shows, checks and takes apart a bank, and the
# man pages of both programs. Included at the end of the top-level
# CMakeLists.txt, after adpack_core and the test set-up.
include(GNUInstallDirs)

# The sample code's decoder, in a folder of its own.
add_library(adpcm STATIC src/adpcm/adpcm.cc)
target_include_directories(adpcm PUBLIC src)

add_library(pdxdump_core STATIC
  src/dump/ascii.cc
  src/dump/bank_check.cc
  src/dump/bank_file.cc
  src/dump/extract.cc
  src/dump/options.cc
  src/dump/pdxdump.cc
  src/dump/report_html.cc
  src/dump/report_json.cc
  src/dump/report_text.cc
  src/dump/wav.cc)
target_link_libraries(pdxdump_core PUBLIC adpack_core adpcm)
target_compile_definitions(pdxdump_core
  PRIVATE PDXDUMP_VERSION="${PROJECT_VERSION}")

add_executable(pdxdump src/dump/main.cc)
target_link_libraries(pdxdump PRIVATE pdxdump_core)

install(TARGETS pdxdump RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES man/adpack.1 man/pdxdump.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(BUILD_TESTING)
  add_executable(adpcm_tests src/adpcm/adpcm_test.cc)
  target_link_libraries(adpcm_tests PRIVATE adpcm GTest::gmock
                        GTest::gtest_main)
  gtest_discover_tests(adpcm_tests DISCOVERY_MODE PRE_TEST)

  # Scratch directories and child processes, one file per platform.
  if(WIN32)
    set(PDXDUMP_TEST_SUPPORT src/dump/test_support-win32.cc)
  else()
    set(PDXDUMP_TEST_SUPPORT src/dump/test_support-posix.cc)
  endif()
  add_executable(pdxdump_tests
    src/dump/ascii_test.cc
    src/dump/bank_check_test.cc
    src/dump/extract_test.cc
    src/dump/options_test.cc
    src/dump/pdxdump_test.cc
    src/dump/report_test.cc
    src/dump/round_trip_test.cc
    src/dump/sound_test.cc
    ${PDXDUMP_TEST_SUPPORT})
  target_link_libraries(pdxdump_tests PRIVATE pdxdump_core
                        GTest::gmock GTest::gtest_main)
  # The round trip and the tests of the entry run the real programs.
  target_compile_definitions(pdxdump_tests PRIVATE
    ADPACK_PROGRAM="$<TARGET_FILE:adpack>"
    PDXDUMP_PROGRAM="$<TARGET_FILE:pdxdump>"
    PDXDUMP_VERSION_FOR_TEST="${PROJECT_VERSION}")
  add_dependencies(pdxdump_tests adpack pdxdump)
  gtest_discover_tests(pdxdump_tests DISCOVERY_MODE PRE_TEST)

  # The WAV files through Python's wave module, the decoding beside sox's,
  # the page in chromium; each skips without its tool, but fails in CI.
  find_program(ADPACK_PYTHON3 NAMES python3 REQUIRED)
  foreach(case WavFile SoxCrossCheck Browser)
    add_test(NAME pdxdump_audio.${case}
      COMMAND ${ADPACK_PYTHON3} ${PROJECT_SOURCE_DIR}/tests/pdxdump_audio_test.py
              --pdxdump $<TARGET_FILE:pdxdump>
              --keep ${PROJECT_BINARY_DIR}/pdxdump-page ${case})
    set_tests_properties(pdxdump_audio.${case} PROPERTIES
      SKIP_REGULAR_EXPRESSION "Skipped: " TIMEOUT 300 LABELS program)
  endforeach()
endif()
