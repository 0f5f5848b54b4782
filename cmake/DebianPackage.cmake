# The Debian package veltrane-host_<version>_amd64.deb (preset deb, `cpack`
# in its build tree): what cmake/Install.cmake installs, under /usr, with the
# copyright file in Debian's machine-readable format and a Debian changelog.
# Its dependencies are the shared libraries the tool, the plug-in and the host
# module link, as dpkg-shlibdeps finds them. scripts/package.sh makes it and
# scripts/run-tests.sh installs it into a fresh Debian system.

set(VELTRANE_MAINTAINER "The Veltrane developers <developers@veltrane.example>"
    CACHE STRING "Maintainer field of the Debian package (name <address>)")

# The license's copyright line and text, once, for the copyright file.
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE copyright_line REGEX "^Copyright " LIMIT_COUNT 1)
string(REGEX REPLACE "^Copyright \\([cC]\\) " "" VELTRANE_COPYRIGHT_YEARS_AND_HOLDER
                     "${copyright_line}")
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
# The text after the copyright line, each line indented by one space and an
# empty line written " .", as the format asks.
string(REGEX REPLACE "^.*\nCopyright [^\n]*\n\n" "" license "${license}")
string(REGEX REPLACE "\n+$" "" license "${license}")
string(REPLACE "\n\n" "\n.\n" license "${license}")
string(REPLACE "\n" "\n " license "${license}")
set(VELTRANE_LICENSE_PARAGRAPHS " ${license}")
set(debian_docs ${PROJECT_BINARY_DIR}/debian-docs)
configure_file(${PROJECT_SOURCE_DIR}/packaging/copyright.in ${debian_docs}/copyright @ONLY)

# A native package's changelog (its version has no Debian revision): one entry
# for this version, dated by SOURCE_DATE_EPOCH when it is set, so that a build
# can be repeated; CHANGELOG.md says what the version brings.
string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${debian_docs}/changelog @ONLY)
execute_process(COMMAND ${VELTRANE_GZIP} -9 -n -f ${debian_docs}/changelog RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot compress ${debian_docs}/changelog")
endif()
install(FILES ${debian_docs}/copyright ${debian_docs}/changelog.gz DESTINATION ${VELTRANE_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME veltrane-host)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${VELTRANE_MAINTAINER}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # veltrane-host_<version>_<arch>.deb
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
set(CPACK_STRIP_FILES ON)  # what users install carries no debug information
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The host module is the package's own library, found where the build left it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/bin)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The libraries in /usr/lib/veltrane/ are loaded by path and by the tool's
# RUNPATH, never through ld.so's cache, so installing them needs no ldconfig
# run. CPack writes a postinst and postrm running it for any library under
# /usr/lib/ unless the package brings its own; naming ones that do not exist
# keeps it from writing any (the deb suite of scripts/run-tests.sh checks the
# package has no maintainer scripts).
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian-docs/none/postinst
                                       ${PROJECT_BINARY_DIR}/debian-docs/none/postrm)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "count the geometry of 3D model files with the Veltrane plug-in")
set(CPACK_PACKAGE_DESCRIPTION
    "veltrane-host loads the Veltrane plug-in into a stand-in modelling host,
opens model files (Wavefront OBJ, glTF, PLY, STL, scenes and every format
assimp imports) and prints the plug-in's own counts of vertices, faces and
triangles, or one JSON document. Budgets on those counts, from the command
line or a policy file kept beside the assets, fail a run for CI pipelines,
with JUnit, Markdown and GitHub Actions reports.")
# Directories the package makes are 0755 whatever the umask of the build.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                                                GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
