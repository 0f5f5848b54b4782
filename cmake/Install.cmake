# What `cmake --install` puts under a prefix on Linux: the tool in bin/, what it
# loads (the plug-in and the host module) in lib/veltrane/, where the tool looks
# when nothing is beside it (vhost::FindShippedFile); its man page and bash
# completion, both made from its --help by the build so that they cannot drift
# from it; the sample scene as examples. With VELTRANE_DEBIAN_PACKAGE (preset
# deb) the prefix is /usr and CPack makes veltrane-host_<version>_amd64.deb of
# it, with what Debian asks of a package's documentation.

set(VELTRANE_LIB_DIR lib/veltrane)
set(VELTRANE_DOC_DIR share/doc/veltrane-host)

# The host module is linked by name; installed, it is found beside the plug-in,
# relative to the tool, so that any prefix works. The build tree keeps its own
# path to the module until then.
set_target_properties(veltrane-host PROPERTIES INSTALL_RPATH "$ORIGIN/../${VELTRANE_LIB_DIR}")
install(TARGETS veltrane-host RUNTIME DESTINATION bin)
# Libraries that are loaded, never run: not executable, as Debian wants them.
install(TARGETS Veltrane mqhost LIBRARY DESTINATION ${VELTRANE_LIB_DIR}
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# The sample scene and the files it names, to run the installed tool on.
install(FILES samples/scene.json samples/cup_half.obj samples/vase_profile.obj samples/cage.obj
              samples/props.obj samples/wires.obj samples/README.md
        DESTINATION ${VELTRANE_DOC_DIR}/examples)

set(VELTRANE_GENERATED_DOCS ${PROJECT_BINARY_DIR}/share)

# The man page: help2man on the built tool (--help, and --version's first line),
# with the README's reference sections after the options (cmake/readme-man.awk).
find_program(VELTRANE_HELP2MAN help2man)
find_program(VELTRANE_GZIP gzip)
if(NOT VELTRANE_HELP2MAN OR NOT VELTRANE_GZIP)
  message(WARNING "help2man or gzip is not installed: the man page veltrane-host.1 is not made "
                  "and not installed (apt-get install help2man, then configure again)")
else()
  set(VELTRANE_MAN_PAGE ${VELTRANE_GENERATED_DOCS}/man/man1/veltrane-host.1)
  add_custom_command(
    OUTPUT ${VELTRANE_MAN_PAGE} ${VELTRANE_MAN_PAGE}.gz
    COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:veltrane-host> -DREADME=${PROJECT_SOURCE_DIR}/README.md
            -DAWK_SCRIPT=${PROJECT_SOURCE_DIR}/cmake/readme-man.awk -DHELP2MAN=${VELTRANE_HELP2MAN}
            -DGZIP=${VELTRANE_GZIP} -DOUTPUT=${VELTRANE_MAN_PAGE}
            -P ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
    DEPENDS veltrane-host Veltrane ${PROJECT_SOURCE_DIR}/README.md
            ${PROJECT_SOURCE_DIR}/cmake/readme-man.awk ${PROJECT_SOURCE_DIR}/cmake/ManPage.cmake
    COMMENT "Making the man page veltrane-host.1 from --help and README.md"
    VERBATIM)
  add_custom_target(veltrane_man_page ALL DEPENDS ${VELTRANE_MAN_PAGE}.gz)
  install(FILES ${VELTRANE_MAN_PAGE}.gz DESTINATION share/man/man1)
endif()

# Bash completion: the long options and what each takes, read off --help.
set(VELTRANE_COMPLETION ${VELTRANE_GENERATED_DOCS}/bash-completion/completions/veltrane-host)
add_custom_command(
  OUTPUT ${VELTRANE_COMPLETION}
  COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:veltrane-host>
          -DTEMPLATE=${PROJECT_SOURCE_DIR}/packaging/veltrane-host.bash-completion.in
          -DOUTPUT=${VELTRANE_COMPLETION} -P ${PROJECT_SOURCE_DIR}/cmake/BashCompletion.cmake
  DEPENDS veltrane-host ${PROJECT_SOURCE_DIR}/packaging/veltrane-host.bash-completion.in
          ${PROJECT_SOURCE_DIR}/cmake/BashCompletion.cmake
  COMMENT "Making the bash completion of veltrane-host from --help"
  VERBATIM)
add_custom_target(veltrane_completion ALL DEPENDS ${VELTRANE_COMPLETION})
install(FILES ${VELTRANE_COMPLETION} DESTINATION share/bash-completion/completions)

option(VELTRANE_DEBIAN_PACKAGE "Make the Debian package of the tool (cpack)" OFF)
if(VELTRANE_DEBIAN_PACKAGE)
  include(${PROJECT_SOURCE_DIR}/cmake/DebianPackage.cmake)
endif()
