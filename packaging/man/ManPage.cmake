# Writes a program's manual page from the program's own --help text, so the
# page always says what the installed program does. Run with cmake -P and
#   PROGRAM   the program to ask
#   NAME      its name, as the first line of its help ("Usage: NAME ...") gives it
#   SUMMARY   the one-line description of the NAME section
#   VERSION   the version for the page's footer
#   SEE_ALSO  the related pages, separated by ";"
#   OUTPUT    the page; OUTPUT.gz is the compressed copy that is installed
#   GZIP      the gzip program

execute_process(COMMAND ${PROGRAM} --help
                OUTPUT_VARIABLE help
                ERROR_VARIABLE errors
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${NAME} --help ended with ${status}: ${errors}")
endif()

# The first line is the synopsis, the rest the description.
string(FIND "${help}" "\n" eol)
string(SUBSTRING "${help}" 0 ${eol} usage)
math(EXPR rest_start "${eol} + 1")
string(SUBSTRING "${help}" ${rest_start} -1 description)
if(NOT usage MATCHES "^Usage: ${NAME}( (.*))?$")
    message(FATAL_ERROR "${NAME} --help does not start with \"Usage: ${NAME}\": ${usage}")
endif()
set(arguments "${CMAKE_MATCH_2}")

# Plain text to roff: backslashes and minus signs escaped, no line may start
# with a control character.
function(to_roff text out)
    string(REPLACE "\\" "\\e" text "${text}")
    string(REPLACE "-" "\\-" text "${text}")
    string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

string(REGEX REPLACE "^\n+" "" description "${description}")
string(REGEX REPLACE "\n+$" "" description "${description}")
to_roff("${description}" description)
to_roff("${arguments}" arguments)
to_roff("${SUMMARY}" summary)
string(TOUPPER "${NAME}" title)

set(see_also "")
foreach(page IN LISTS SEE_ALSO)
    if(see_also)
        string(APPEND see_also ",\n")
    endif()
    string(APPEND see_also ".BR ${page} (1)")
endforeach()

file(WRITE "${OUTPUT}" "'\\\" -*- coding: UTF-8 -*-
.\\\" Generated from the output of ${NAME} --help.
.TH ${title} 1 \"\" \"ZQ Manager ${VERSION}\" \"User Commands\"
.SH NAME
${NAME} \\- ${summary}
.SH SYNOPSIS
.B ${NAME}
${arguments}
.SH DESCRIPTION
.nf
.in 2n
${description}
.in
.fi
.SH SEE ALSO
${see_also}
")

execute_process(COMMAND ${GZIP} -9 -n -c "${OUTPUT}"
                OUTPUT_FILE "${OUTPUT}.gz"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    file(REMOVE "${OUTPUT}.gz")
    message(FATAL_ERROR "gzip of ${OUTPUT} failed")
endif()
