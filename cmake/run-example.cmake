# Builds the bundled example bank in a scratch copy of examples/.
file(REMOVE_RECURSE "${WORK}")
file(COPY "${EXAMPLES}/" DESTINATION "${WORK}")
execute_process(COMMAND "${ADPACK}" demo.pdl
                WORKING_DIRECTORY "${WORK}"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "adpack ended with status ${status}")
endif()
file(SIZE "${WORK}/demo.pdx" size)
message(STATUS "Built ${WORK}/demo.pdx (${size} bytes)")
