# Writes a manual page from a program's help texts, so the page never drifts from them:
# its --help for the synopsis and options and, for each command its "commands:" list
# names, that command's COMMAND --help.
# cmake -DPROGRAM=path -DNAME=name -DSUMMARY=text -DVERSION=x.y.z -DOUT=file -P help_to_man.cmake

function(help_text out)
  execute_process(COMMAND ${PROGRAM} ${ARGN} --help OUTPUT_VARIABLE text ERROR_VARIABLE err
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ${ARGN} --help failed (${rc}): ${err}")
  endif()
  set(text "${text}${err}")
  # roff: a backslash prints as \e, a line may not start with a dot or a quote.
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

help_text(synopsis)
set(commands "")
string(FIND "${synopsis}" "\ncommands:\n" start)
if(start GREATER -1)
  string(SUBSTRING "${synopsis}" ${start} -1 list)
  string(REGEX MATCHALL "\n  [a-z][-a-z0-9]*" names "${list}")
  foreach(name ${names})
    string(STRIP "${name}" name)
    help_text(text ${name})
    string(APPEND commands ".SS ${name}\n.nf\n${text}.fi\n")
  endforeach()
  set(commands ".SH COMMANDS\n${commands}")
endif()

string(TOUPPER "${NAME}" upper)
file(WRITE ${OUT} ".TH ${upper} 1 \"2026\" \"Marrowdeck ${VERSION}\" \"User Commands\"
.SH NAME
${NAME} \\- ${SUMMARY}
.SH SYNOPSIS
.nf
${synopsis}.fi
${commands}.SH SEE ALSO
.BR marrowdeck (1)
")
