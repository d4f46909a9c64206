# Checks the dynamic symbols of libfdkfde.so (FDE) and libfdkapi.so (API)
# against the public headers in INCLUDE:
#  - no C++ (mangled _Z...) symbol is exported;
#  - every exported symbol is a function or variable the headers declare;
#  - every function and variable the headers declare is exported by exactly
#    one of the two libraries, except the application's entry points
#    F_ApiInitialize, F_ApiNotify and F_ApiMessage, which no library defines;
#  - those three are the only references libfdkapi.so leaves for the
#    application (nothing else undefined without a version from a needed
#    library), and libfdkfde.so leaves none.  Not checked with SANITIZE on:
#    the sanitizer runtime's unversioned interceptors (malloc, xdr_int ...)
#    then satisfy the C library's references at link time.
# The functions the headers declare are read from the C compiler's own list
# of prototypes (-aux-info), the variables from their `extern` lines.
#
# Parameters: FDE, API (library paths), NM, CC, INCLUDE (public header
# folder), CFLAGS (;-list of extra flags, e.g. libtirpc's -I), WORK (a
# scratch folder, removed afterwards), SANITIZE (ON in sanitizer builds).
cmake_minimum_required(VERSION 3.25)
foreach(v FDE API NM CC INCLUDE WORK)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "check_exports.cmake needs -D${v}=...")
  endif()
endforeach()

set(entry_points F_ApiInitialize F_ApiMessage F_ApiNotify)

# --- What the headers declare -------------------------------------------
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(GLOB headers ${INCLUDE}/*.h)
set(tu "")
foreach(h IN LISTS headers)
  string(APPEND tu "#include \"${h}\"\n")
endforeach()
file(WRITE ${WORK}/all_headers.c "${tu}")
execute_process(
  COMMAND ${CC} ${CFLAGS} -I${INCLUDE} -fsyntax-only -aux-info ${WORK}/protos.txt
          ${WORK}/all_headers.c
  RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the public headers do not compile as C:\n${err}")
endif()
file(STRINGS ${WORK}/protos.txt protos)
file(REMOVE_RECURSE ${WORK})

set(functions "")
foreach(line IN LISTS protos)
  # "/* <file>:<line>:NC */ extern <type> <name> (<parameters>);"
  if(NOT line MATCHES "^/\\* ([^:]+):[0-9]+:[A-Z][A-Z] \\*/ extern (.*)$")
    continue()
  endif()
  get_filename_component(dir "${CMAKE_MATCH_1}" DIRECTORY)
  if(NOT dir STREQUAL INCLUDE)
    continue()
  endif()
  set(decl "${CMAKE_MATCH_2}")
  string(FIND "${decl}" " (" at)
  string(SUBSTRING "${decl}" 0 ${at} head)
  if(NOT head MATCHES "([A-Za-z_][A-Za-z0-9_]*)$")
    message(FATAL_ERROR "cannot read the name in: ${line}")
  endif()
  list(APPEND functions ${CMAKE_MATCH_1})
endforeach()
list(REMOVE_DUPLICATES functions)

set(variables "")
foreach(h IN LISTS headers)
  file(STRINGS ${h} lines REGEX "^extern ")
  foreach(line IN LISTS lines)
    if(line MATCHES "^extern [^(;]*[ *]([A-Za-z_][A-Za-z0-9_]*)(\\[[^]]*\\])? *;")
      list(APPEND variables ${CMAKE_MATCH_1})
    endif()
  endforeach()
endforeach()
list(REMOVE_DUPLICATES variables)

set(declared ${functions} ${variables})
list(LENGTH functions n_functions)
list(LENGTH variables n_variables)
if(n_functions LESS 100)
  message(FATAL_ERROR "only ${n_functions} functions read from ${INCLUDE}: the reader is broken")
endif()

# --- What the libraries export and leave open ---------------------------
include(${CMAKE_CURRENT_LIST_DIR}/../../support/dynamic_symbols.cmake)

dynamic_symbols(${FDE} defined fde_exports)
dynamic_symbols(${API} defined api_exports)
dynamic_symbols(${FDE} open fde_open)
dynamic_symbols(${API} open api_open)

set(problems "")
foreach(lib fde api)
  foreach(s IN LISTS ${lib}_exports)
    if(s MATCHES "^_Z")
      string(APPEND problems "  ${lib}: exports C++ symbol ${s}\n")
    elseif(NOT s IN_LIST declared)
      string(APPEND problems "  ${lib}: exports ${s}, which no public header declares\n")
    endif()
  endforeach()
endforeach()

set(both ${fde_exports} ${api_exports})
foreach(s IN LISTS declared)
  list(FIND both ${s} first)
  list(FIND entry_points ${s} entry)
  if(entry GREATER -1)
    if(first GREATER -1)
      string(APPEND problems "  ${s} is the application's but a library defines it\n")
    endif()
  elseif(first EQUAL -1)
    string(APPEND problems "  ${s} is declared but neither library exports it\n")
  elseif(s IN_LIST fde_exports AND s IN_LIST api_exports)
    string(APPEND problems "  ${s} is exported by both libraries\n")
  endif()
endforeach()

if(NOT SANITIZE)
  if(NOT fde_open STREQUAL "")
    string(APPEND problems "  fde: leaves unresolved ${fde_open}\n")
  endif()
  if(NOT api_open STREQUAL entry_points)
    string(APPEND problems
      "  api: leaves unresolved ${api_open}; only ${entry_points} should be\n")
  endif()
endif()

list(LENGTH fde_exports n_fde)
list(LENGTH api_exports n_api)
message(STATUS "libfdkfde exports ${n_fde} symbols, libfdkapi ${n_api}; the public headers "
               "declare ${n_functions} functions and ${n_variables} variables")
if(NOT problems STREQUAL "")
  message(FATAL_ERROR "exported symbols do not match the public headers:\n${problems}")
endif()
