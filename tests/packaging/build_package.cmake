# The package, made once per test run from this build tree's own targets
# (no second build), and unpacked with dpkg-deb -x into a root of its own.
#   cmake -DCPACK=<cpack> -DCONFIG=<CPackConfig.cmake> -DOUT=<folder>
#         -DPACKAGE=<file name> -P build_package.cmake
file(REMOVE_RECURSE "${OUT}")
execute_process(COMMAND "${CPACK}" -G DEB --config "${CONFIG}" -B "${OUT}"
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
message("${out}")
if(NOT rc EQUAL 0 OR NOT EXISTS "${OUT}/${PACKAGE}")
  message(FATAL_ERROR "cpack did not make ${PACKAGE} (exit ${rc})")
endif()
execute_process(COMMAND dpkg-deb -x "${OUT}/${PACKAGE}" "${OUT}/root"
  RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "dpkg-deb -x failed: ${err}")
endif()
