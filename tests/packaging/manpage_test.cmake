# manpage.cmake on help texts made for the purpose:
# - an option with an argument, a text continued over lines, a term whose
#   text starts on the next line, a text with ";", "[", a backslash and a
#   leading "'" all come out as roff entries with nothing lost;
# - a help text without variables (its layout changed) fails rather than
#   giving a page without them.
#   cmake -DSOURCE=<packaging folder> -DWORK=<folder> -P manpage_test.cmake
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

function(make_page name help result_var page_var)
  file(WRITE "${WORK}/${name}.txt" "${help}")
  file(WRITE "${WORK}/${name}.sh" "#!/bin/sh\ncat '${WORK}/${name}.txt'\n")
  file(CHMOD "${WORK}/${name}.sh" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
  execute_process(COMMAND "${CMAKE_COMMAND}" "-DORVANA=${WORK}/${name}.sh"
    "-DTEMPLATE=${SOURCE}/orvana.1.in" "-DOUTPUT=${WORK}/${name}.1" -DVERSION=9.8.7
    -DDOCDIR=/opt/o/share/doc/orvana -DPKGLIBDIR=/opt/o/lib/orvana
    -DUSERUNITDIR=/opt/o/lib/systemd/user -DUDEVRULESDIR=/opt/o/lib/udev/rules.d
    -P "${SOURCE}/manpage.cmake"
    RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
  set(${result_var} ${rc} PARENT_SCOPE)
  set(page "")
  if(EXISTS "${WORK}/${name}.1")
    file(READ "${WORK}/${name}.1" page)
  endif()
  set(${page_var} "${page}" PARENT_SCOPE)
endfunction()

function(expect page text)
  string(FIND "${page}" "${text}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the page lacks:\n${text}\n--- page:\n${page}")
  endif()
endfunction()

make_page(good [=[
Usage: orvana [options]

Watches things: this line ends with a colon but is prose:
Options:
  --headless   run without a window [and write
               every line to standard output
  --smtp HOST:PORT  deliver the mails there
  --a-rather-long-option
               its text on the next line
  --help       show this text and exit

Environment overrides (read once at start-up):
  ORVANA_CONFIG            path of the settings file
  ORVANA_CAMERAS           ';'-separated C:\path descriptions

Ctrl-C (SIGINT) ends the program.
]=] rc page)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "manpage.cmake failed on a good help text")
endif()
expect("${page}" ".TP\n.B \\-\\-headless\nrun without a window [and write every line to standard output\n")
expect("${page}" ".TP\n.BI \"\\-\\-smtp \" \"HOST:PORT\"\ndeliver the mails there\n")
expect("${page}" ".TP\n.B \\-\\-a\\-rather\\-long\\-option\nits text on the next line\n")
expect("${page}" ".TP\n.B \\-\\-help\nshow this text and exit\n")
expect("${page}" ".TP\n.B ORVANA_CONFIG\npath of the settings file\n")
expect("${page}" ".TP\n.B ORVANA_CAMERAS\n\\&';'\\-separated C:\\epath descriptions\n")
expect("${page}" "/opt/o/share/doc/orvana/manual.html")
expect("${page}" "\"orvana 9.8.7\"")
# Nothing outside the two sections became an entry, and no placeholder is left.
foreach(stray ".B Usage" ".B Watches" ".B Ctrl" "@ORVANA_")
  string(FIND "${page}" "${stray}" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "\"${stray}\" in the page:\n${page}")
  endif()
endforeach()

make_page(no_variables [=[
Usage: orvana [options]

Options:
  --help       show this text and exit

Environment: see the manual
]=] rc page)
if(rc EQUAL 0)
  message(FATAL_ERROR "a help text without variables gave a page:\n${page}")
endif()
