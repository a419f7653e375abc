# Debian packages through CPack (`cpack -G DEB` in a build tree, or `make package`):
#  - runtime: the shared object, stripped, named after its soname as Debian does (liborvcore0.2),
#    and its debug symbols apart (liborvcore0.2-dbgsym);
#  - development: headers, the CMake package and the pkg-config file (liborvcore-dev).
# The Qt 6 build's packages carry the Qt major (liborvcore6-0.2, liborvcore6-dev), so that both
# can be installed together. A static build has only the development package.
string(TOLOWER ${ORV_PACKAGE_NAME} ORV_DEB_BASE)
if(ORV_SOVERSION MATCHES "[0-9]$" AND ORV_DEB_BASE MATCHES "[0-9]$")
    set(ORV_DEB_RUNTIME lib${ORV_DEB_BASE}-${ORV_SOVERSION})
else()
    set(ORV_DEB_RUNTIME lib${ORV_DEB_BASE}${ORV_SOVERSION})
endif()
set(ORV_DEB_DEV lib${ORV_DEB_BASE}-dev)
if(ORV_QT_MAJOR STREQUAL "5")
    set(ORV_DEB_QT_DEV "qtbase5-dev (>= 5.15)")
else()
    set(ORV_DEB_QT_DEV "qt6-base-dev")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lib${ORV_DEB_BASE})
set(CPACK_PACKAGE_VENDOR "OrvCore")
set(CPACK_PACKAGE_CONTACT "OrvCore developers <dev@orvcore.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
# Install with DESTDIR, so that the pkg-config file names the real prefix, not CPack's staging
# directory.
set(CPACK_SET_DESTDIR ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${ORV_DEB_RUNTIME})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# dpkg-shlibdeps works out the Qt Core, C++ and C runtime packages from the shared object.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
# The shared object ships stripped; its debug symbols go to a package of their own
# (${ORV_DEB_RUNTIME}-dbgsym, a .ddeb found by build id), as Debian ships them.
set(CPACK_DEBIAN_RUNTIME_DEBUGINFO_PACKAGE ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "render-pass graph library for Qt ${ORV_QT_MAJOR}")
set(ORV_DEB_ABOUT "OrvCore lets a host application organise its rendering as a graph of render \
passes: a hierarchical port graph, a render-pass framework that runs it frame by frame, frame \
timing and read-only memory blobs, on Qt ${ORV_QT_MAJOR} Core.")
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
    "${ORV_DEB_ABOUT}\n\nThis package holds the shared library.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME ${ORV_DEB_DEV})
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
    "${ORV_DEB_ABOUT}\n\nThis package holds the headers, the CMake package and the pkg-config file.")

set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)

# Every Debian package states its licence in /usr/share/doc/<package>/copyright, in Debian's
# machine-readable format, which calls the MIT licence "Expat". Written from LICENSE, so that
# the two cannot drift apart: the terms become a text field (lines indented, empty ones " .").
file(READ ${PROJECT_SOURCE_DIR}/LICENSE ORV_LICENSE)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)" ORV_COPYRIGHT "${ORV_LICENSE}")
set(ORV_COPYRIGHT ${CMAKE_MATCH_1})
string(FIND "${ORV_LICENSE}" "Permission" ORV_LICENSE_START)
string(SUBSTRING "${ORV_LICENSE}" ${ORV_LICENSE_START} -1 ORV_LICENSE_TERMS)
string(STRIP "${ORV_LICENSE_TERMS}" ORV_LICENSE_TERMS)
string(REPLACE "\n\n" "\n.\n" ORV_LICENSE_TERMS "${ORV_LICENSE_TERMS}")
string(REPLACE "\n" "\n " ORV_LICENSE_TERMS "${ORV_LICENSE_TERMS}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian-copyright.in ${PROJECT_BINARY_DIR}/copyright @ONLY)
set(ORV_DEB_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc)

get_target_property(ORV_LIBRARY_TYPE OrvCore TYPE)
if(ORV_LIBRARY_TYPE STREQUAL "SHARED_LIBRARY")
    set(CPACK_COMPONENTS_ALL runtime development)
    set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
        "${ORV_DEB_RUNTIME} (= ${PROJECT_VERSION}-1), ${ORV_DEB_QT_DEV}")
    install(FILES ${PROJECT_BINARY_DIR}/copyright DESTINATION ${ORV_DEB_DOC_DIR}/${ORV_DEB_RUNTIME}
        COMPONENT runtime)
else()
    set(CPACK_COMPONENTS_ALL development)
    set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${ORV_DEB_QT_DEV}")
endif()
install(FILES ${PROJECT_BINARY_DIR}/copyright DESTINATION ${ORV_DEB_DOC_DIR}/${ORV_DEB_DEV}
    COMPONENT development)

include(CPack)
