# Run by the manual page tests: cmake -DGROFF= -DPAGE= -P checkman.cmake
# The page renders as man would render it, and groff has nothing to warn about.
execute_process(COMMAND ${GROFF} -ww -b -z -man -Tutf8 -K utf8 ${PAGE}
    RESULT_VARIABLE status ERROR_VARIABLE warnings)
if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
    message(FATAL_ERROR "groff (${status}) on ${PAGE}:\n${warnings}")
endif()
