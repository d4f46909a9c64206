# Compares the dynamic symbols that LIB defines with the fourteen bus
# operations.
execute_process(COMMAND ${NM} -D --defined-only ${LIB}
                OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIB}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${out}")
set(found "")
foreach(line IN LISTS lines)
  # "address type name"; version-definition entries (type A) are not code.
  if(line MATCHES "^[0-9a-fA-F]* *([A-Za-z]) ([^ ]+)$")
    if(NOT CMAKE_MATCH_1 STREQUAL "A")
      list(APPEND found ${CMAKE_MATCH_2})
    endif()
  endif()
endforeach()
list(SORT found)
set(want mbx_call mbx_declare mbx_dispatch mbx_end_setup mbx_fd_set mbx_get_fd
         mbx_init mbx_next mbx_read mbx_receive mbx_register_request
         mbx_request_info mbx_send mbx_write)
list(SORT want)
if(NOT found STREQUAL want)
  message(FATAL_ERROR "libmbx.so exports\n  ${found}\nexpected\n  ${want}")
endif()
