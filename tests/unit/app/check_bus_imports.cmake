# The bridge reaches the bus only through the fourteen operations, from a
# library named plainly libmbx.so, so that another bus library can take the
# place of ours.  Compares the mbx_ symbols that EXE imports with the
# fourteen and checks how it names the library.
execute_process(COMMAND ${NM} -D --undefined-only ${EXE}
                OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${EXE}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${out}")
set(found "")
foreach(line IN LISTS lines)
  if(line MATCHES " U (mbx_[^ @]+)")
    list(APPEND found ${CMAKE_MATCH_1})
  endif()
endforeach()
list(SORT found)
set(want mbx_call mbx_declare mbx_dispatch mbx_end_setup mbx_fd_set mbx_get_fd
         mbx_init mbx_next mbx_read mbx_receive mbx_register_request
         mbx_request_info mbx_send mbx_write)
list(SORT want)
if(NOT found STREQUAL want)
  message(FATAL_ERROR "dokfrm imports\n  ${found}\nexpected\n  ${want}")
endif()
execute_process(COMMAND ${READELF} -d ${EXE} OUTPUT_VARIABLE dyn RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT dyn MATCHES "\\[libmbx\\.so\\]")
  message(FATAL_ERROR "dokfrm does not load the bus as plain libmbx.so:\n${dyn}")
endif()
