# Builds the Debian packages of the build tree BUILD with CPack into WORK
# (removed afterwards) and checks them:
#  - fdk_<VERSION>_<arch>.deb and fdk-dev_<VERSION>_<arch>.deb, nothing else;
#  - fdk depends on libtirpc3 and rpcbind and carries the shared objects, the
#    PROGRAMS (dokfrm with the bus library in a private folder) with their
#    manual pages, a shlibs file and the ldconfig trigger, nothing for
#    development; fdk-dev depends on exactly this fdk and on libtirpc-dev and
#    carries headers (all named fapi_*, fde_* or fde.h), .so links, static
#    libraries, pkg-config files whose prefix is /usr, the CMake package and
#    the library's manual page, nothing to run;
#  - each carries its copyright file and a changelog at VERSION;
#  - with LINTIAN set, lintian finds no error in them (warnings are printed).
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
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE arch
                OUTPUT_STRIP_TRAILING_WHITESPACE)
file(GLOB debs RELATIVE ${WORK} ${WORK}/*.deb)
if(NOT debs STREQUAL "fdk-dev_${VERSION}_${arch}.deb;fdk_${VERSION}_${arch}.deb")
  message(FATAL_ERROR "cpack made [${debs}]")
endif()

set(lib usr/${LIBDIR})
string(REGEX MATCH "^[0-9]+" major "${VERSION}")
set(problems "")

# check(NAME DEPENDS_REGEXES WANTED_FILES FORBIDDEN_REGEX): the package's
# Depends matches each regex, it holds every wanted file ("path" or
# "path -> target") and none that matches the forbidden regex.
function(check name depends wanted forbidden)
  set(deb ${WORK}/${name}_${VERSION}_${arch}.deb)
  execute_process(COMMAND dpkg-deb -f ${deb} Depends OUTPUT_VARIABLE dep)
  foreach(d IN LISTS depends)
    if(NOT dep MATCHES "(^|, )${d}")
      string(APPEND problems "  ${name}: Depends '${dep}' lacks ${d}\n")
    endif()
  endforeach()
  execute_process(COMMAND dpkg-deb -c ${deb} OUTPUT_VARIABLE listing)
  string(REGEX MATCHALL "[^\n]+" lines "${listing}")
  set(files "")
  foreach(line IN LISTS lines)
    # "-rw-r--r-- root/root  1234 2026-01-01 00:00 ./usr/lib/x"
    if(line MATCHES "^[^d][^ ]* [^ ]+ +[0-9]+ [^ ]+ [^ ]+ \\./(.*)$")
      list(APPEND files "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  foreach(f IN LISTS wanted)
    if(NOT f IN_LIST files)
      string(APPEND problems "  ${name}: no ${f}\n")
    endif()
  endforeach()
  foreach(f IN LISTS files)
    if(f MATCHES "${forbidden}")
      string(APPEND problems "  ${name}: does not belong here: ${f}\n")
    endif()
  endforeach()
  # Copyright and changelog, and the package's own files for the caller.
  file(REMOVE_RECURSE ${WORK}/tree)
  execute_process(COMMAND dpkg-deb -x ${deb} ${WORK}/tree)
  execute_process(COMMAND gzip -dc ${WORK}/tree/usr/share/doc/${name}/changelog.gz
                  OUTPUT_VARIABLE changelog ERROR_QUIET)
  if(NOT EXISTS ${WORK}/tree/usr/share/doc/${name}/copyright
     OR NOT changelog MATCHES "^fdk \\(${VERSION}\\) ")
    string(APPEND problems "  ${name}: no copyright file, or no changelog at ${VERSION}\n")
  endif()
  set(problems "${problems}" PARENT_SCOPE)
  set(files "${files}" PARENT_SCOPE)
endfunction()

set(wanted ${lib}/libfdkapi.so.${VERSION} "${lib}/libfdkapi.so.${major} -> libfdkapi.so.${VERSION}"
    ${lib}/libfdkfde.so.${VERSION} "${lib}/libfdkfde.so.${major} -> libfdkfde.so.${VERSION}")
foreach(program IN LISTS PROGRAMS)
  list(APPEND wanted usr/bin/${program} usr/share/man/man1/${program}.1.gz)
endforeach()
if("dokfrm" IN_LIST PROGRAMS)
  list(APPEND wanted ${lib}/fdk/libmbx.so)
endif()
if("framesim" IN_LIST PROGRAMS)
  list(APPEND wanted usr/share/man/man5/framesim.5.gz)
endif()
# (The private folder ${lib}/fdk/ may hold a plain .so.)
check(fdk "libtirpc3;rpcbind;libstdc\\+\\+6;libc6" "${wanted}"
      "^usr/include/|\\.a$|^${lib}/[^/]+\\.so( ->.*)?$|\\.pc$")
execute_process(COMMAND dpkg-deb -I ${WORK}/fdk_${VERSION}_${arch}.deb OUTPUT_VARIABLE control)
execute_process(COMMAND dpkg-deb -I ${WORK}/fdk_${VERSION}_${arch}.deb triggers
                OUTPUT_VARIABLE triggers)
if(NOT control MATCHES " shlibs" OR NOT triggers MATCHES "(^|\n)activate-noawait ldconfig\n")
  string(APPEND problems "  fdk: no shlibs file, or no ldconfig trigger\n")
endif()

check(fdk-dev "fdk \\(= ${VERSION}\\);libtirpc-dev"
      "usr/include/fdk/fapi_runtime.h;usr/include/fdk/fapi_types.h;usr/include/fdk/fapi_procs.def;\
usr/include/fdk/fde.h;usr/include/fdk/fde_types.h;usr/share/man/man3/fdkapi.3.gz;\
${lib}/cmake/Fdk/FdkConfig.cmake;${lib}/cmake/Fdk/FdkConfigVersion.cmake;${lib}/cmake/Fdk/FdkTargets.cmake;\
${lib}/libfdkapi.so -> libfdkapi.so.${major};${lib}/libfdkfde.so -> libfdkfde.so.${major};\
${lib}/libfdkapi.a;${lib}/libfdkfde.a;${lib}/pkgconfig/fdkapi.pc;${lib}/pkgconfig/fdkfde.pc"
      "^usr/bin/|^[^ ]*\\.so\\.[0-9]")
foreach(f IN LISTS files)
  if(f MATCHES "^usr/include/fdk/[^/]+\\.h$" AND NOT f MATCHES "/(fapi_|fde_|fde\\.h$)")
    string(APPEND problems "  fdk-dev: header ${f} is not named like the others\n")
  endif()
endforeach()
foreach(pc fdkapi fdkfde)
  file(STRINGS ${WORK}/tree/${lib}/pkgconfig/${pc}.pc prefix REGEX "^prefix=")
  if(NOT prefix STREQUAL "prefix=/usr")
    string(APPEND problems "  fdk-dev: ${pc}.pc has '${prefix}'\n")
  endif()
endforeach()

if(LINTIAN)
  file(GLOB debs ${WORK}/*.deb)
  execute_process(COMMAND ${LINTIAN} --fail-on error --no-tag-display-limit ${debs}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  message("lintian:\n${out}")
  if(NOT rc EQUAL 0)
    string(APPEND problems "  lintian finds errors (status ${rc}):\n${out}\n${err}\n")
  endif()
else()
  message("lintian is not installed: the packages are not checked against Debian's rules")
endif()

file(REMOVE_RECURSE ${WORK})
if(NOT problems STREQUAL "")
  message(FATAL_ERROR "the Debian packages are not right:\n${problems}")
endif()
