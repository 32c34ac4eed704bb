# Cross-compiling for 32-bit Windows: the shipped vok.dll.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VOK_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
