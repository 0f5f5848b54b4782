# Rules the compiler cannot check, run as a test over the source tree:
#  - layers: what each folder may include (docs/ARCHITECTURE.md draws the map),
#    and within host/models, what its core, its format folders and its public
#    face (models.h) may: a format folder includes the core and itself, never
#    another format or the face; the core includes neither;
#  - one list: entry-point and host-function names are never spelt outside the
#    protocol folder as text (a string literal, or a word in a script, linker or
#    build file), and the version numbers of the handshake never as literals.
# usage: cmake -DSOURCE_DIR=… -DENTRY_POINTS=… -DHOST_FUNCTIONS=… -P check_sources.cmake

cmake_minimum_required(VERSION 3.25)

set(plugin_layers protocol platform frame widgets counter)
set(allowed_protocol protocol)
set(allowed_platform protocol platform)
set(allowed_frame protocol platform frame)
set(allowed_widgets protocol platform frame widgets)
set(allowed_counter protocol platform frame widgets counter)
set(allowed_host/core host/core)
set(allowed_host/model protocol host/core host/model)
set(allowed_host/toolkit protocol host/core host/toolkit)
set(allowed_host/api protocol host/core host/model host/toolkit host/api)
set(allowed_host/loader protocol host/core host/loader)
set(allowed_host/session protocol host/core host/model host/toolkit host/api host/loader
    host/session)
set(allowed_host/probe ${allowed_host/session} host/probe)
set(allowed_host/proc host/proc)
set(allowed_host/models protocol host/core host/model host/proc host/models)
set(allowed_host/models/public ${allowed_host/models} host/models/public)  # formats added below
set(allowed_host/tool ${allowed_host/probe} host/proc host/models host/models/public host/tool)
set(layers ${plugin_layers} host/core host/model host/toolkit host/api host/loader
    host/session host/probe host/proc host/models host/tool)

set(failures "")
macro(fail message)
  string(APPEND failures "  ${message}\n")
endmacro()

# The layer a path below the source root is in: "host/x/…" counts as host/x,
# but a format folder "host/models/f/…" as itself and models.h, models.cpp as
# host/models/public.
function(include_layer path out)
  if(path MATCHES "^(host/models/[^/]+)/")
    set(${out} ${CMAKE_MATCH_1} PARENT_SCOPE)
  elseif(path MATCHES "^host/models/models\\.(h|cpp)$")
    set(${out} host/models/public PARENT_SCOPE)
  elseif(path MATCHES "^(host/[^/]+)/")
    set(${out} ${CMAKE_MATCH_1} PARENT_SCOPE)
  elseif(path MATCHES "^([^/]+)/")
    set(${out} ${CMAKE_MATCH_1} PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)  # beside the file
  endif()
endfunction()

file(GLOB format_folders LIST_DIRECTORIES true RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/host/models/*)
foreach(folder IN LISTS format_folders)
  if(IS_DIRECTORY ${SOURCE_DIR}/${folder})
    set(allowed_${folder} ${allowed_host/models} ${folder})
    list(APPEND allowed_host/models/public ${folder})
  endif()
endforeach()

foreach(top_layer IN LISTS layers)
  file(GLOB_RECURSE sources ${SOURCE_DIR}/${top_layer}/*.h ${SOURCE_DIR}/${top_layer}/*.cpp
       ${SOURCE_DIR}/${top_layer}/*.inc)
  foreach(source IN LISTS sources)
    file(RELATIVE_PATH relative ${SOURCE_DIR} ${source})
    include_layer("${relative}" layer)
    file(STRINGS ${source} includes REGEX "^#include \"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" target "${line}")
      include_layer("${target}" target_layer)
      if(target_layer STREQUAL "")
        continue()
      endif()
      if(NOT target_layer IN_LIST allowed_${layer})
        fail("${relative}: ${layer} may not include ${target}")
      endif()
    endforeach()
  endforeach()
endforeach()

# Every file of ours outside the protocol folder, the build and the docs.
file(STRINGS ${ENTRY_POINTS} entry_points)
file(STRINGS ${HOST_FUNCTIONS} host_functions)
list(JOIN entry_points "|" entry_pattern)
list(JOIN host_functions "|" host_pattern)
set(name_pattern "${entry_pattern}|${host_pattern}")
file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*)
foreach(relative IN LISTS files)
  if(relative MATCHES "^(protocol/|build/|\\.git/)|\\.md$|/golden/|/corpus/|^samples/|\\.png$")
    continue()
  endif()
  if(relative MATCHES "\\.(cpp|h|inc)$")
    file(STRINGS ${SOURCE_DIR}/${relative} hits REGEX "\"(${name_pattern})\"")
    foreach(hit IN LISTS hits)
      fail("${relative}: names an entry point or host function as text: ${hit}")
    endforeach()
    file(STRINGS ${SOURCE_DIR}/${relative} hits
         REGEX "[^0-9A-Za-z_](0[xX]0*(4100|410|40[fF][fF]))[^0-9A-Za-z_]")
    foreach(hit IN LISTS hits)
      fail("${relative}: writes a handshake version as a literal: ${hit}")
    endforeach()
  else()
    file(STRINGS ${SOURCE_DIR}/${relative} hits REGEX "(^|[^A-Za-z_])(${name_pattern})([^A-Za-z0-9_]|$)")
    foreach(hit IN LISTS hits)
      fail("${relative}: lists an entry point or host function: ${hit}")
    endforeach()
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "source rules broken:\n${failures}")
endif()
message(STATUS "source rules hold")
