#!/usr/bin/env bash
# The package as a Windows user gets it: built by dist.sh, unpacked into a
# folder whose path holds a space, installed and uninstalled by its own
# scripts under Wine's cmd in a fresh prefix, and the registry checked after
# each. In a 64-bit prefix (64-bit Windows) the x64 library is registered,
# and the x86 one only where the prefix has a 32-bit regsvr32 in SysWOW64
# (never on these machines: the scripts must say it was skipped). In a
# 32-bit prefix (32-bit Windows, the 32-bit Wine of wine32-setup.sh) the
# x86 library alone is registered, with the 32-bit regsvr32; in an arm64 one
# (ARM64 Windows, wine-arm64-setup.sh's Wine) the ARM64 library.
# Usage: dist-test.sh I686_DLL X86_64_DLL AARCH64_DLL WORK_DIR [win64|win32|arm64]
set -euo pipefail
here=$(dirname "$(realpath "$0")")
work=$(realpath -m "$4")
kind=${5:-win64}
wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver64
served=x64
if [ "$kind" = win32 ]; then
  "$here/../tools/wine32-setup.sh"
  # shellcheck source=../tools/wine32-env.sh
  . "$here/../tools/wine32-env.sh"
  served=x86
elif [ "$kind" = arm64 ]; then # shellcheck source=../tools/wine-arm64-env.sh
  "$here/../tools/wine-arm64-setup.sh" && . "$here/../tools/wine-arm64-env.sh" && served=arm64
fi
clsid='{2F793154-C4B7-4AA8-AA0E-AF97B47A255D}'
failures=0
no_symbols() { ! "$1-w64-mingw32-objdump" -t "$2" | grep -q '\.text'; }
crlf_only() { grep -q $'\r$' "$1" && ! grep -qv $'\r$' "$1"; }
no_space() { [[ $1 != *' '* ]]; }
check() { # check WHAT CONDITION...
  local what=$1; shift
  if "$@"; then echo "ok    $what"; else echo "FAIL  $what"; failures=$((failures + 1)); fi
}

rm -rf "$work"
mkdir -p "$work"
"$here/../tools/dist.sh" "$1" "$2" "$3" "$work/vokmark-windows.zip" >/dev/null

# ---- The zip ----
unzip -Z1 "$work/vokmark-windows.zip" | grep -v '/$' | sort >"$work/entries"
check "the zip holds exactly the three libraries, the scripts and the README" \
  diff -u <(printf '%s\n' README.txt arm64/vok.dll install.cmd uninstall.cmd x64/vok.dll x86/vok.dll) "$work/entries"
unzip -q "$work/vokmark-windows.zip" -d "$work/unpacked"
for pair in "x86 i686" "x64 x86_64"; do
  read -r dir triplet <<<"$pair"
  check "$dir\\vok.dll carries no symbols" no_symbols "$triplet" "$work/unpacked/$dir/vok.dll"
done
for text in install.cmd uninstall.cmd README.txt; do
  check "$text has Windows line endings" crlf_only "$work/unpacked/$text"
done

# ---- A fresh prefix ----
prefix=$work/prefix
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe,winedbg.exe=d"
timeout 600 "$here/../tools/wine-prefix.sh" "$prefix" "$kind"
folder='C:\Program Files\Vokmark'
# One server for the whole test: every command below would otherwise start
# the prefix's services anew (seconds each under the 32-bit Wine's qemu).
# They are started by one program alone, before any script: under qemu, a
# script's first programs were seen starting a second services.exe beside
# the first and waiting for ever. A start that hangs is made once more on a
# server started anew.
trap 'timeout 30 "$wineserver" -k 2>/dev/null || true' EXIT
start_server() { "$wineserver" -p >/dev/null 2>&1 && timeout 120 "$wine" cmd /c exit 0 >/dev/null 2>&1; }
start_server || { echo "the prefix's first start hung: once more" && timeout 30 "$wineserver" -k; start_server; }
# Wine's arm64 prefix records the machine as x86, where ARM64 Windows has ARM64.
[ "$kind" != arm64 ] || timeout 120 "$wine" reg add 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment' /v PROCESSOR_ARCHITECTURE /d ARM64 /f >/dev/null
cp -r "$work/unpacked" "$prefix/drive_c/Program Files/Vokmark"

run_cmd() { # run_cmd SCRIPT: its output in $work/SCRIPT.out, its exit code in $rc
  rc=0
  timeout 300 "$wine" cmd /c "$folder\\$1" >"$work/$1.out" 2>&1 || rc=$?
  tr -d '\r' <"$work/$1.out"
}
# reg answers 0 (found) or 1 (not found); any other end is no answer, noted
# in reg.err, and asked again, at most three times, unless reg hung.
reg_query() { # reg_query ARGS...: reg's output; its exit code as reg's
  local try rc
  for try in 1 2 3; do
    rc=0 && timeout 120 "$wine" reg query "$@" >"$work/reg.out" 2>>"$work/reg.err" || rc=$?
    [ "$rc" -gt 1 ] || break
    echo "reg query $* ended with $rc (try $try)" >>"$work/reg.err"
    [ "$rc" -ne 124 ] || break # a hang is not asked again
  done
  tr -d '\r' <"$work/reg.out"
  return "$rc"
}
value() { # value KEY NAME|"" [/reg:VIEW]: the REG_SZ data, or nothing
  local args=(/v "$2" "${@:3}"); [ -z "$2" ] && args=(/ve "${@:3}")
  { reg_query "$1" "${args[@]}" || true; } | sed -n 's/^ *[^ ].*REG_SZ *//p' | head -1
}
key_absent() { local rc=0 && reg_query "$1" >/dev/null || rc=$? && [ "$rc" -eq 1 ]; }
said() { tr -d '\r' <"$work/$1.out" | grep -qF -- "$2"; }
not_said() { ! said "$@"; }

echo "---- install.cmd"
run_cmd install.cmd
check "install.cmd exits 0" test "$rc" -eq 0
check "Install Folder is the unpacked folder" test "$(value 'HKCU\Software\VOK' 'Install Folder')" = "$folder"
views=(/reg:32) && [ "$kind" = win32 ] || views+=(/reg:64)
for view in "${views[@]}"; do check "so is the machine's, $view" test "$(value 'HKLM\Software\VOK' 'Install Folder' $view)" = "$folder"; done
server=$(value "HKCR\\CLSID\\$clsid\\InprocServer32" "")
server_unix=$([ -n "$server" ] && timeout 120 "$wine" winepath -u "$server" 2>/dev/null | tr -d '\r' || true)
check "the class is served by $served\\vok.dll ($server)" \
  test "$(realpath -m "${server_unix:-/no-server}")" = "$(realpath "$prefix/drive_c/Program Files/Vokmark/$served/vok.dll")"
check "the server path has no space (short form)" no_space "$server"
for class in '*' Directory 'Directory\Background' Folder Drive Network; do
  check "handler key under $class" \
    test "$(value "HKCR\\$class\\shellex\\ContextMenuHandlers\\VOK" "")" = "$clsid"
done
if [ "$kind" = win32 ]; then
  check "install.cmd registered x86\\vok.dll with the 32-bit regsvr32" \
    said install.cmd 'registering x86\vok.dll for 32-bit programs'
  check "install.cmd left x64\\vok.dll alone" not_said install.cmd 'x64\vok.dll'
elif [ -f "$prefix/drive_c/windows/syswow64/regsvr32.exe" ]; then
  check "install.cmd registered x86\\vok.dll" said install.cmd 'registering x86\vok.dll'
else
  check "install.cmd says the x86 step was skipped" said install.cmd 'skipped x86\vok.dll: this machine has no 32-bit regsvr32'
fi

echo "---- a favourite, then uninstall.cmd"
printf '[InternetShortcut]\r\nURL=https://vokmark.example/\r\n\r\n' \
  >"$prefix/drive_c/Program Files/Vokmark/Favorites/Home.url"
run_cmd uninstall.cmd
check "uninstall.cmd exits 0" test "$rc" -eq 0
check "the class key is gone" key_absent "HKCR\\CLSID\\$clsid"
for class in '*' Directory 'Directory\Background' Folder Drive Network; do
  check "no handler key under $class" key_absent "HKCR\\$class\\shellex\\ContextMenuHandlers\\VOK"
done
check "HKCU\\Software\\VOK is gone" key_absent 'HKCU\Software\VOK'
for view in "${views[@]}"; do check "the machine's is gone, $view" test -z "$(value 'HKLM\Software\VOK' 'Install Folder' $view)"; done
check "the favourites stayed" test -f "$prefix/drive_c/Program Files/Vokmark/Favorites/Home.url"
check "uninstall.cmd says where the favourites are" said uninstall.cmd "Your favourites stay in $folder\\Favorites"

echo "---- uninstall.cmd again: nothing left to remove"
run_cmd uninstall.cmd
check "a second uninstall.cmd exits 0" test "$rc" -eq 0
check "it says the library is not registered" said uninstall.cmd "$served\\vok.dll is not registered: nothing to unregister"

timeout 30 "$wineserver" -k 2>/dev/null || true
timeout 30 "$wineserver" -w 2>/dev/null || true
if [ "$failures" -ne 0 ]; then
  [ ! -s "$work/reg.err" ] || { echo "---- what reg said on stderr"; cat "$work/reg.err"; }
  echo "$failures check(s) failed; the prefix stays in $prefix" >&2
  exit 1
fi
# A prefix is some 700 MB: keep it only when something failed.
rm -rf "$work"
echo "dist: all checks passed"
