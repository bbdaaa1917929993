# 64-bit Windows, what most people install.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(DRUVEL_MINGW_HOST x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
