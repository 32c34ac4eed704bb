# Cross-compiling for 32-bit Windows: the shipped vok.dll, and its tests.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VOK_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# Test executables run under 32-bit Wine (qemu's user mode) in the build's
# own 32-bit prefix: wine-run hands 32-bit programs to wine32-run.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run)
