# Formats each manual page of PAGES the way groff and man-db do when asked
# for warnings (-ww: all of them; man --warnings is what lintian runs, at
# 80 columns), and fails on any warning or error.  Exit status 77 (skipped)
# when neither program is there.
cmake_minimum_required(VERSION 3.25)
find_program(GROFF groff)
find_program(MAN man)
if(NOT GROFF AND NOT MAN)
  message("neither groff nor man is installed: manual pages not checked")
  cmake_language(EXIT 77)
endif()

set(problems "")
foreach(page IN LISTS PAGES)
  set(runs "")
  if(GROFF)
    execute_process(COMMAND ${GROFF} -man -ww -z ${page}
                    RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
    if(NOT rc EQUAL 0 OR NOT err STREQUAL "")
      string(APPEND problems "groff -man -ww -z ${page} (status ${rc}):\n${err}\n")
    endif()
  endif()
  if(MAN)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 MANROFFSEQ= MANWIDTH=80
                            ${MAN} --warnings -E UTF-8 -l -Tutf8 -Z ${page}
                    RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
    if(NOT rc EQUAL 0 OR NOT err STREQUAL "")
      string(APPEND problems "man --warnings ${page} (status ${rc}):\n${err}\n")
    endif()
  endif()
endforeach()
if(NOT problems STREQUAL "")
  message(FATAL_ERROR "manual pages with warnings:\n${problems}")
endif()
list(LENGTH PAGES count)
message(STATUS "${count} manual pages without warnings")
