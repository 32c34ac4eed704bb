# Sourced: the arm64 Wine that wine-arm64-setup.sh makes, as `wine` and
# `wineserver`. Every process runs under qemu (QEMU_LD_PREFIX is their root),
# the server too: the host's amd64 server refuses ARM64 clients. A crash
# must not start winedbg, which hangs under qemu.
wine_arm64_root=${VOK_WINE_ARM64_ROOT:-/opt/vokmark-wine-arm64}
export QEMU_LD_PREFIX=$wine_arm64_root WINESERVER=$wine_arm64_root/usr/lib/wine/wineserver
wine=$wine_arm64_root/usr/lib/wine/wine64
wineserver=$wine_arm64_root/usr/lib/wine/wineserver
