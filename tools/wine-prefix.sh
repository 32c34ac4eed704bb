#!/usr/bin/env bash
# Creates the build's own headless Wine prefix once: never the user's ~/.wine.
# A 64-bit prefix for 64-bit Wine, with "win32" a 32-bit one for the 32-bit
# Wine of wine32-setup.sh, with "arm64" one for the arm64 Wine of
# wine-arm64-setup.sh.
# Usage: wine-prefix.sh PREFIX_DIR [win32|arm64]
set -euo pipefail
prefix=$(realpath -m "$1")
wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver64
if [ "${2:-}" = win32 ]; then
  # shellcheck source=wine32-env.sh
  . "$(dirname "$(realpath "$0")")/wine32-env.sh"
elif [ "${2:-}" = arm64 ]; then
  # shellcheck source=wine-arm64-env.sh
  . "$(dirname "$(realpath "$0")")/wine-arm64-env.sh"
fi
# A drive M: whose device points nowhere: a drive without its medium, or an
# unplugged one. Cheap, so it is checked on every run, older prefixes too.
absent_drive() { [ -d "$prefix/dosdevices" ] && ln -sfn ../absent-medium "$prefix/dosdevices/m:"; }
# A drive V: on a folder of its own: a fixed volume besides C:, with a serial
# number of its own (Wine's, from its letter, or the file ".windows-serial"
# in that folder, read once per process).
swap_drive() { [ -d "$prefix/dosdevices" ] && mkdir -p "$prefix/swap-volume" && ln -sfn ../swap-volume "$prefix/dosdevices/v:"; }
# The slow volume's mount point (tools/slow-volume.sh makes and mounts it) as
# the network drive S:, the fixed drive T: and the share \\slowhost\share;
# unmounted, they lead to an empty folder, or nowhere. Nothing here looks into
# the mount point: while a test makes the volume slow, that would wait too.
slow_volume() {
  [ -d "$prefix/dosdevices" ] || return 0
  mkdir -p "$prefix/dosdevices/unc/slowhost"
  ln -sfn ../slow-volume/mnt "$prefix/dosdevices/s:"
  # The same mount as a drive Wine takes for a fixed disk.
  ln -sfn ../slow-volume/mnt "$prefix/dosdevices/t:"
  ln -sfn ../../../slow-volume/mnt "$prefix/dosdevices/unc/slowhost/share"
}
# S: is a network drive, as a mapped share is. Wine reads drive types when the
# prefix's wineserver starts, so a prefix made before gets it once, with its
# wineserver ended after.
network_drive() {
  grep -q '^"s:"="network"' "$prefix/system.reg" 2>/dev/null && return 0
  WINEPREFIX="$prefix" WINEDEBUG=-all "$wine" reg add 'HKLM\Software\Wine\Drives' /v 's:' /t REG_SZ /d network /f >/dev/null 2>&1
  WINEPREFIX="$prefix" "$wineserver" -w
}
[ -f "$prefix/.vok-ready" ] && { absent_drive; swap_drive; slow_volume; network_drive; exit 0; }
rm -rf "$prefix"
mkdir -p "$prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe,winedbg.exe=d"
"$wine" wineboot -i >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d null /f >/dev/null 2>&1
# No desktop-menu entries for the links the tests save (see wine-run).
"$wine" reg add 'HKCU\Software\Wine\DllOverrides' /v winemenubuilder.exe /t REG_SZ /d '' /f >/dev/null 2>&1
# Wine's own fonts (Tahoma, MS Sans Serif, Marlett for the caption buttons):
# this Wine build does not find them where the package puts them. No Times
# New Roman comes with it: Liberation Serif, made to its measures, stands in.
cp /usr/share/wine/fonts/*.ttf /usr/share/wine/fonts/*.fon "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
"$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Times New Roman' /t REG_SZ /d 'Liberation Serif' /f >/dev/null 2>&1
# A CD-ROM drive D: with no disc in it (an empty folder), for the favourites
# that point to removable media.
mkdir -p "$prefix/cdrom"
ln -sfn ../cdrom "$prefix/dosdevices/d:"
"$wine" reg add 'HKLM\Software\Wine\Drives' /v 'd:' /t REG_SZ /d cdrom /f >/dev/null 2>&1
absent_drive
swap_drive
slow_volume
"$wine" reg add 'HKLM\Software\Wine\Drives' /v 's:' /t REG_SZ /d network /f >/dev/null 2>&1
"$wineserver" -w
touch "$prefix/.vok-ready"
