# The Windows downloads, from the cross build: a portable zip per build and,
# from the 64-bit build, the one per-user installer (NSIS) that carries both
# builds and installs the one that fits the machine; it takes the 32-bit
# build's files from WIN32_OUT, which is built first. Both hold their files
# with the time EPOCH (seconds since 1970: the commit's), and the zip in a
# fixed order with fixed modes, so that the same commit gives the same bytes.
#   cmake -DVERSION=.. -DARCH=win32|win64 -DDRUVEL=.. -DTAV=.. -DSOURCE_DIR=.. -DOUT=.. -DEPOCH=..
#         [-DWIN32_OUT=..] -P package.cmake
if(NOT EPOCH MATCHES "^[0-9]+$")
  message(FATAL_ERROR "EPOCH must be the commit's time in seconds since 1970, not '${EPOCH}'")
endif()
set(name Druvel-${VERSION}-${ARCH})
set(stage ${OUT}/${name})
file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${stage})
file(COPY ${DRUVEL} ${TAV} DESTINATION ${stage}
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# A Windows text file: CR LF line endings.
set(DRUVEL_VERSION ${VERSION})
string(LENGTH "Druvel ${VERSION} for Windows" title_length)
string(REPEAT "=" ${title_length} DRUVEL_TITLE_UNDERLINE)
configure_file(${SOURCE_DIR}/scripts/windows/README.txt ${stage}/README.txt @ONLY NEWLINE_STYLE CRLF
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
file(CHMOD ${stage} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(entries ${name}/ ${name}/Druvel.exe ${name}/README.txt ${name}/TAV.exe)
execute_process(COMMAND touch -d @${EPOCH} ${entries} WORKING_DIRECTORY ${OUT} COMMAND_ERROR_IS_FATAL ANY)

# zip keeps local time: in UTC, the same time gives the same bytes anywhere.
set(zip ${OUT}/${name}.zip)
file(REMOVE ${zip})
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC zip -q -X ${zip} ${entries}
                WORKING_DIRECTORY ${OUT} COMMAND_ERROR_IS_FATAL ANY)

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
