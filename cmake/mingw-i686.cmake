# 32-bit Windows, as the system is specified.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(DRUVEL_MINGW_HOST i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
