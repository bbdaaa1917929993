# The Windows downloads, from the cross build: a portable zip per build and,
# from the 64-bit build, the one per-user installer (NSIS) that carries both
# builds and installs the one that fits the machine; it takes the 32-bit
# build's files from WIN32_OUT, which is built first.
#   cmake -DVERSION=.. -DARCH=win32|win64 -DDRUVEL=.. -DTAV=.. -DSOURCE_DIR=.. -DOUT=..
#         [-DWIN32_OUT=..] -P package.cmake
set(stage ${OUT}/Druvel-${VERSION}-${ARCH})
file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${stage})
file(COPY ${DRUVEL} ${TAV} DESTINATION ${stage})
# A Windows text file: CR LF line endings.
set(DRUVEL_VERSION ${VERSION})
string(LENGTH "Druvel ${VERSION} for Windows" title_length)
string(REPEAT "=" ${title_length} DRUVEL_TITLE_UNDERLINE)
configure_file(${SOURCE_DIR}/scripts/windows/README.txt ${stage}/README.txt @ONLY NEWLINE_STYLE CRLF)

set(zip ${OUT}/Druvel-${VERSION}-${ARCH}.zip)
file(REMOVE ${zip})
execute_process(COMMAND zip -q -X -r ${zip} Druvel-${VERSION}-${ARCH} WORKING_DIRECTORY ${OUT} COMMAND_ERROR_IS_FATAL ANY)

if(NOT ARCH STREQUAL "win64")
  message(STATUS "Made ${zip}")
  return()
endif()
set(stage32 ${WIN32_OUT}/Druvel-${VERSION}-win32)
if(NOT EXISTS ${stage32}/Druvel.exe)
  message(FATAL_ERROR "The installer carries both builds: build the 32-bit one first (cmake --build --preset win32)")
endif()
set(installer ${OUT}/Druvel-${VERSION}-setup.exe)
execute_process(COMMAND makensis -V2 -DVERSION=${VERSION} -DSOURCE64=${stage} -DSOURCE32=${stage32}
                        -DOUTPUT=${installer} ${SOURCE_DIR}/scripts/windows/druvel.nsi
                COMMAND_ERROR_IS_FATAL ANY)
message(STATUS "Made ${zip} and ${installer}")
