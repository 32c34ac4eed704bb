# Sourced: the 32-bit Wine that wine32-setup.sh makes, as `wine` and
# `wineserver`. The loader and every 32-bit process it starts run under
# qemu (QEMU_LD_PREFIX is their root); the server is the native 64-bit one
# of the installed wine64, which serves 32-bit prefixes as well.
wine32_root=${VOK_WINE32_ROOT:-/opt/vokmark-wine32}
export QEMU_LD_PREFIX=$wine32_root WINEARCH=win32 WINESERVER=/usr/lib/wine/wineserver64
wine=$wine32_root/usr/lib/wine/wine
wineserver=/usr/lib/wine/wineserver64
