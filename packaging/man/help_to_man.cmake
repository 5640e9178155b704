# Writes a manual page from a program's --help text, so the page never drifts from it.
# cmake -DPROGRAM=path -DNAME=name -DSUMMARY=text -DOUT=file -P help_to_man.cmake
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE out ERROR_VARIABLE err
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed (${rc})")
endif()
set(text "${out}${err}")
string(REPLACE "\\" "\\e" text "${text}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
string(TOUPPER "${NAME}" upper)
file(WRITE ${OUT} ".TH ${upper} 1 \"2026\" \"Marrowdeck 6.0.0\" \"User Commands\"
.SH NAME
${NAME} \\- ${SUMMARY}
.SH SYNOPSIS
.nf
${text}.fi
.SH SEE ALSO
.BR marrowdeck (1)
")
