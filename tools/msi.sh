#!/usr/bin/env bash
# Builds the Windows Installer package from packaging/vokmark.wxs with wixl:
# the two libraries stripped of their symbols and signed (tools/sign.sh,
# when a certificate is given), the version from the library's version
# block (FILEVERSION, all four numbers) unless VERSION is given, a new
# product code for every build; then the package itself signed.
# Usage: msi.sh I686_DLL X86_64_DLL OUT_MSI [VERSION]
set -euo pipefail
here=$(dirname "$(realpath "$0")")
root=$here/..
x86=$(realpath "$1") x64=$(realpath "$2") out=$(realpath -m "$3")
version=${4:-$(sed -n 's/^FILEVERSION *\([0-9]*\), *\([0-9]*\), *\([0-9]*\), *\([0-9]*\).*/\1.\2.\3.\4/p' "$root/src/Resources/Library.rc")}
[[ $version =~ ^([0-9]+)\.([0-9]+)\.([0-9]+)\.[0-9]+$ ]] || { echo "msi: no version (got '$version')" >&2; exit 1; }
next_version=${BASH_REMATCH[1]}.${BASH_REMATCH[2]}.$((BASH_REMATCH[3] + 1))
upgrade_code=$(sed -n 's/.*define UpgradeCode = "\([^"]*\)".*/\1/p' "$root/packaging/vokmark.wxs")
uuid() { python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2]) if sys.argv[2:] else uuid.uuid4()).upper())' "$@"; }
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/x86" "$stage/x64" "$(dirname "$out")"
i686-w64-mingw32-strip -o "$stage/x86/vok.dll" "$x86"
x86_64-w64-mingw32-strip -o "$stage/x64/vok.dll" "$x64"
"$here/sign.sh" "$stage/x86/vok.dll" "$stage/x64/vok.dll"
cp "$root/src/Resources/icons/MAINICON.ico" "$stage/"
rm -f "$out"
# wixl finds the sources relative to the folder it runs in.
(cd "$stage" && wixl -a x64 -D Version="$version" -D NextVersion="$next_version" -D ProductCode="{$(uuid)}" \
  -D Library64Guid="$(uuid "$upgrade_code" "x64\\$version")" -D Library32Guid="$(uuid "$upgrade_code" "x86\\$version")" \
  -o "$out" "$root/packaging/vokmark.wxs")
# The RemoveFile rows wixl cannot write (it writes a folder's row for the
# component's own folder only): FILE_KEY COMPONENT FOLDER MODE [FILE], mode
# 1 on install, 2 on uninstall, 3 on both. The earlier version folder's
# library is named: Wine's Windows Installer takes no wildcards here.
while read -r key component folder mode file; do
  if [ -n "$file" ]; then name_column=', `FileName`' name_value=", '$file'"; else name_column='' name_value=''; fi
  msibuild "$out" -q "INSERT INTO \`RemoveFile\` (\`FileKey\`, \`Component_\`, \`DirProperty\`, \`InstallMode\`$name_column)
    VALUES ('$key', '$component', '$folder', $mode$name_value)"
done <<'ROWS'
RemoveProgramsFolder Settings UserPrograms 2
RemoveVersionFolder Library64 VersionFolder 2
RemoveEarlierX64Library Settings EarlierX64 3 vok.dll
RemoveEarlierX86Library Settings EarlierX86 3 vok.dll
RemoveEarlierX64Folder Settings EarlierX64 3
RemoveEarlierX86Folder Settings EarlierX86 3
RemoveEarlierVersionFolder Settings EARLIERVERSIONFOLDER 3
ROWS
"$here/sign.sh" "$out"
echo "msi: $out (version $version)"
