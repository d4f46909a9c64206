# EXE imports exactly the fourteen bus operations, from a library named plainly
# libmbx.so, so that another bus library can take the place of ours.
include(${CMAKE_CURRENT_LIST_DIR}/../../support/dynamic_symbols.cmake)
dynamic_symbols(${EXE} undefined imported)
list(FILTER imported INCLUDE REGEX "^mbx_")
if(NOT imported STREQUAL FDK_BUS_OPERATIONS)
  message(FATAL_ERROR "dokfrm imports\n  ${imported}\nexpected\n  ${FDK_BUS_OPERATIONS}")
endif()
execute_process(COMMAND ${READELF} -d ${EXE} OUTPUT_VARIABLE dyn RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT dyn MATCHES "\\[libmbx\\.so\\]")
  message(FATAL_ERROR "dokfrm does not load the bus as plain libmbx.so:\n${dyn}")
endif()
