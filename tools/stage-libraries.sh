# Sourced by the package scripts: the three libraries as they ship, and the
# program beside the 64-bit ones.
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

# stage_launchers STAGE X86_64_DLL AARCH64_DLL copies the vokmark.exe built
# beside each 64-bit library, stripped and signed, to STAGE/x64 and
# STAGE/arm64: the program the package for Windows 11's menu names.
stage_launchers() {
  local stage=$1
  mkdir -p "$stage/x64" "$stage/arm64"
  x86_64-w64-mingw32-strip -o "$stage/x64/vokmark.exe" "$(dirname "$(realpath "$2")")/vokmark.exe"
  /usr/lib/llvm-14/bin/llvm-strip -o "$stage/arm64/vokmark.exe" "$(dirname "$(realpath "$3")")/vokmark.exe"
  "$(dirname "${BASH_SOURCE[0]}")/sign.sh" "$stage/x64/vokmark.exe" "$stage/arm64/vokmark.exe"
}
