# Runs TOOL and compares its output with the EXPECTED list, line for line.
file(READ ${EXPECTED} expected)
execute_process(COMMAND ${TOOL} OUTPUT_VARIABLE actual RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "golden output tool failed (${rc}):\n${actual}")
endif()
if(NOT actual STREQUAL expected)
  message(FATAL_ERROR "output samples differ from the list:\n${actual}\nexpected:\n${expected}")
endif()
