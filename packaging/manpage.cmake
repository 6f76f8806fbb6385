# Writes the manual page orvana.1 from its template and the program's own
# `--help`, so that its options and override variables are always the ones
# the program has.
#   cmake -DORVANA=<program or a command printing the same text>
#         -DTEMPLATE=<orvana.1.in> -DOUTPUT=<orvana.1> -DVERSION=<x.y.z>
#         -DDOCDIR=... -DPKGLIBDIR=... -DUSERUNITDIR=... -DUDEVRULESDIR=...
#         -P manpage.cmake
# Fails when the help text has no option or no variable: a help text whose
# layout changed must not give a page without them.
#
# The help text: a section starts with a line "Title:" at the left margin;
# an entry is a line indented by two spaces, its term and its text separated
# by two or more spaces; deeper-indented lines continue the entry's text.

# Roff text: backslashes and hyphens escaped, no line starting with a
# control character.
function(roff_text out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  if(text MATCHES "^[.']")
    set(text "\\&${text}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# One .TP entry: the term's first word bold, any argument words italic.
function(roff_entry out term text)
  string(REGEX REPLACE " +" ";" words "${term}")
  list(POP_FRONT words name)
  roff_text(name "${name}")
  roff_text(text "${text}")
  if(words)
    list(JOIN words " " args)
    roff_text(args "${args}")
    set(head ".BI \"${name} \" \"${args}\"")
  else()
    set(head ".B ${name}")
  endif()
  set(${out} ".TP\n${head}\n${text}\n" PARENT_SCOPE)
endfunction()

execute_process(COMMAND ${ORVANA} --help
  RESULT_VARIABLE rc OUTPUT_VARIABLE help ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${ORVANA} --help failed (${rc}): ${err}")
endif()

set(section "")
set(term "")
set(text "")
set(options "")
set(environment "")
set(option_count 0)
set(variable_count 0)

# Ends the entry in progress, adding it to its section.
macro(flush_entry)
  if(NOT term STREQUAL "")
    roff_entry(entry "${term}" "${text}")
    if(section MATCHES "^Options")
      string(APPEND options "${entry}")
      math(EXPR option_count "${option_count} + 1")
    elseif(section MATCHES "^Environment")
      string(APPEND environment "${entry}")
      math(EXPR variable_count "${variable_count} + 1")
    endif()
  endif()
  set(term "")
  set(text "")
endmacro()

# Lines one by one. A ";" would split a CMake list and a "[" would hold
# the list together up to its "]", so they travel as placeholders.
string(REPLACE ";" "<semicolon>" help "${help}")
string(REPLACE "[" "<open>" help "${help}")
string(REPLACE "]" "<close>" help "${help}")
string(REPLACE "\n" ";" lines "${help}")
foreach(line IN LISTS lines)
  string(REPLACE "<semicolon>" ";" line "${line}")
  string(REPLACE "<open>" "[" line "${line}")
  string(REPLACE "<close>" "]" line "${line}")
  if(line MATCHES "^[^ ].*:$")
    flush_entry()
    set(section "${line}")
  elseif(line MATCHES "^  [^ ]")
    flush_entry()
    string(SUBSTRING "${line}" 2 -1 rest)
    string(FIND "${rest}" "  " gap)
    if(gap EQUAL -1)
      set(term "${rest}")
    else()
      string(SUBSTRING "${rest}" 0 ${gap} term)
      string(SUBSTRING "${rest}" ${gap} -1 text)
      string(STRIP "${text}" text)
    endif()
  elseif(line MATCHES "^   +[^ ]" AND NOT term STREQUAL "")
    string(STRIP "${line}" more)
    if(text STREQUAL "")
      set(text "${more}")
    else()
      string(APPEND text " ${more}")
    endif()
  else()
    flush_entry()
  endif()
endforeach()
flush_entry()

if(option_count EQUAL 0 OR variable_count EQUAL 0)
  message(FATAL_ERROR "${ORVANA} --help gave ${option_count} options and "
                      "${variable_count} variables:\n${help}")
endif()

string(REGEX REPLACE "\n$" "" ORVANA_MAN_OPTIONS "${options}")
string(REGEX REPLACE "\n$" "" ORVANA_MAN_ENVIRONMENT "${environment}")
set(ORVANA_VERSION "${VERSION}")
foreach(dir DOCDIR PKGLIBDIR USERUNITDIR UDEVRULESDIR)
  roff_text(ORVANA_MAN_${dir} "${${dir}}")
endforeach()
file(READ "${TEMPLATE}" page)
string(CONFIGURE "${page}" page @ONLY)
file(WRITE "${OUTPUT}" "${page}")
