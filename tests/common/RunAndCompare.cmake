# Runs PROGRAM, writes its standard output to ACTUAL and compares it byte for
# byte with EXPECTED; the exit status must be 0.
execute_process(COMMAND ${PROGRAM} OUTPUT_FILE ${ACTUAL} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} exited with ${status}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${ACTUAL} ${EXPECTED} RESULT_VARIABLE differ)
if(NOT differ EQUAL 0)
    message(FATAL_ERROR "${ACTUAL} differs from ${EXPECTED}")
endif()
