# Builds the bundled example bank in a scratch copy of examples/, and shows
# what adpack printed, decoded from Shift_JIS where iconv is at hand.
file(REMOVE_RECURSE "${WORK}")
file(COPY "${EXAMPLES}/" DESTINATION "${WORK}")
execute_process(COMMAND "${ADPACK}" demo.pdl
                WORKING_DIRECTORY "${WORK}"
                OUTPUT_FILE "${WORK}/stdout.txt"
                ERROR_FILE "${WORK}/stderr.txt"
                RESULT_VARIABLE status)
find_program(ICONV iconv)
foreach(stream stdout stderr)
  if(ICONV)
    execute_process(COMMAND "${ICONV}" -f CP932 -t UTF-8 "${WORK}/${stream}.txt"
                    OUTPUT_VARIABLE text)
  else()
    file(READ "${WORK}/${stream}.txt" text)
  endif()
  string(REPLACE "\r" "" text "${text}")
  message("${stream}:\n${text}")
endforeach()
if(NOT status EQUAL 0)
  message(FATAL_ERROR "adpack ended with status ${status}")
endif()
file(SIZE "${WORK}/demo.pdx" size)
message(STATUS "Built ${WORK}/demo.pdx (${size} bytes)")
