# Builds the Debian packages of the build tree BUILD with CPack into WORK
# (removed afterwards) and checks them with dpkg-deb:
#  - fdk_<VERSION>_<arch>.deb and fdk-dev_<VERSION>_<arch>.deb, nothing else;
#  - fdk depends on libtirpc3 and rpcbind and carries the shared objects
#    (file and SONAME link), the PROGRAMS (dokfrm with the bus library in a
#    private folder) with their manual pages, a shlibs file and the ldconfig
#    trigger, and nothing for development;
#  - fdk-dev depends on exactly this fdk and on libtirpc-dev and carries the
#    headers, the .so links, the static libraries, the pkg-config files,
#    whose prefix is /usr, the CMake package and the library's manual page;
#  - each carries its copyright file and a changelog whose newest entry is
#    this VERSION.
cmake_minimum_required(VERSION 3.25)
foreach(v CPACK BUILD VERSION LIBDIR WORK)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "check_deb.cmake needs -D${v}=...")
  endif()
endforeach()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
execute_process(COMMAND ${CPACK} -G DEB --config ${BUILD}/CPackConfig.cmake -B ${WORK}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cpack failed:\n${out}\n${err}")
endif()
file(GLOB debs RELATIVE ${WORK} ${WORK}/*.deb)
list(SORT debs)

set(problems "")
macro(problem text)
  string(APPEND problems "  ${text}\n")
endmacro()

execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE arch
                OUTPUT_STRIP_TRAILING_WHITESPACE)
set(runtime_deb fdk_${VERSION}_${arch}.deb)
set(dev_deb fdk-dev_${VERSION}_${arch}.deb)
set(want_debs ${dev_deb} ${runtime_deb})
list(SORT want_debs)
if(NOT debs STREQUAL want_debs)
  file(REMOVE_RECURSE ${WORK})
  message(FATAL_ERROR "cpack made [${debs}], expected [${want_debs}]")
endif()

# deb_field(DEB FIELD OUT) and deb_files(DEB OUT): a control field, and the
# listing as "path" or "path -> target" entries.
function(deb_field deb field out)
  execute_process(COMMAND dpkg-deb -f ${WORK}/${deb} ${field} OUTPUT_VARIABLE v
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  set(${out} "${v}" PARENT_SCOPE)
endfunction()
function(deb_files deb out)
  execute_process(COMMAND dpkg-deb -c ${WORK}/${deb} OUTPUT_VARIABLE listing)
  string(REGEX MATCHALL "[^\n]+" lines "${listing}")
  set(files "")
  foreach(line IN LISTS lines)
    # "-rw-r--r-- root/root  1234 2026-01-01 00:00 ./usr/lib/x"
    if(line MATCHES "^[^d][^ ]* [^ ]+ +[0-9]+ [^ ]+ [^ ]+ \\./(.*)$")
      list(APPEND files "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  set(${out} "${files}" PARENT_SCOPE)
endfunction()
function(deb_control deb out)
  execute_process(COMMAND dpkg-deb -I ${WORK}/${deb} OUTPUT_VARIABLE info)
  set(${out} "${info}" PARENT_SCOPE)
endfunction()

set(lib usr/${LIBDIR})
string(REGEX MATCH "^[0-9]+" major "${VERSION}")

# --- fdk ---------------------------------------------------------------------
deb_field(${runtime_deb} Package name)
deb_field(${runtime_deb} Depends depends)
deb_files(${runtime_deb} files)
deb_control(${runtime_deb} control)
if(NOT name STREQUAL "fdk")
  problem("${runtime_deb}: Package is '${name}'")
endif()
foreach(dep libtirpc3 rpcbind libstdc\\+\\+6 libc6)
  if(NOT depends MATCHES "(^|, )${dep}( |,|$)")
    problem("${runtime_deb}: Depends '${depends}' lacks ${dep}")
  endif()
endforeach()
foreach(l fdkapi fdkfde)
  if(NOT "${lib}/lib${l}.so.${VERSION}" IN_LIST files)
    problem("${runtime_deb}: no ${lib}/lib${l}.so.${VERSION}")
  endif()
  if(NOT "${lib}/lib${l}.so.${major} -> lib${l}.so.${VERSION}" IN_LIST files)
    problem("${runtime_deb}: no SONAME link ${lib}/lib${l}.so.${major}")
  endif()
endforeach()
foreach(program IN LISTS PROGRAMS)
  if(NOT "usr/bin/${program}" IN_LIST files)
    problem("${runtime_deb}: no usr/bin/${program}")
  endif()
endforeach()
if("dokfrm" IN_LIST PROGRAMS AND NOT "${lib}/fdk/libmbx.so" IN_LIST files)
  problem("${runtime_deb}: no ${lib}/fdk/libmbx.so for dokfrm")
endif()
foreach(f IN LISTS files)
  # (A private library folder such as ${lib}/fdk/ may hold plain .so files.)
  if(f MATCHES "^usr/include/|\\.a$|^${lib}/[^/]+\\.so( ->.*)?$|\\.pc$")
    problem("${runtime_deb}: development file ${f}")
  endif()
endforeach()
execute_process(COMMAND dpkg-deb -I ${WORK}/${runtime_deb} triggers OUTPUT_VARIABLE triggers)
if(NOT control MATCHES " shlibs" OR NOT triggers MATCHES "(^|\n)activate-noawait ldconfig\n")
  problem("${runtime_deb}: no shlibs file, or no ldconfig trigger:\n${control}")
endif()
foreach(page IN LISTS PROGRAMS)
  if(NOT "usr/share/man/man1/${page}.1.gz" IN_LIST files)
    problem("${runtime_deb}: no manual page usr/share/man/man1/${page}.1.gz")
  endif()
endforeach()
if("framesim" IN_LIST PROGRAMS AND NOT "usr/share/man/man5/framesim.5.gz" IN_LIST files)
  problem("${runtime_deb}: no manual page usr/share/man/man5/framesim.5.gz")
endif()

# --- fdk-dev -----------------------------------------------------------------
deb_field(${dev_deb} Package name)
deb_field(${dev_deb} Depends depends)
deb_files(${dev_deb} files)
if(NOT name STREQUAL "fdk-dev")
  problem("${dev_deb}: Package is '${name}'")
endif()
if(NOT depends MATCHES "(^|, )fdk \\(= ${VERSION}\\)" OR NOT depends MATCHES "libtirpc-dev")
  problem("${dev_deb}: Depends '${depends}'")
endif()
foreach(f usr/include/fdk/fapi_runtime.h usr/include/fdk/fapi_types.h
          usr/share/man/man3/fdkapi.3.gz
          ${lib}/cmake/Fdk/FdkConfig.cmake ${lib}/cmake/Fdk/FdkConfigVersion.cmake
          ${lib}/cmake/Fdk/FdkTargets.cmake
          usr/include/fdk/fapi_procs.def usr/include/fdk/fde.h usr/include/fdk/fde_types.h
          "${lib}/libfdkapi.so -> libfdkapi.so.${major}"
          "${lib}/libfdkfde.so -> libfdkfde.so.${major}"
          ${lib}/libfdkapi.a ${lib}/libfdkfde.a
          ${lib}/pkgconfig/fdkapi.pc ${lib}/pkgconfig/fdkfde.pc)
  if(NOT f IN_LIST files)
    problem("${dev_deb}: no ${f}")
  endif()
endforeach()
# Every public header is named fapi_* or fde_*, bar the umbrella fde.h.
foreach(f IN LISTS files)
  if(f MATCHES "^usr/include/fdk/([^/]+\\.h)$")
    set(header ${CMAKE_MATCH_1})
    if(NOT header MATCHES "^(fapi_|fde_)" AND NOT header STREQUAL "fde.h")
      problem("${dev_deb}: header ${header} is not named like the others")
    endif()
  endif()
endforeach()
# The pkg-config files name the packages' prefix, not the staging folder.
foreach(pc fdkapi fdkfde)
  execute_process(COMMAND dpkg-deb --fsys-tarfile ${WORK}/${dev_deb} OUTPUT_FILE ${WORK}/dev.tar)
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${WORK}/dev.tar ./${lib}/pkgconfig/${pc}.pc
                  WORKING_DIRECTORY ${WORK})
  file(STRINGS ${WORK}/${lib}/pkgconfig/${pc}.pc prefix REGEX "^prefix=")
  if(NOT prefix STREQUAL "prefix=/usr")
    problem("${dev_deb}: ${pc}.pc has '${prefix}'")
  endif()
endforeach()
foreach(f IN LISTS files)
  if(f MATCHES "^usr/bin/|^[^ ]*\\.so\\.[0-9]")
    problem("${dev_deb}: run-time file ${f}")
  endif()
endforeach()

# --- both ----------------------------------------------------------------------
foreach(pair "${runtime_deb}:fdk" "${dev_deb}:fdk-dev")
  string(REPLACE ":" ";" pair "${pair}")
  list(GET pair 0 deb)
  list(GET pair 1 name)
  file(REMOVE_RECURSE ${WORK}/tree)
  file(MAKE_DIRECTORY ${WORK}/tree)
  execute_process(COMMAND dpkg-deb -x ${WORK}/${deb} ${WORK}/tree)
  set(doc ${WORK}/tree/usr/share/doc/${name})
  if(NOT EXISTS ${doc}/copyright)
    problem("${deb}: no usr/share/doc/${name}/copyright")
  endif()
  execute_process(COMMAND gzip -dc ${doc}/changelog.gz OUTPUT_VARIABLE changelog
                  RESULT_VARIABLE rc ERROR_QUIET)
  if(NOT rc EQUAL 0 OR NOT changelog MATCHES "^fdk \\(${VERSION}\\) ")
    problem("${deb}: usr/share/doc/${name}/changelog.gz missing or not at ${VERSION}")
  endif()
endforeach()

file(REMOVE_RECURSE ${WORK})
if(NOT problems STREQUAL "")
  message(FATAL_ERROR "the Debian packages are not right:\n${problems}")
endif()
message(STATUS "${runtime_deb} and ${dev_deb}: names, dependencies and contents as expected")
