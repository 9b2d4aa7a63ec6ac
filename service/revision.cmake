# Writes revision.h with the short commit id and the commit date of the
# checkout, for the program's identification string.  Run at every build;
# the header is rewritten only when its text changes, so an unchanged
# revision rebuilds nothing.
#   cmake -DSOURCE_DIR=<checkout> -DOUTPUT=<revision.h> -P revision.cmake
set(revision "unknown")
string(TIMESTAMP date "%Y-%m-%d" UTC)

find_package(Git QUIET)
if(GIT_FOUND)
    execute_process(
        COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} log -1 --format=%h%n%cd --date=short
        OUTPUT_VARIABLE out
        RESULT_VARIABLE rc
        ERROR_QUIET
        OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(rc EQUAL 0 AND out MATCHES "^([0-9a-f]+)\n([0-9]+-[0-9]+-[0-9]+)$")
        set(revision ${CMAKE_MATCH_1})
        set(date ${CMAKE_MATCH_2})
    endif()
endif()

set(text "// Generated at build time; do not edit.\n#define TAVRIN_REVISION \"${revision}\"\n#define TAVRIN_REVISION_DATE \"${date}\"\n")
if(EXISTS ${OUTPUT})
    file(READ ${OUTPUT} old)
endif()
if(NOT "${old}" STREQUAL "${text}")
    file(WRITE ${OUTPUT} "${text}")
endif()
