# What a Windows release carries, from the one version of project(): the DLL's
# version resource, the install note, and the package
# Veltrane-<version>-win32.zip (win64 for the 64-bit build) with the stripped
# DLL, the note and the license. Build one package with the `package` target of
# a Windows preset; scripts/package.sh builds both, with their checksums.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(VELTRANE_PACKAGE_ARCH win32)
  set(VELTRANE_PACKAGE_BITS 32)
else()
  set(VELTRANE_PACKAGE_ARCH win64)
  set(VELTRANE_PACKAGE_BITS 64)
endif()

# The copyright line is the license's own, so the two never disagree.
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE VELTRANE_COPYRIGHT REGEX "^Copyright " LIMIT_COUNT 1)
if(NOT VELTRANE_COPYRIGHT)
  message(FATAL_ERROR "LICENSE holds no Copyright line for the version resource")
endif()
string(REGEX REPLACE "^Copyright \\([cC]\\) [0-9, -]+ " "" VELTRANE_COMPANY "${VELTRANE_COPYRIGHT}")
if(PROJECT_VERSION_TWEAK STREQUAL "")
  set(VELTRANE_VERSION_TWEAK 0)
else()
  set(VELTRANE_VERSION_TWEAK ${PROJECT_VERSION_TWEAK})
endif()

# The version resource: what Windows shows under the DLL's Properties > Details
# and what an installer compares. The resource compiler is MinGW's windres.
enable_language(RC)
set(VELTRANE_RC_FILE ${PROJECT_BINARY_DIR}/packaging/Veltrane.rc)
configure_file(${PROJECT_SOURCE_DIR}/packaging/Veltrane.rc.in ${VELTRANE_RC_FILE} @ONLY)
target_sources(Veltrane PRIVATE ${VELTRANE_RC_FILE})

# The texts go out with Windows line ends, for every editor a user may open them in.
set(VELTRANE_INSTALL_NOTE ${PROJECT_BINARY_DIR}/packaging/INSTALL.txt)
configure_file(${PROJECT_SOURCE_DIR}/packaging/INSTALL.txt.in ${VELTRANE_INSTALL_NOTE} @ONLY
               NEWLINE_STYLE WIN32)
set(VELTRANE_LICENSE_TEXT ${PROJECT_BINARY_DIR}/packaging/LICENSE.txt)
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${VELTRANE_LICENSE_TEXT} @ONLY NEWLINE_STYLE WIN32)

install(TARGETS Veltrane RUNTIME DESTINATION . LIBRARY DESTINATION .)
install(FILES ${VELTRANE_INSTALL_NOTE} ${VELTRANE_LICENSE_TEXT} DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Veltrane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Veltrane-${PROJECT_VERSION}-${VELTRANE_PACKAGE_ARCH})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES ON)  # what users install carries no debug information
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
include(CPack)

# The tool's package, veltrane-host-<version>-<arch>.zip: veltrane-host.exe and
# the plug-in it loads beside it (both stripped), README.txt and the license.
# The target tool_package makes it (scripts/package.sh, for win64); both
# programs link their runtime statically, so the zip needs nothing else.
set(VELTRANE_TOOL_README ${PROJECT_BINARY_DIR}/packaging/README.txt)
configure_file(${PROJECT_SOURCE_DIR}/packaging/veltrane-host-README.txt.in ${VELTRANE_TOOL_README}
               @ONLY NEWLINE_STYLE WIN32)
set(tool_stage ${PROJECT_BINARY_DIR}/tool-package)
set(VELTRANE_TOOL_PACKAGE
    ${PROJECT_BINARY_DIR}/package/veltrane-host-${PROJECT_VERSION}-${VELTRANE_PACKAGE_ARCH}.zip)
add_custom_command(
  OUTPUT ${VELTRANE_TOOL_PACKAGE}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${tool_stage}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${tool_stage} ${PROJECT_BINARY_DIR}/package
  COMMAND ${CMAKE_STRIP} -o ${tool_stage}/veltrane-host.exe $<TARGET_FILE:veltrane-host>
  COMMAND ${CMAKE_STRIP} -o ${tool_stage}/Veltrane.dll $<TARGET_FILE:Veltrane>
  COMMAND ${CMAKE_COMMAND} -E copy ${VELTRANE_TOOL_README} ${VELTRANE_LICENSE_TEXT} ${tool_stage}
  COMMAND ${CMAKE_COMMAND} -E chdir ${tool_stage} ${CMAKE_COMMAND} -E tar cf
          ${VELTRANE_TOOL_PACKAGE} --format=zip -- veltrane-host.exe Veltrane.dll README.txt
          LICENSE.txt
  DEPENDS veltrane-host Veltrane ${VELTRANE_TOOL_README} ${VELTRANE_LICENSE_TEXT}
  COMMENT "Making veltrane-host-${PROJECT_VERSION}-${VELTRANE_PACKAGE_ARCH}.zip"
  VERBATIM)
add_custom_target(tool_package DEPENDS ${VELTRANE_TOOL_PACKAGE})
