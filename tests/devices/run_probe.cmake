# Runs orvana-probe and checks its exit code and output.
#   -DPROBE=<exe> -DARGS=<a|b|...> -DEXPECT_CODE=<n> -DEXPECT=<text|text|...>
# ("|" separates items: a ";" would not survive add_test.)
string(REPLACE "|" ";" ARGS "${ARGS}")
string(REPLACE "|" ";" EXPECT "${EXPECT}")
execute_process(COMMAND ${PROBE} ${ARGS}
  RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}${err}")
if(NOT code EQUAL EXPECT_CODE)
  message(FATAL_ERROR "exit code ${code}, expected ${EXPECT_CODE}")
endif()
foreach(text IN LISTS EXPECT)
  string(FIND "${out}" "${text}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "output lacks \"${text}\"")
  endif()
endforeach()
