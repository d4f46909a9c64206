# Builds the Debian packages of the build tree BUILD with CPack into WORK
# (removed afterwards) and runs LINTIAN on each: any error fails the check;
# warnings and the rest are printed.  Exit status 77 (skipped) without
# LINTIAN.
cmake_minimum_required(VERSION 3.25)
foreach(v CPACK BUILD WORK)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "check_lintian.cmake needs -D${v}=...")
  endif()
endforeach()
if(NOT LINTIAN)
  message("lintian is not installed: the packages are not checked against Debian's rules")
  cmake_language(EXIT 77)
endif()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${CPACK} -G DEB --config ${BUILD}/CPackConfig.cmake -B ${WORK}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  file(REMOVE_RECURSE ${WORK})
  message(FATAL_ERROR "cpack failed:\n${out}\n${err}")
endif()
file(GLOB debs ${WORK}/*.deb)
list(SORT debs)
if(debs STREQUAL "")
  message(FATAL_ERROR "cpack made no package")
endif()

# --fail-on error: warnings and informational tags are reported, not fatal.
execute_process(COMMAND ${LINTIAN} --fail-on error --no-tag-display-limit ${debs}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
file(REMOVE_RECURSE ${WORK})
message("${out}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "lintian finds errors (status ${rc}):\n${out}\n${err}")
endif()
string(REGEX MATCHALL "(^|\n)[EWIPX]: " tags "${out}")
list(LENGTH tags count)
message(STATUS "lintian: no errors (${count} other tags above)")
