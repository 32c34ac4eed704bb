# Sourced by the package scripts: the three libraries as they ship.
# stage_libraries STAGE I686_DLL X86_64_DLL AARCH64_DLL copies them, stripped
# of their symbols, to STAGE/x86, STAGE/x64 and STAGE/arm64 and signs them
# (tools/sign.sh).
stage_libraries() {
  local stage=$1 x86 x64 arm64
  x86=$(realpath "$2") x64=$(realpath "$3") arm64=$(realpath "$4")
  mkdir -p "$stage/x86" "$stage/x64" "$stage/arm64"
  i686-w64-mingw32-strip -o "$stage/x86/vok.dll" "$x86"
  x86_64-w64-mingw32-strip -o "$stage/x64/vok.dll" "$x64"
  # MinGW's binutils know no ARM64 image; LLVM's strip (the ARM64 build's
  # resource compiler comes from the same LLVM) does.
  /usr/lib/llvm-14/bin/llvm-strip -o "$stage/arm64/vok.dll" "$arm64"
  "$(dirname "${BASH_SOURCE[0]}")/sign.sh" "$stage/x86/vok.dll" "$stage/x64/vok.dll" "$stage/arm64/vok.dll"
}
