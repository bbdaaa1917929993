# The Windows downloads, from the cross build: a portable zip and a
# per-user installer made with NSIS.
#   cmake -DVERSION=.. -DARCH=win32|win64 -DDRUVEL=.. -DTAV=.. -DSOURCE_DIR=.. -DOUT=.. -P package.cmake
set(stage ${OUT}/Druvel-${VERSION}-${ARCH})
file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${stage})
file(COPY ${DRUVEL} ${TAV} DESTINATION ${stage})
# A Windows text file: CR LF line endings.
set(DRUVEL_VERSION ${VERSION})
configure_file(${SOURCE_DIR}/scripts/windows/README.txt ${stage}/README.txt @ONLY NEWLINE_STYLE CRLF)

set(zip ${OUT}/Druvel-${VERSION}-${ARCH}.zip)
file(REMOVE ${zip})
execute_process(COMMAND zip -q -X -r ${zip} Druvel-${VERSION}-${ARCH} WORKING_DIRECTORY ${OUT} COMMAND_ERROR_IS_FATAL ANY)

execute_process(COMMAND makensis -V2 -DVERSION=${VERSION} -DSOURCE=${stage}
                        -DOUTPUT=${OUT}/Druvel-${VERSION}-${ARCH}-setup.exe ${SOURCE_DIR}/scripts/windows/druvel.nsi
                COMMAND_ERROR_IS_FATAL ANY)
message(STATUS "Made ${zip} and ${OUT}/Druvel-${VERSION}-${ARCH}-setup.exe")
