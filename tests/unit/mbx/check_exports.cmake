# Compares the dynamic symbols that LIB defines with the fourteen bus
# operations.
include(${CMAKE_CURRENT_LIST_DIR}/../../support/dynamic_symbols.cmake)
dynamic_symbols(${LIB} defined exported)
if(NOT exported STREQUAL FDK_BUS_OPERATIONS)
  message(FATAL_ERROR "libmbx.so exports\n  ${exported}\nexpected\n  ${FDK_BUS_OPERATIONS}")
endif()
