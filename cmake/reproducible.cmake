# The same commit gives the same bytes, wherever and whenever it is built.
# Paths: the source and build folders are mapped away in file names the
# compiler records (debug information, __FILE__), so neither reaches a
# program, nor the build ID that stays in it when it is stripped. Time: every
# time stamp a shipped file carries is DRUVEL_SOURCE_DATE_EPOCH, the last
# commit's time (scripts/source-date-epoch.sh), never the clock.
execute_process(COMMAND sh ${PROJECT_SOURCE_DIR}/scripts/source-date-epoch.sh
                OUTPUT_VARIABLE DRUVEL_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
# The build folder's map comes last so that it wins where the build folder
# lies inside the source folder.
add_compile_options("$<$<COMPILE_LANGUAGE:CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.>"
                    "$<$<COMPILE_LANGUAGE:CXX>:-ffile-prefix-map=${PROJECT_BINARY_DIR}=build>")

# A Windows program's header holds its link time: the linker takes
# SOURCE_DATE_EPOCH instead of the clock when it is set. Being part of the
# link command, a new commit's time links the programs again.
function(druvel_link_at_commit_time)
  if(WIN32)
    set_target_properties(${ARGN} PROPERTIES
                          CXX_LINKER_LAUNCHER "${CMAKE_COMMAND};-E;env;SOURCE_DATE_EPOCH=${DRUVEL_SOURCE_DATE_EPOCH}")
  endif()
endfunction()
