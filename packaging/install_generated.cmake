# Run by `cmake --install` and CPack (install(CODE) in packaging/
# CMakeLists.txt): writes the files that name where things are installed,
# from the prefix of this very installation (a package installs under /usr
# whatever the build's CMAKE_INSTALL_PREFIX), and installs them.
# Given: ORVANA_PACKAGING_SOURCE, ORVANA_PACKAGING_WORK, ORVANA_PROGRAM,
# ORVANA_VERSION and the install folders ORVANA_BINDIR, ORVANA_DOCDIR,
# ORVANA_PKGLIBDIR, ORVANA_USERUNITDIR, ORVANA_UDEVRULESDIR, ORVANA_MANDIR.

function(orvana_full_path out dir)
  if(IS_ABSOLUTE "${dir}")
    set(${out} "${dir}" PARENT_SCOPE)
  else()
    set(${out} "${CMAKE_INSTALL_PREFIX}/${dir}" PARENT_SCOPE)
  endif()
endfunction()

foreach(dir BINDIR DOCDIR PKGLIBDIR USERUNITDIR UDEVRULESDIR MANDIR)
  orvana_full_path(full_${dir} "${ORVANA_${dir}}")
endforeach()
file(MAKE_DIRECTORY "${ORVANA_PACKAGING_WORK}")

# The systemd user unit.
set(ORVANA_INSTALL_FULL_BINDIR "${full_BINDIR}")
configure_file("${ORVANA_PACKAGING_SOURCE}/orvana.service.in"
               "${ORVANA_PACKAGING_WORK}/orvana.service" @ONLY)
file(INSTALL DESTINATION "${full_USERUNITDIR}" TYPE FILE
     FILES "${ORVANA_PACKAGING_WORK}/orvana.service")

# The manual page, compressed as man-db expects in a package.
execute_process(
  COMMAND "${CMAKE_COMMAND}" "-DORVANA=${ORVANA_PROGRAM}"
          "-DTEMPLATE=${ORVANA_PACKAGING_SOURCE}/orvana.1.in"
          "-DOUTPUT=${ORVANA_PACKAGING_WORK}/orvana.1" "-DVERSION=${ORVANA_VERSION}"
          "-DDOCDIR=${full_DOCDIR}" "-DPKGLIBDIR=${full_PKGLIBDIR}"
          "-DUSERUNITDIR=${full_USERUNITDIR}" "-DUDEVRULESDIR=${full_UDEVRULESDIR}"
          -P "${ORVANA_PACKAGING_SOURCE}/manpage.cmake"
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the manual page could not be made")
endif()
file(REMOVE "${ORVANA_PACKAGING_WORK}/orvana.1.gz")
execute_process(COMMAND gzip -9 -n "${ORVANA_PACKAGING_WORK}/orvana.1" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "gzip of the manual page failed")
endif()
file(INSTALL DESTINATION "${full_MANDIR}/man1" TYPE FILE
     FILES "${ORVANA_PACKAGING_WORK}/orvana.1.gz")
