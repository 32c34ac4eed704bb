#!/usr/bin/env bash
# `make demo`: Vokmark at work in a real Win32 host, on a virtual X server.
# Lays out an installation in a Wine prefix of the demo's own (made once,
# reset on every run), registers the 64-bit library with the prefix's
# regsvr32, runs the demo host (src/Demo/DemoHost.cpp) and takes the
# screenshots it asks for. Every step is bounded in time; a failing step
# names itself and the script exits non-zero.
# Usage: demo.sh BUILD_DIR OUT_DIR
set -euo pipefail
here=$(dirname "$(realpath "$0")")
build=$(realpath "$1") out=$(realpath -m "$2")
dll=$build/x86_64/bin/vok.dll
host=$build/x86_64/bin/vok_demo.exe
prefix=$build/demo/wineprefix
wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver64
root='C:\VokDemo'
clsid='{2F793154-C4B7-4AA8-AA0E-AF97B47A255D}'

step="start"
fail() { echo "demo: step '$step' failed: $*" >&2; exit 1; }
winpath() { local p=${1//\//\\}; echo "Z:$p"; }

work=$(mktemp -d)
xvfb=""
host_pid=""
cleanup() {
  [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null
  # This prefix's server and its programs only, then the X server they used.
  WINEPREFIX=$prefix timeout 10 "$wineserver" -k 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

for f in "$dll" "$host"; do [ -f "$f" ] || fail "$f is not built"; done

step="make the demo's Wine prefix"
timeout 120 "$here/wine-prefix.sh" "$prefix" || fail "wine-prefix.sh"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
reg() { timeout 30 "$wine" reg "$@" >/dev/null 2>&1; }
if [ ! -f "$prefix/.vok-demo-ready" ]; then
  # Drawn on the X server; with no window manager, Wine draws the frames.
  reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d x11 /f || fail "set the X11 driver"
  reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f || fail "set undecorated windows"
  touch "$prefix/.vok-demo-ready"
fi
# A server left from an earlier run knows an X display that is gone; the
# driver is chosen when the server starts.
timeout 15 "$wineserver" -k 2>/dev/null || true
timeout 15 "$wineserver" -w || fail "the earlier wineserver did not exit"

step="start the X server"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb gave no display within 10 s"
export DISPLAY=":$(cat "$work/display")"

step="reset the demo's registry keys and folders"
reg delete 'HKCU\Software\VOK' /f || true
reg delete "HKCR\\CLSID\\$clsid" /f || true
reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f || true
rm -rf "$prefix/drive_c/VokDemo"
# Recent Items, where the install step records the document it opened.
rm -f "$prefix"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/Recent/*.lnk
rm -rf "$out" && mkdir -p "$out"

echo "Vokmark demo: Wine prefix $prefix, display $DISPLAY"
echo
step="install"
timeout 30 "$wine" "$host" install "$root" || fail "vok_demo.exe install"
echo

step="register with regsvr32"
rc=0
timeout 30 "$wine" regsvr32 /s "$(winpath "$dll")" || rc=$?
[ "$rc" -eq 0 ] || fail "regsvr32 /s $(winpath "$dll") exited $rc"
echo "regsvr32 registered $(winpath "$dll")"

# Runs the demo host in MODE, taking the pictures it asks for.
run_host() {
  mode=$1
  step="run the demo host ($mode)"
  rm -f "$work/host" && mkfifo "$work/host"
  timeout 90 "$wine" "$host" "$mode" "$root" "$(winpath "$out")" >"$work/host" &
  host_pid=$!
  while IFS= read -r line; do
    line=${line%$'\r'}
    case $line in
    "@@shot "*)
      read -r _ name left top right bottom <<<"$line"
      step="screenshot $name"
      timeout 20 /usr/bin/import -window root "$work/$name.png" || fail "import"
      margin=6
      x=$((left > margin ? left - margin : 0)) y=$((top > margin ? top - margin : 0))
      /usr/bin/convert "$work/$name.png" -crop "$((right - x + margin))x$((bottom - y + margin))+$x+$y" +repage \
        "$out/$name.png" || fail "convert"
      touch "$out/$name.done"
      step="run the demo host ($mode)"
      ;;
    *) echo "$line" ;;
    esac
  done <"$work/host"
  wait "$host_pid" && rc=0 || rc=$?
  host_pid=""
  rm -f "$out"/*.done
  [ "$rc" -eq 0 ] || fail "vok_demo.exe $mode exited $rc"
}
run_host show

# The menu once more at 150 % scaling: Wine reads LogPixels as a process
# starts, so a second process, with the prefix's value set meanwhile.
echo
echo "At 150 % scaling (LogPixels 144):"
reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f || fail "set LogPixels"
run_host scaled
reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f || fail "reset LogPixels"

echo
echo "Screenshots in $out:"
for name in menu dialog openmenu opendialog explorer about menu150; do
  [ -f "$out/$name.png" ] || fail "no $name.png"
  echo "  $name.png  $(/usr/bin/identify -format '%wx%h' "$out/$name.png")"
done
