# Debian packages, one per install component:
#   libkytoutil1         runtime library
#   libkytoutil-dev      header, pkg-config file, CMake package, libkytoutil(3)
#   kyto-tools           clientadm, treeshaper, their manual pages and completions
#   kyto-appliance-standins  the stand-ins for appliance interfaces; on the appliance the real
#                        ones take their place. scripts/package.sh configures with
#                        KYTO_INSTALL_TEST_TOOLS=ON, so that it holds the agent and cache writer
#                        too; a build without stand-ins (KYTO_STANDINS=OFF) has no such package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kyto)
set(CPACK_PACKAGE_VENDOR "Kyto")
set(CPACK_PACKAGE_CONTACT "Kyto maintainers <maintainers@users.noreply.c-seed-1cadbb5a.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev tools)
if(KYTO_STANDINS)
  list(APPEND CPACK_COMPONENTS_ALL standins)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Our own shared libraries are found in the build tree; the dependencies between our packages
# are declared below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
    ${PROJECT_BINARY_DIR}/libkytoutil ${PROJECT_BINARY_DIR}/platform/brix
    ${PROJECT_BINARY_DIR}/platform/corvi)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://kyto.example/")
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
# Packages holding shared libraries get a shlibs file and an ldconfig trigger.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/debian-meta/triggers)
set(CPACK_DEBIAN_STANDINS_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/debian-meta/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libkytoutil1)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "Kyto media server client settings library\n The library owns the media server's client access list and reads its client\n type catalogue.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libkytoutil-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libkytoutil1 (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_DEV_DESCRIPTION
    "Kyto media server client settings library (development files)\n Header, pkg-config file and CMake package of libkytoutil.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME kyto-tools)
# clientadm carries the library's code itself (libkytoutil/CMakeLists.txt): the tools need the
# stand-ins, where there are any, but not libkytoutil1.
set(CPACK_COMPONENT_TOOLS_DEPENDS "")
if(KYTO_STANDINS)
  list(APPEND CPACK_COMPONENT_TOOLS_DEPENDS standins)
endif()
set(CPACK_COMPONENT_TOOLS_DESCRIPTION
    "Kyto media server client administration tools\n clientadm adds, deletes and lists the media server's clients; treeshaper\n writes custom browse-tree files.")

set(CPACK_DEBIAN_STANDINS_PACKAGE_NAME kyto-appliance-standins)
# The media library stand-in opens FFmpeg only when asked for a duration.
set(CPACK_DEBIAN_STANDINS_PACKAGE_RECOMMENDS "libavformat59")
set(CPACK_COMPONENT_STANDINS_DESCRIPTION
    "Stand-ins for the Kyto appliance interfaces\n Process helpers, media metadata library, DMC agent and client cache writer,\n for machines that are not the appliance.")

# A Debian package carries its copyright file and changelog in a folder named for the package,
# where Debian expects them; a plain install keeps one copy of each in share/doc/kyto.
option(KYTO_PACKAGE_DOCS
       "Install the copyright file and changelog in each Debian package's share/doc/PACKAGE" OFF)
set(kyto_docs ${PROJECT_SOURCE_DIR}/debian-meta/copyright ${PROJECT_BINARY_DIR}/changelog.gz)
if(KYTO_PACKAGE_DOCS)
  foreach(component runtime dev tools standins)
    string(TOUPPER ${component} upper)
    install(FILES ${kyto_docs}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME}
            COMPONENT ${component})
  endforeach()
else()
  install(FILES ${kyto_docs} DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)
endif()
find_program(GZIP_EXECUTABLE gzip REQUIRED)
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/changelog.gz
  COMMAND ${GZIP_EXECUTABLE} -9 -n -c ${PROJECT_SOURCE_DIR}/debian-meta/changelog.Debian
          > ${PROJECT_BINARY_DIR}/changelog.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/debian-meta/changelog.Debian
  VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/changelog.gz)

include(CPack)
