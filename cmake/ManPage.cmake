# Makes veltrane-host.1 and veltrane-host.1.gz (cmake -P, from cmake/Install.cmake).
#   -DTOOL=  the built tool   -DREADME= README.md   -DAWK_SCRIPT= cmake/readme-man.awk
#   -DHELP2MAN= -DGZIP=       -DOUTPUT= the page to write (OUTPUT.gz beside it)
get_filename_component(dir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${dir})

execute_process(COMMAND awk -f ${AWK_SCRIPT} ${README} OUTPUT_FILE ${OUTPUT}.h2m
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot take the reference sections out of ${README}")
endif()

# help2man names the program by the file it runs, so the stand-in that keeps
# --version to its first line is called veltrane-host too. The rest of that
# answer is the plug-in this build tree loads, which is not what a reader of
# an installed page has.
set(standin_dir ${dir}/help2man-tool)
file(MAKE_DIRECTORY ${standin_dir})
file(WRITE ${standin_dir}/veltrane-host
     "#!/bin/sh\n"
     "if [ \"$1\" = --version ]; then \"${TOOL}\" --version | head -n 1; exit 0; fi\n"
     "exec \"${TOOL}\" \"$@\"\n")
file(CHMOD ${standin_dir}/veltrane-host PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                                                    GROUP_READ GROUP_EXECUTE WORLD_READ)

execute_process(
  COMMAND ${HELP2MAN} --no-info --section=1 "--name=count model files with the Veltrane plug-in"
          --include=${OUTPUT}.h2m --output=${OUTPUT}.tmp ${standin_dir}/veltrane-host
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man failed on ${TOOL}")
endif()
file(RENAME ${OUTPUT}.tmp ${OUTPUT})

# -n: no name or time stamp in the gzip header, so that the same page makes the
# same file.
execute_process(COMMAND ${GZIP} -9 -n -c ${OUTPUT} OUTPUT_FILE ${OUTPUT}.gz.tmp
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot compress ${OUTPUT}")
endif()
file(RENAME ${OUTPUT}.gz.tmp ${OUTPUT}.gz)
