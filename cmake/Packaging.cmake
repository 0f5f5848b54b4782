# The Windows package: Veltrane-<version>-win32.zip (win64 for the 64-bit build)
# with the DLL, a short install note and the license. Build it with the `package`
# target of a Windows preset.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(VELTRANE_PACKAGE_ARCH win32)
else()
  set(VELTRANE_PACKAGE_ARCH win64)
endif()

install(TARGETS Veltrane RUNTIME DESTINATION . LIBRARY DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/INSTALL.txt DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Veltrane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Veltrane-${PROJECT_VERSION}-${VELTRANE_PACKAGE_ARCH})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES ON)  # what users install carries no debug information
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
include(CPack)
