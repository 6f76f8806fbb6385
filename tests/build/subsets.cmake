# Configures and builds each documented ORVANA_SUBSYSTEMS subset in one
# folder, one after the other (each later subset reuses what the earlier one
# built), so a subsystem that reaches into another, or a target that links one
# that the subset leaves out, fails here instead of in a developer's build.
#   cmake -DSOURCE=<tree> -DBINARY=<folder> -DGENERATOR=<gen> -P subsets.cmake
# Subsets are written with "," here, as a CMake list cannot hold lists.
set(subsets
  "kelvaro,ruvasko"
  "sensors"
  "app,mail"
  "app,mail,sound"
)
foreach(entry IN LISTS subsets)
  string(REPLACE "," ";" subset "${entry}")
  message(STATUS "ORVANA_SUBSYSTEMS=${subset}")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${BINARY} -G ${GENERATOR}
            -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O0 -DORVANA_BUILD_TESTS=OFF
            -DORVANA_BUILD_BENCH=OFF "-DORVANA_SUBSYSTEMS=${subset}"
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "configure of \"${subset}\" failed:\n${out}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BINARY} -- -j2
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "build of \"${subset}\" failed:\n${out}")
  endif()
endforeach()
