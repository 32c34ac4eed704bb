# Cross-compiling for ARM64 Windows with Zig (tools/zig-setup.sh installs
# it): the library for Windows on ARM's Explorer and native programs, and
# its tests, which run under the arm64 Wine in qemu's user mode.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER ${CMAKE_CURRENT_LIST_DIR}/../tools/zig-cc)
set(CMAKE_CXX_COMPILER ${CMAKE_CURRENT_LIST_DIR}/../tools/zig-c++)
# Zig compiles no resource scripts: LLVM's windres does, with MinGW's headers.
set(CMAKE_RC_COMPILER /usr/lib/llvm-14/bin/llvm-windres)
set(CMAKE_RC_FLAGS "--target=aarch64-w64-mingw32 -I/usr/share/mingw-w64/include")
set(CMAKE_OBJDUMP /usr/lib/llvm-14/bin/llvm-objdump)
# The type library is the same file for every target.
set(VOK_WIDL x86_64-w64-mingw32-widl)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run)
