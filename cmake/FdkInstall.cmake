# Installation and packaging: shared libraries with a SONAME and exported
# symbols under control, the static libraries, the public headers,
# pkg-config files, the programs, and the Debian packages (CPack).
#
# Included at the end of the top-level CMakeLists.txt, after every
# component, so that the programs that exist in this tree are known.
#
# The in-tree programs and tests keep linking the static libraries `fde`
# and `apilib`.  The shared variants `fde_shared` (libfdkfde.so) and
# `apilib_shared` (libfdkapi.so) are linked from the very same object files:
# CMAKE_POSITION_INDEPENDENT_CODE is on, so the static libraries' objects are
# position-independent already and nothing is compiled twice.  The installed
# static libraries carry the same names (libfdkfde.a, libfdkapi.a).
#
# Install components: "runtime" (shared objects, programs) and "dev"
# (headers, static libraries, the .so links, pkg-config files, the example
# client).  They become the Debian packages fdk and fdk-dev.

include(GNUInstallDirs)

set(FDK_SOVERSION ${PROJECT_VERSION_MAJOR})
set(FDK_PKG_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/fdk)

# Libraries -----------------------------------------------------------------
set_target_properties(fde PROPERTIES OUTPUT_NAME fdkfde)
set_target_properties(apilib PROPERTIES OUTPUT_NAME fdkapi)

# fdk_shared_library(NAME STATIC OUTPUT MAP) links the objects of the static
# library STATIC into libOUTPUT.so.<major>, exporting what the version
# script MAP lists and nothing else.
function(fdk_shared_library name static output map)
  add_library(${name} SHARED $<TARGET_OBJECTS:${static}>)
  set_target_properties(${name} PROPERTIES
    OUTPUT_NAME ${output}
    VERSION ${PROJECT_VERSION}
    SOVERSION ${FDK_SOVERSION}
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib
    LINKER_LANGUAGE CXX
    LINK_DEPENDS ${map})
  target_link_options(${name} PRIVATE -Wl,--version-script=${map})
  target_include_directories(${name} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/fdk/include>
    $<INSTALL_INTERFACE:${FDK_PKG_INCLUDEDIR}>)
endfunction()

fdk_shared_library(fde_shared fde fdkfde ${PROJECT_SOURCE_DIR}/fdk/fde/fde.map)
if(NOT FDK_SANITIZE)
  # Self-contained: every reference is resolved by the C and C++ runtimes.
  # (Sanitizer runtimes are resolved from the executable at load time.)
  target_link_options(fde_shared PRIVATE -Wl,--no-undefined)
endif()

# libfdkapi.so is deliberately linked without --no-undefined: F_ApiInitialize,
# F_ApiNotify and F_ApiMessage are the application's and stay undefined in
# the library, bound to the executable's definitions at load time.  An
# executable linked against the library exports them by itself (the linker
# exports every symbol that a shared object on its command line refers to or
# defines); only a program that loads the library indirectly (dlopen, or
# through another shared object) must be linked with -rdynamic (CMake:
# ENABLE_EXPORTS).  The check of the exported symbols also checks that those
# three are the only references left open.
fdk_shared_library(apilib_shared apilib fdkapi ${PROJECT_SOURCE_DIR}/fdk/apilib/apilib.map)
target_link_libraries(apilib_shared PUBLIC fde_shared PkgConfig::TIRPC)
# Whenever libfdkapi.so needs libfdkfde.so, it finds it beside itself, also in
# a prefix the dynamic linker does not search (a client's own run path does
# not reach the dependencies of its libraries).
set_target_properties(apilib_shared PROPERTIES INSTALL_RPATH "$ORIGIN")

# Names in the CMake package (Fdk::api, Fdk::fde, Fdk::api_static,
# Fdk::fde_static); the static libraries' installed include folder.
set_target_properties(apilib_shared PROPERTIES EXPORT_NAME api)
set_target_properties(fde_shared PROPERTIES EXPORT_NAME fde)
set_target_properties(apilib PROPERTIES EXPORT_NAME api_static)
set_target_properties(fde PROPERTIES EXPORT_NAME fde_static)
target_include_directories(apilib INTERFACE $<INSTALL_INTERFACE:${FDK_PKG_INCLUDEDIR}>)
target_include_directories(fde INTERFACE $<INSTALL_INTERFACE:${FDK_PKG_INCLUDEDIR}>)

install(TARGETS fde_shared apilib_shared EXPORT FdkTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
          COMPONENT runtime
          NAMELINK_COMPONENT dev)
install(TARGETS fde apilib EXPORT FdkTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)

# Public headers: plain C, all in one folder; clients add -I<it> (the
# pkg-config files do) and write #include "fapi_runtime.h".
install(DIRECTORY ${PROJECT_SOURCE_DIR}/fdk/include/
  DESTINATION ${FDK_PKG_INCLUDEDIR}
  COMPONENT dev
  FILES_MATCHING PATTERN "*.h" PATTERN "*.def")

# pkg-config files, written when they are installed, with the prefix they
# are installed under (`cmake --install --prefix P` gives P; the Debian
# packages /usr).  The configure step fills in everything else and leaves
# @FDK_PC_PREFIX@ for the install step, which writes the final file into a
# folder of its own per destination (installs may run side by side) and
# installs it from there.
set(FDK_PC_PREFIX "@FDK_PC_PREFIX@")
foreach(pc fdkfde fdkapi)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/${pc}.pc.in
                 ${CMAKE_BINARY_DIR}/pkgconfig/${pc}.pc.in @ONLY)
  install(CODE "
    set(FDK_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
    string(MD5 fdk_pc_dest \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
    set(fdk_pc_file \"${CMAKE_BINARY_DIR}/pkgconfig/\${fdk_pc_dest}/${pc}.pc\")
    configure_file(\"${CMAKE_BINARY_DIR}/pkgconfig/${pc}.pc.in\" \"\${fdk_pc_file}\" @ONLY)
    file(INSTALL \"\${fdk_pc_file}\"
         DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig\")"
    COMPONENT dev)
endforeach()

# The CMake package: find_package(Fdk 5) finds <prefix>/lib/cmake/Fdk.  Any
# 5.x satisfies a request for 5 (SameMajorVersion: the major version is the
# SONAME's).  The imported targets name libtirpc as PkgConfig::TIRPC, which
# FdkConfig.cmake makes with pkg-config when the client has not.
include(CMakePackageConfigHelpers)
set(FDK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Fdk)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/FdkConfig.cmake.in
  ${CMAKE_BINARY_DIR}/cmake/FdkConfig.cmake
  INSTALL_DESTINATION ${FDK_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/cmake/FdkConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(EXPORT FdkTargets NAMESPACE Fdk:: DESTINATION ${FDK_CMAKE_DIR} COMPONENT dev)
install(FILES ${CMAKE_BINARY_DIR}/cmake/FdkConfig.cmake
              ${CMAKE_BINARY_DIR}/cmake/FdkConfigVersion.cmake
        DESTINATION ${FDK_CMAKE_DIR} COMPONENT dev)

# The example client, as source, for the -dev package.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/client/
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/fdk-dev/examples/client
  COMPONENT dev)

# Programs ------------------------------------------------------------------
# Each is installed when its component is in this tree.
foreach(program dokfrm framesim mbxd cadsim)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
            COMPONENT runtime)
  endif()
endforeach()

# The bridge reaches the bus only through libmbx.so.  The stand-in's library
# is the bridge's, not a general-purpose one: it goes to a private folder
# that the bridge finds through its run path.  That is a RUNPATH (the
# linker's default here), so LD_LIBRARY_PATH can still put another bus
# library with the same fourteen operations in its place.
if(TARGET mbx AND TARGET dokfrm)
  install(TARGETS mbx LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/fdk
          COMPONENT runtime NAMELINK_SKIP)
  set_target_properties(dokfrm PROPERTIES
    INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}/fdk")
endif()

# Documents of each package: the copyright file (Debian's machine-readable
# format) and the changelog, compressed as the manual pages are (man/).
# Both packages are native (version without a Debian revision), so the
# changelog is changelog.gz.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(FDK_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/deb/changelog.gz)
add_custom_command(OUTPUT ${FDK_CHANGELOG_GZ}
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/cmake/deb/changelog
          ${CMAKE_BINARY_DIR}/deb/changelog
  COMMAND ${GZIP_PROGRAM} -9nf ${CMAKE_BINARY_DIR}/deb/changelog
  DEPENDS ${PROJECT_SOURCE_DIR}/cmake/deb/changelog
  COMMENT "Compressing the changelog"
  VERBATIM)
add_custom_target(fdk_changelog ALL DEPENDS ${FDK_CHANGELOG_GZ})
foreach(entry fdk:runtime fdk-dev:dev)
  string(REPLACE ":" ";" entry "${entry}")
  list(GET entry 0 package)
  list(GET entry 1 component)
  install(FILES ${PROJECT_SOURCE_DIR}/cmake/deb/copyright ${FDK_CHANGELOG_GZ}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

# Debian packages -----------------------------------------------------------
# `cpack -G DEB` in the build folder makes fdk_<version>_<arch>.deb and
# fdk-dev_<version>_<arch>.deb.
set(CPACK_PACKAGE_NAME fdk)
set(CPACK_PACKAGE_VENDOR "fdk")
set(CPACK_PACKAGE_CONTACT "fdk maintainers <fdk@example.org>")
# Each package's summary is the first line of its description below.
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Install into the package's staging folder through DESTDIR with the real
# prefix, so that the pkg-config files name /usr.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_COMPONENTS_ALL runtime dev)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME fdk)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# (CPack indents the lines after the first itself.)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
  "Frame API client library, support library and the documentation bridge
The shared libraries libfdkapi (Frame API clients over ONC RPC: start-up,
callbacks with the turn-over protocol, call functions, XDR encoders) and
libfdkfde (strings, memory, formatted printing, files and paths), the
bridge dokfrm, and the stand-ins framesim, mbxd and cadsim, with their
manual pages.")
# What dpkg-shlibdeps finds for these objects on Debian 12, written out so
# that building the package needs no dpkg-dev; rpcbind is the port mapper
# every client and Frame register with.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS
  "libc6 (>= 2.34), libgcc-s1 (>= 3.0), libstdc++6 (>= 11), libtirpc3 (>= 1.0.2), rpcbind")
# A shlibs file for packages built against these libraries (only fdk has
# versioned shared objects), and the ldconfig trigger that Debian wants from
# a package with shared libraries in the linker's folders.  (CPack also
# calls ldconfig in postinst and postrm by itself, as long as a package
# brings no scripts of its own; lintian notes that as redundant.)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/deb/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_DEV_PACKAGE_NAME fdk-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_DESCRIPTION
  "Frame API client library and support library: development files
Headers, static libraries, pkg-config files (fdkapi, fdkfde) and the CMake
package (find_package(Fdk)) for building Frame API clients, the manual
page fdkapi(3), and an example client.")
# The headers include <rpc/rpc.h>: building a client needs libtirpc-dev.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
  "fdk (= ${PROJECT_VERSION}), libtirpc-dev")
set(CPACK_DEBIAN_DEV_PACKAGE_RECOMMENDS "pkgconf | pkg-config")

include(CPack)
