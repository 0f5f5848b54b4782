# Makes the bash completion of veltrane-host from its --help and
# `merge --help` (cmake -P, from cmake/Install.cmake).
#   -DTOOL= the built tool   -DTEMPLATE= packaging/veltrane-host.bash-completion.in
#   -DOUTPUT= the completion file to write
#
# An option line of CLI11's help is "  [-x,]--name [PLACEHOLDER] ...": FILE and
# PATH take files; any other placeholder takes a value offered nothing, except
# NAME of --tick and --untick (the check boxes, listed in --tick's help) and of
# --reader (READERS below: a name the tool refuses fails the completion test).
set(READERS "own assimp")

function(read_help out)
  execute_process(COMMAND ${TOOL} ${ARGN} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${TOOL} ${ARGN} --help failed")
  endif()
  set(${out} "${help}" PARENT_SCOPE)
endfunction()

# options_of(HELP PREFIX): PREFIX_ALL, PREFIX_FILE, PREFIX_VALUE, space-separated.
function(options_of help prefix)
  string(REPLACE "\n" ";" lines "${help}")
  set(all "")
  set(files "")
  set(values "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^  (-[a-zA-Z],)?(--[a-z][a-z0-9-]*)( ([A-Z][A-Z/]*)( |$))?")
      set(option ${CMAKE_MATCH_2})
      set(placeholder "${CMAKE_MATCH_4}")
      string(APPEND all " ${option}")
      if(placeholder STREQUAL "FILE" OR placeholder STREQUAL "PATH")
        string(APPEND files " ${option}")
      elseif(NOT placeholder STREQUAL "")
        string(APPEND values " ${option}")
      endif()
    endif()
  endforeach()
  if(all STREQUAL "")
    message(FATAL_ERROR "no options in ${TOOL}'s help")
  endif()
  string(STRIP "${all}" all)
  string(STRIP "${files}" files)
  string(STRIP "${values}" values)
  set(${prefix}_ALL "${all}" PARENT_SCOPE)
  set(${prefix}_FILE "${files}" PARENT_SCOPE)
  set(${prefix}_VALUE "${values}" PARENT_SCOPE)
endfunction()

read_help(help)
options_of("${help}" RUN)
read_help(merge_help merge)
options_of("${merge_help}" MERGE)

if(NOT help MATCHES "\n  --tick NAME +tick a check box: ([A-Za-z, ]+) \\(")
  message(FATAL_ERROR "${TOOL}'s help does not list the check boxes of --tick")
endif()
string(REPLACE ", " " " CHECK_BOXES "${CMAKE_MATCH_1}")

set(OPTIONS "${RUN_ALL}")
set(FILE_OPTIONS "${RUN_FILE}")
set(VALUE_OPTIONS "${RUN_VALUE}")
set(MERGE_OPTIONS "${MERGE_ALL}")
set(MERGE_FILE_OPTIONS "${MERGE_FILE}")
configure_file(${TEMPLATE} ${OUTPUT} @ONLY)
