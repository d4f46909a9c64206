# Shared by the symbol checks of the test scripts (cmake -P).

# The fourteen operations of the bus library.
set(FDK_BUS_OPERATIONS mbx_call mbx_declare mbx_dispatch mbx_end_setup mbx_fd_set
    mbx_get_fd mbx_init mbx_next mbx_read mbx_receive mbx_register_request
    mbx_request_info mbx_send mbx_write)
list(SORT FDK_BUS_OPERATIONS)

# dynamic_symbols(FILE MODE OUT): the dynamic symbols of FILE (nm -D, the
# tool given as NM), sorted.  "defined": the symbols it defines, without
# version suffix and version-definition entries; "open": the undefined
# non-weak ones that no needed library versions (sanitizer runtime entries
# left out); "undefined": every undefined one, as named.
function(dynamic_symbols lib mode out)
  if(mode STREQUAL "defined")
    set(flag --defined-only)
  else()
    set(flag --undefined-only)
  endif()
  execute_process(COMMAND ${NM} -D ${flag} ${lib} OUTPUT_VARIABLE text RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "nm failed on ${lib}")
  endif()
  string(REGEX MATCHALL "[^\n]+" lines "${text}")
  set(found "")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "^[0-9a-fA-F]* *([A-Za-z]) ([^ ]+)$")
      continue()
    endif()
    set(type ${CMAKE_MATCH_1})
    set(name ${CMAKE_MATCH_2})
    if(mode STREQUAL "defined")
      if(type STREQUAL "A")
        continue()
      endif()
      string(REGEX REPLACE "@.*$" "" name "${name}")
      list(APPEND found ${name})
    elseif(mode STREQUAL "undefined")
      list(APPEND found ${name})
    elseif(NOT type MATCHES "^[wv]$" AND NOT name MATCHES "@"
           AND NOT name MATCHES "^__(asan|ubsan|sanitizer|lsan)_")
      list(APPEND found ${name})
    endif()
  endforeach()
  list(SORT found)
  set(${out} "${found}" PARENT_SCOPE)
endfunction()
