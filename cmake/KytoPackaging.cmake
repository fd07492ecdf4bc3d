# Debian packages, one per install component:
#   libkytoutil1         runtime library
#   libkytoutil-dev      header, pkg-config file, CMake package, libkytoutil(3)
#   kyto-tools           clientadm, treeshaper, their manual pages and completions
#   kyto-appliance-standins  the stand-ins for appliance interfaces; on the appliance the real
#                        ones take their place
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kyto)
set(CPACK_PACKAGE_VENDOR "Kyto")
set(CPACK_PACKAGE_CONTACT "Kyto maintainers <maintainers@users.noreply.c-seed-1cadbb5a.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev tools standins)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://kyto.example/")
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libkytoutil1)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "Kyto media server client settings library\n The library owns the media server's client access list and reads its client\n type catalogue.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libkytoutil-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libkytoutil1 (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_DEV_DESCRIPTION
    "Kyto media server client settings library (development files)\n Header, pkg-config file and CMake package of libkytoutil.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME kyto-tools)
set(CPACK_COMPONENT_TOOLS_DEPENDS runtime standins)
set(CPACK_COMPONENT_TOOLS_DESCRIPTION
    "Kyto media server client administration tools\n clientadm adds, deletes and lists the media server's clients; treeshaper\n writes custom browse-tree files.")

set(CPACK_DEBIAN_STANDINS_PACKAGE_NAME kyto-appliance-standins)
set(CPACK_DEBIAN_STANDINS_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_COMPONENT_STANDINS_DESCRIPTION
    "Stand-ins for the Kyto appliance interfaces\n Process helpers, media metadata library, DMC agent and client cache writer,\n for machines that are not the appliance.")

# Every package carries its copyright file and changelog where Debian expects them.
foreach(component runtime dev tools standins)
  string(TOUPPER ${component} upper)
  set(package ${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
  install(FILES ${PROJECT_SOURCE_DIR}/debian-meta/copyright
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
  install(FILES ${PROJECT_BINARY_DIR}/changelog.Debian.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()
find_program(GZIP_EXECUTABLE gzip REQUIRED)
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/changelog.Debian.gz
  COMMAND ${GZIP_EXECUTABLE} -9 -n -c ${PROJECT_SOURCE_DIR}/debian-meta/changelog.Debian
          > ${PROJECT_BINARY_DIR}/changelog.Debian.gz
  DEPENDS ${PROJECT_SOURCE_DIR}/debian-meta/changelog.Debian
  VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/changelog.Debian.gz)

include(CPack)
