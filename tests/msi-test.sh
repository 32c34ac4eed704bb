#!/usr/bin/env bash
# The Windows Installer package as a user gets it: built by msi.sh, installed
# by the prefix's msiexec without elevation in a fresh prefix, its files,
# registry rows, shortcut and Programs and Features entry checked; the rows
# compared with what regsvr32 writes for the installed library; a menu built
# by the installed library; then removed with a favourite in place,
# installed again, repaired, upgraded to the next version and offered an
# older one. The registry is read from the prefix's own files (user.reg for
# HKCU, system.reg for HKLM) once its wineserver has written them. Besides:
# signatures, the tables' validation rules, winget, another build of a version.
# Usage: msi-test.sh I686_DLL X86_64_DLL AARCH64_DLL INSTALLED_MENU_EXE WORK_DIR
set -euo pipefail
here=$(dirname "$(realpath "$0")")
menu_exe=$(realpath "$4") work=$(realpath -m "$5")
wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver64
clsid='{2F793154-C4B7-4AA8-AA0E-AF97B47A255D}'
# shellcheck source=support/checks.sh
. "$here/support/checks.sh"

rm -rf "$work"
mkdir -p "$work"
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Vokmark test publisher" \
  -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/test.pfx" -passout pass:throwaway
# A self-signed certificate verifies against itself only.
export VOK_SIGN_PFX=$work/test.pfx VOK_SIGN_PASSWORD=throwaway VOK_SIGN_CAFILE=$work/cert.pem
echo "---- refused in one line, before anything is built, signed or hashed"
refused() { ! out=$(env -u VOK_SIGN_PFX -u VOK_SIGN_TIMESTAMP bash -c "$2" 2>&1) && [ "$(wc -l <<<"$out")/${out/*$1*/}" = 1/ ]; }
release="make --no-print-directory -C '$here/..' release BUILD='$work/no-build'"
while IFS='|' read -r what word command; do check "$what" refused "$word" "$command"; done <<CASES
make release without a certificate|VOK_SIGN_PFX|$release
make release without a time-stamp server|VOK_SIGN_TIMESTAMP|VOK_SIGN_PFX='$VOK_SIGN_PFX' $release
winget manifests of an unsigned file|signed package only|'$here/../tools/winget.sh' '$3' '$work/winget'
CASES
check "nothing was built" test ! -e "$work/no-build" -a ! -e "$work/winget"
"$here/../tools/msi.sh" "$1" "$2" "$3" "$work/vokmark.msi" >/dev/null
"$here/../tools/msi.sh" "$1" "$2" "$3" "$work/vokmark-rebuilt.msi" >/dev/null
"$here/../tools/dist.sh" "$1" "$2" "$3" "$work/vokmark-windows.zip" >/dev/null
property() { msiinfo export "$1" Property | tr -d '\r' | sed -n "s/^$2\t//p"; }
version=$(property "$work/vokmark.msi" ProductVersion)
IFS=. read -r major minor build revision <<<"$version"
next=$major.$minor.$((build + 1)).$revision
"$here/../tools/msi.sh" "$1" "$2" "$3" "$work/vokmark-next.msi" "$next" >/dev/null
msiextract -C "$work/packaged" "$work/vokmark.msi" >/dev/null
packaged=$work/packaged/Programs/Vokmark/$version
unzip -q "$work/vokmark-windows.zip" -d "$work/zip"

echo "---- signed with the throwaway certificate"
verifies() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >"$work/verify.out" 2>&1; }
signed() { verifies "$1" && grep -q 'Vokmark test publisher' "$work/verify.out" && grep -qi sha256 "$work/verify.out"; }
changed_fails() { cp "$1" "$work/changed"; "${@:2}"; ! verifies "$work/changed" && grep -q MISMATCH "$work/verify.out"; }
for file in vokmark.msi packaged/Programs/Vokmark/"$version"/{x64,arm64}/vok.dll zip/{x86,arm64}/vok.dll; do
  check "$file verifies, signed SHA-256 by the test publisher" signed "$work/$file"
done
check "a library changed after signing fails" changed_fails "$work/zip/x64/vok.dll" \
  dd if=/dev/zero of="$work/changed" bs=1 count=1 seek=$((0x1400)) conv=notrunc status=none
check "a package changed after signing fails" changed_fails "$work/vokmark.msi" \
  msibuild "$work/changed" -q "INSERT INTO \`Property\` (\`Property\`, \`Value\`) VALUES ('CHANGED', '1')"

echo "---- the tables: each rule, and the rows that break it"
for table in Component Registry Directory RemoveFile; do
  msiinfo export "$work/vokmark.msi" "$table" | tr -d '\r' | tail -n +4 >"$work/$table"
done
while IFS='|' read -r rule tables program; do
  check "$rule" test -z "$(cd "$work" && awk -F'\t' "$program" $tables)"
done <<'RULES'
ICE38, ICE43: every component, the shortcut's too, is kept by a value below HKCU|Registry Component|FNR == NR { if ($2 == 1) hkcu[$1]; next } !(int($4 / 4) % 2 && ($6 in hkcu))
ICE64: every folder the package makes has its RemoveFile row|RemoveFile Directory|FNR == NR { if ($3 == "") gone[$4]; next } $1 !~ /^(TARGETDIR|LocalAppDataFolder|ProgramMenuFolder)$/ && !($1 in gone)
RULES
check "every build has a product code of its own" \
  test "$(property "$work/vokmark.msi" ProductCode)" != "$(property "$work/vokmark-rebuilt.msi" ProductCode)"

echo "---- the winget manifests, against the fields that schema 1.6 requires"
"$here/../tools/winget.sh" "$work/vokmark.msi" "$work/winget" >/dev/null
python3 - "$work/winget" "$(sha256sum "$work/vokmark.msi" | cut -c1-64)" "$version" <<'PY' || failures=$((failures + 1))
import pathlib, sys, yaml
base = ["PackageIdentifier", "PackageVersion", "ManifestType", "ManifestVersion"]
required = {"version": base + ["DefaultLocale"], "installer": base + ["Installers"],
            "defaultLocale": base + ["PackageLocale", "Publisher", "PackageName", "License", "ShortDescription"]}
files = {m["ManifestType"]: m for m in (yaml.safe_load(p.read_text()) for p in pathlib.Path(sys.argv[1]).glob("*.yaml"))}
installer = files.get("installer", {"Installers": []})
missing = [f for kind, fields in required.items() for f in fields if f not in files.get(kind, {})]
missing += [f for i in installer["Installers"] for f in ["Architecture", "InstallerUrl", "InstallerSha256"] if f not in i]
found = (sorted(files), missing, {(m.get("ManifestVersion"), m.get("PackageVersion")) for m in files.values()},
         installer.get("InstallerType"), installer.get("Scope"),
         [(i.get("Architecture"), i.get("InstallerSha256")) for i in installer["Installers"]])
expected = (sorted(required), [], {("1.6.0", sys.argv[3])}, "msi", "user", [(a, sys.argv[2].upper()) for a in ("x64", "arm64")])
print(("ok    " if found == expected else "FAIL  ") + "files, required fields, msi, user, SHA-256: %s" % (found,))
sys.exit(found != expected)
PY

# ---- A fresh prefix ----
prefix=$work/prefix
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
timeout 180 "$here/../tools/wine-prefix.sh" "$prefix"
cp "$work"/*.msi "$prefix/drive_c/"
local_app_data=$(timeout 30 "$wine" cmd /c echo %LOCALAPPDATA% | tr -d '\r')
folder="$local_app_data\\Programs\\Vokmark"
unix_folder=$(timeout 30 "$wine" winepath -u "$folder" | tr -d '\r')
unix_folder=${unix_folder%/}
libraries=$unix_folder/$version next_libraries=$unix_folder/$next
shortcut=$(timeout 30 "$wine" winepath -u "$(timeout 30 "$wine" cmd /c echo %APPDATA% | tr -d '\r')" | tr -d '\r')
shortcut="${shortcut%/}/Microsoft/Windows/Start Menu/Programs/Vokmark.lnk"

settle() { timeout 60 "$wineserver" -w; } # the registry files are current once the server has exited
hold() { # hold DLL FILE...: a process keeps DLL loaded, as Explorer does, until release
  rm -f "$work"/hold.* && mkfifo "$work/hold.in" "$work/hold.out" && before=$(identity "${@:2}")
  timeout 300 "$wine" "$menu_exe" "$1" --hold <"$work/hold.in" >"$work/hold.out" 2>/dev/null & holder=$!
  exec 7>"$work/hold.in" 8<"$work/hold.out" && read -r -t 60 said <&8 && [ "${said%$'\r'}" = held ]
}
release() { exec 7>&- 8<&-; wait "$holder" || true; holder=''; settle; }
identity() { stat -c '%n %i %Y %s' "$@"; }
server_rows() { rows "$prefix/user.reg" | grep -aiF "$clsid\\inprocserver32"$'\t@\t' | cut -f3 | sort | tr '\n' ' '; }
snapshot() { settle; cp "$prefix/user.reg" "$work/$1.user.reg"; cp "$prefix/system.reg" "$work/$1.system.reg"; }
rows() { python3 "$here/support/registry_rows.py" "$@"; }
msiexec() { # msiexec LOG ARGS...: its exit code in $rc
  local log=$1; shift
  rc=0
  timeout 120 "$wine" msiexec "$@" /qn /l*v "C:\\$log.log" >/dev/null 2>&1 || rc=$?
  [ -n "${holder:-}" ] || settle # while a process holds a library, its server stays
}
# The values a registration owns: the class rows, the handler keys, the
# approval value and the installation folder; not the installer's records.
# Keys alone are left out: the prefix has some of the shared ones below HKLM.
registration_rows() {
  grep -aE $'^software\\\\(classes\\\\|vok|microsoft\\\\windows\\\\currentversion\\\\shell extensions\\\\)[^\t]*\t' || true
}
# Programs and Features: "KEY<TAB>NAME<TAB>DATA" of every entry named
# Vokmark. This Wine keeps a per-user package's entry below HKLM.
entries() {
  cat <(rows "$prefix/user.reg") <(rows "$prefix/system.reg") |
    grep -aiF 'software\microsoft\windows\currentversion\uninstall\' >"$work/uninstall" || true
  local key
  for key in $(awk -F'\t' '$2 == "DisplayName" && $3 == "Vokmark" { print $1 }' "$work/uninstall"); do
    grep -F "$key"$'\t' "$work/uninstall"
  done
}
entry_count() { entries | cut -f1 | sort -u | grep -c . || true; }
entry_value() { entries | awk -F'\t' -v name="$1" '$2 == name { print $3 }'; }
same_file() { cmp -s "$1" "$2"; }
no_symbols() { ! "$1-w64-mingw32-objdump" -t "$2" | grep '\.text' >/dev/null; }
link_says() { { strings "$shortcut"; strings -e l "$shortcut"; } | grep -F -- "$1" >/dev/null; }

echo "---- msiexec /i, as the user"
snapshot before
msiexec install /i 'C:\vokmark.msi'
check "msiexec /i exits 0" test "$rc" -eq 0
for pair in "x64 x86_64" "x86 i686"; do
  read -r dir triplet <<<"$pair"
  check "$version\\$dir\\vok.dll is the package's" same_file "$packaged/$dir/vok.dll" "$libraries/$dir/vok.dll"
  check "$dir\\vok.dll carries no symbols" no_symbols "$triplet" "$libraries/$dir/vok.dll"
done
check "no arm64\\ on an x64 machine" test ! -e "$libraries/arm64"
check "vokmark.exe beside x64\\vok.dll is the package's" same_file "$packaged/x64/vokmark.exe" "$libraries/x64/vokmark.exe"
check "the package for Windows 11's menu is there" same_file "$work/packaged/Programs/Vokmark/vokmark-sparse.msix" "$unix_folder/vokmark-sparse.msix"
# Wine has no PowerShell: the registration fails, and the install goes on.
registered_from() { grep -aq 'Action start .*RegisterSparsePackage' "$prefix/drive_c/$1.log" &&
  grep -aqF "NATIVEFOLDER = $folder\\$version\\$2\\" "$prefix/drive_c/$1.log"; }
check "its registration ran, the external location x64\\" registered_from install x64
check "Favorites\\ exists and is empty" test -d "$unix_folder/Favorites" -a -z "$(ls -A "$unix_folder/Favorites")"
check "the Start-menu shortcut exists" test -f "$shortcut"
check "it starts rundll32.exe" link_says 'C:\windows\system32\rundll32.exe'
check "with the About window's switch" link_says "\"$folder\\$version\\x64\\vok.dll\",ShowAboutBox"
check "one Programs and Features entry" test "$(entry_count)" -eq 1
check "its name is Vokmark, its publisher TALLOWAY" \
  test "$(entry_value DisplayName)/$(entry_value Publisher)" = "Vokmark/TALLOWAY"
check "its version is $version" test "$(entry_value DisplayVersion)" = "$version"
check "it offers no Modify" test "$(entry_value NoModify)" = "dword:00000001"
icon=$(rows "$prefix/user.reg" | awk -F'\t' '$2 == "ProductIcon" && $3 ~ /Vokmark.ico$/ { print $3 }')
icon_unix=$([ -n "$icon" ] && timeout 30 "$wine" winepath -u "$icon" | tr -d '\r' || true)
check "its icon is the library's icon" same_file "$here/../src/Resources/icons/MAINICON.ico" "${icon_unix:-/no-icon}"

echo "---- the rows, compared with what regsvr32 writes"
snapshot installed
rows "$work/before.user.reg" "$work/installed.user.reg" | registration_rows >"$work/package.rows"
timeout 60 "$wine" regsvr32 /s "$folder\\$version\\x64\\vok.dll" || true
snapshot registered
rows "$work/installed.system.reg" "$work/registered.system.reg" | registration_rows >"$work/regsvr32.rows"
check "regsvr32 wrote the class rows" grep -qiF "software\\classes\\clsid\\$clsid" "$work/regsvr32.rows"
# Below HKCU, the same rows; in the 32-bit view the class rows again, naming
# x86\vok.dll; the installation folder; and the package's own.
clsid_key=$(echo "software\\classes\\clsid\\$clsid" | tr '[:upper:]' '[:lower:]')
{
  cat "$work/regsvr32.rows"
  grep -F "$clsid_key" "$work/regsvr32.rows" |
    sed 's/^software\\classes\\clsid\\/software\\classes\\wow6432node\\clsid\\/; s/\\x64\\vok\.dll$/\\x86\\vok.dll/'
  printf 'software\\vok\tInstall Folder\t%s\n' "$folder"
  printf 'software\\vok\\package\t%s\t%s\n' "Earlier Version Folder" "" Favorites "$folder\\Favorites\\" "Version Folder" \
    "$folder\\$version\\" x64 "$folder\\$version\\x64\\vok.dll" x86 "$folder\\$version\\x86\\vok.dll"
} | sort >"$work/expected.rows"
check "the package's HKCU rows, both views, are regsvr32's row for row" \
  diff -u "$work/expected.rows" "$work/package.rows"
timeout 60 "$wine" regsvr32 /s /u "$folder\\$version\\x64\\vok.dll" || true

echo "---- a menu from the installed x64\\vok.dll"
printf '[InternetShortcut]\r\nURL=https://vokmark.example/\r\n\r\n' >"$unix_folder/Favorites/Home.url"
timeout 60 "$wine" "$menu_exe" "$folder\\$version\\x64\\vok.dll" "$folder" | tr -d '\r' >"$work/menu.txt" || true
check "the menu holds the Vokmark submenu" grep -q 'Vokmark' "$work/menu.txt"
check "with the favourite in it" grep -qE '^ +Home$' "$work/menu.txt"
settle

echo "---- msiexec /x, with a favourite in place"
msiexec uninstall /x 'C:\vokmark.msi'
check "msiexec /x exits 0" test "$rc" -eq 0
check "the libraries are gone, with their folder" test ! -e "$libraries"
check "the favourite stayed" test -f "$unix_folder/Favorites/Home.url"
check "the folder holds nothing but Favorites" test "$(ls -A "$unix_folder")" = Favorites
check "the shortcut is gone" test ! -e "$shortcut"
check "no Programs and Features entry" test "$(entry_count)" -eq 0
rows "$work/before.user.reg" "$prefix/user.reg" | registration_rows >"$work/left.rows"
check "no value of the package is left below HKCU" test ! -s "$work/left.rows"
check "no class key is left in either view" \
  test -z "$(rows "$prefix/user.reg" | grep -iF "$clsid" | grep -v 'shell extensions' || true)"

echo "---- installed again; the same package again repairs"
msiexec reinstall /i 'C:\vokmark.msi'
check "msiexec /i exits 0" test "$rc" -eq 0
rm "$libraries/x64/vok.dll"
msiexec repair /i 'C:\vokmark.msi'
check "the same package again exits 0" test "$rc" -eq 0
check "it put x64\\vok.dll back" same_file "$packaged/x64/vok.dll" "$libraries/x64/vok.dll"
check "one Programs and Features entry" test "$(entry_count)" -eq 1

echo "---- another build of $version over it: replaces it"
msiexec rebuilt /i 'C:\vokmark-rebuilt.msi'
check "msiexec /i exits 0" test "$rc" -eq 0
check "one Programs and Features entry, the other build's" \
  test "$(entry_count)/$(entries | cut -f1 | sort -u | grep -ciF "$(property "$work/vokmark-rebuilt.msi" ProductCode)")" = 1/1
check "the libraries are in place" test -f "$libraries/x64/vok.dll" -a -f "$libraries/x86/vok.dll"

echo "---- version $next over $version, while a process holds $version's library"
check "a process holds $version\\x64\\vok.dll" hold "$folder\\$version\\x64\\vok.dll" "$libraries/x64/vok.dll"
msiexec upgrade /i 'C:\vokmark-next.msi'
check "msiexec /i of $next exits 0, asking for no restart" test "$rc" -eq 0
check "the held library stays, untouched" test "$(identity "$libraries/x64/vok.dll")" = "$before"
release
check "one Programs and Features entry" test "$(entry_count)" -eq 1
check "its version is $next" test "$(entry_value DisplayVersion)" = "$next"
check "the libraries are in $next\\" test -f "$next_libraries/x64/vok.dll" -a -f "$next_libraries/x86/vok.dll"
check "the class rows of both views name $next\\'s libraries" \
  test "$(server_rows)" = "$folder\\$next\\x64\\vok.dll $folder\\$next\\x86\\vok.dll "
check "the favourite stayed" test -f "$unix_folder/Favorites/Home.url"

echo "---- $next again, while a process holds its library: a repair"
check "a process holds $next\\x64\\vok.dll" hold "$folder\\$next\\x64\\vok.dll" "$next_libraries"/*/vok.dll
msiexec repair-next /i 'C:\vokmark-next.msi'
check "msiexec /i exits 0" test "$rc" -eq 0
check "it replaced no library of an equal version" test "$(identity "$next_libraries"/*/vok.dll)" = "$before"
check "$version\\ went, at the next install after it" test ! -e "$libraries"
release
echo "---- version $version over $next: refused"
msiexec downgrade /i 'C:\vokmark.msi'
check "msiexec /i of $version fails" test "$rc" -ne 0
# Wine logs no launch condition's message; Windows shows the package's.
check "the package's message for it says a newer version is installed" \
  grep -qF $'NOT NEWERVERSIONFOUND\tA newer version of Vokmark is already installed' \
  <(msiinfo export "$work/vokmark.msi" LaunchCondition | tr -d '\r')
check "$next stays, alone" test "$(entry_count)/$(entry_value DisplayVersion)" = "1/$next"

echo "---- the uninstall an upgrade runs, as Windows runs it (Wine's sets no UPGRADINGPRODUCTCODE)"
msiexec removed-by-upgrade /x 'C:\vokmark-next.msi' UPGRADINGPRODUCTCODE='{00000000-0000-0000-0000-000000000001}'
check "msiexec /x exits 0, and $next's libraries stay" \
  test "$rc/$(ls "$next_libraries")/$(entry_count)" = "0/x64"$'\n'"x86/0"
msiexec after-upgrade /i 'C:\vokmark.msi' LASTVERSIONFOLDER="$folder\\$next\\" && msiexec uninstall-after-upgrade /x 'C:\vokmark.msi'
check "the next install and uninstall leave nothing but Favorites, with the favourite" \
  test "$rc/$(ls -A "$unix_folder")/$(ls -A "$unix_folder/Favorites")" = 0/Favorites/Home.url
echo "---- on an ARM64 machine: the ARM64 library, which the class and the shortcut name"
machine() { timeout 60 "$wine" reg add 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment' /v PROCESSOR_ARCHITECTURE /d "$1" /f; }
machine ARM64 >/dev/null && msiexec arm64 /i 'C:\vokmark.msi'
check "msiexec /i exits 0, installing arm64\\vok.dll and no x64\\" eval \
  'test $rc -eq 0 -a ! -e "$libraries/x64" && same_file "$packaged/arm64/vok.dll" "$libraries/arm64/vok.dll"'
check "the class rows name arm64\\ and x86\\" test "$(server_rows)" = "$folder\\$version\\arm64\\vok.dll $folder\\$version\\x86\\vok.dll "
check "the shortcut opens the About window of arm64\\vok.dll" link_says "\"$folder\\$version\\arm64\\vok.dll\",ShowAboutBox"
check "the package's external location is arm64\\, with vokmark.exe" eval \
  'registered_from arm64 arm64 && same_file "$packaged/arm64/vokmark.exe" "$libraries/arm64/vokmark.exe"'
msiexec arm64-uninstall /x 'C:\vokmark.msi' && machine AMD64 >/dev/null
check "msiexec /x leaves nothing but Favorites" test "$rc/$(ls -A "$unix_folder")" = 0/Favorites

finish msi "$work"
