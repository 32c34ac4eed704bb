#!/usr/bin/env bash
# Photographs the About window, shown by rundll32.exe through the 64-bit
# library, on a virtual X server. Uses a prefix of its own with the X11
# driver, so that the test prefix stays headless.
# Usage: screenshot.sh BUILD_DIR OUT.png
set -euo pipefail
here=$(dirname "$(realpath "$0")")
build=$(realpath "$1") out=$(realpath -m "$2")
prefix="$build/x86_64/screenshot-prefix"
dll="$build/x86_64/bin/vok.dll"
wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver64
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$here/wine-prefix.sh" "$prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
reg() { "$wine" reg add "$@" /f >/dev/null 2>&1; }
reg 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d x11
# No window manager: Wine draws the caption and frame itself.
reg 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N
reg 'HKCU\Software\VOK' /v 'Install Folder' /t REG_SZ /d 'C:\'
"$wine" reg delete 'HKCU\Software\VOK' /v Status /f >/dev/null 2>&1 || true
"$wineserver" -w # the driver is chosen when the server starts

# A free display number, chosen by the server itself.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

DISPLAY=$DISPLAY "$wine" rundll32.exe "$("$wine" winepath -w "$dll" 2>/dev/null)",ShowAboutBox &
shown=$!
window=$(timeout 60 xdotool search --sync --name '^About VOK$' | head -1)
sleep 1 # let it paint
eval "$(xdotool getwindowgeometry --shell "$window")"
import -window root "$work/screen.png"
/usr/bin/convert "$work/screen.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out"
kill "$shown" 2>/dev/null || true
wait "$shown" 2>/dev/null || true
"$wineserver" -w
kill "$xvfb"
wait "$xvfb" 2>/dev/null || true
echo "screenshot: $out (${WIDTH}x${HEIGHT})"
