# Cross-compiling for 64-bit Windows: the same library for 64-bit hosts, and
# the target every test runs on (under 64-bit Wine).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VOK_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# Test executables run under 64-bit Wine in the build's own prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run)
