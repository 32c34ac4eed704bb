#!/usr/bin/env bash
# Builds the Windows Installer package from packaging/vokmark.wxs with wixl:
# the three libraries and the 64-bit vokmark.exe stripped of their symbols
# and signed (tools/sign.sh), the package for Windows 11's menu (sparse.sh),
# the version from the library's version block (FILEVERSION, all four
# numbers) unless VERSION is given, a new product code for every build; then
# the package itself signed.
# Usage: msi.sh I686_DLL X86_64_DLL AARCH64_DLL OUT_MSI [VERSION]
set -euo pipefail
here=$(dirname "$(realpath "$0")")
root=$here/..
# shellcheck source=stage-libraries.sh
. "$here/stage-libraries.sh"
out=$(realpath -m "$4")
version=${5:-$(sed -n 's/^FILEVERSION *\([0-9]*\), *\([0-9]*\), *\([0-9]*\), *\([0-9]*\).*/\1.\2.\3.\4/p' "$root/src/Resources/Library.rc")}
[[ $version =~ ^([0-9]+)\.([0-9]+)\.([0-9]+)\.[0-9]+$ ]] || { echo "msi: no version (got '$version')" >&2; exit 1; }
next_version=${BASH_REMATCH[1]}.${BASH_REMATCH[2]}.$((BASH_REMATCH[3] + 1))
upgrade_code=$(sed -n 's/.*define UpgradeCode = "\([^"]*\)".*/\1/p' "$root/packaging/vokmark.wxs")
uuid() { python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2]) if sys.argv[2:] else uuid.uuid4()).upper())' "$@"; }
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$(dirname "$out")"
stage_libraries "$stage" "$1" "$2" "$3"
stage_launchers "$stage" "$2" "$3"
"$here/sparse.sh" "$stage/vokmark-sparse.msix" "$version" >/dev/null
cp "$root/src/Resources/icons/MAINICON.ico" "$stage/"
rm -f "$out"
# wixl finds the sources relative to the folder it runs in.
(cd "$stage" && wixl -a x64 -D Version="$version" -D NextVersion="$next_version" -D ProductCode="{$(uuid)}" \
  -D Library64Guid="$(uuid "$upgrade_code" "x64\\$version")" -D Library32Guid="$(uuid "$upgrade_code" "x86\\$version")" \
  -D LibraryArm64Guid="$(uuid "$upgrade_code" "arm64\\$version")" -o "$out" "$root/packaging/vokmark.wxs")
sql() { msibuild "$out" -q "$1"; }
# The RemoveFile rows wixl cannot write (it writes a folder's row for the
# component's own folder only): FILE_KEY COMPONENT FOLDER MODE [FILE], mode
# 1 on install, 2 on uninstall, 3 on both. The libraries are named: Wine's
# Windows Installer takes no wildcards here. Where REMOVEDVERSIONFOLDER is
# not set (every session but the uninstall a user asks for), its rows point
# at the installation folder, as the earlier version folder's do where
# nothing is recorded: x64\ and x86\ there are the layout of the packages
# before version folders.
while read -r key component folder mode file; do
  if [ -n "$file" ]; then name_column=', `FileName`' name_value=", '$file'"; else name_column='' name_value=''; fi
  sql "INSERT INTO \`RemoveFile\` (\`FileKey\`, \`Component_\`, \`DirProperty\`, \`InstallMode\`$name_column)
    VALUES ('$key', '$component', '$folder', $mode$name_value)"
done <<'ROWS'
RemoveProgramsFolder Settings UserPrograms 2
RemoveEarlierX64Library Settings EarlierX64 3 vok.dll
RemoveEarlierX64Launcher Settings EarlierX64 3 vokmark.exe
RemoveEarlierArm64Launcher Settings EarlierArm64 3 vokmark.exe
RemoveEarlierArm64Library Settings EarlierArm64 3 vok.dll
RemoveEarlierX86Library Settings EarlierX86 3 vok.dll
RemoveEarlierX64Folder Settings EarlierX64 3
RemoveEarlierArm64Folder Settings EarlierArm64 3
RemoveEarlierX86Folder Settings EarlierX86 3
RemoveEarlierVersionFolder Settings EARLIERVERSIONFOLDER 3
RemoveOwnX64Library Settings RemovedX64 2 vok.dll
RemoveOwnX64Launcher Settings RemovedX64 2 vokmark.exe
RemoveOwnArm64Launcher Settings RemovedArm64 2 vokmark.exe
RemoveOwnArm64Library Settings RemovedArm64 2 vok.dll
RemoveOwnX86Library Settings RemovedX86 2 vok.dll
RemoveOwnX64Folder Settings RemovedX64 2
RemoveOwnArm64Folder Settings RemovedArm64 2
RemoveOwnX86Folder Settings RemovedX86 2
RemoveOwnVersionFolder Settings REMOVEDVERSIONFOLDER 2
RemoveVersionFolder Settings VersionFolder 2
ROWS
# The libraries are permanent (16 added to wixl's attributes), so that no
# uninstall run by an upgrade removes one that may be loaded; x64 or ARM64 by
# the machine's own processor. The Start menu's shortcut goes with the class;
# whatever else goes into the x64\ or arm64\ folder takes the same condition.
attributes() { msiinfo export "$out" Component | tr -d '\r' | awk -F'\t' -v c="$1" '$1 == c { print $4 }'; }
while IFS='|' read -r component permanent condition; do
  [ -z "$permanent" ] || sql "UPDATE \`Component\` SET \`Attributes\` = $(($(attributes "$component") | 16)) WHERE \`Component\` = '$component'"
  [ -z "$condition" ] || sql "UPDATE \`Component\` SET \`Condition\` = '$condition' WHERE \`Component\` = '$component'"
done <<'ROWS'
Library64|permanent|NATIVEMACHINE <> "ARM64"
LibraryArm64|permanent|NATIVEMACHINE = "ARM64"
Library32|permanent|
Class64||NATIVEMACHINE <> "ARM64"
ClassArm64||NATIVEMACHINE = "ARM64"
ROWS
# Windows 11's Explorer menu: the package registered for the user, its
# external location the native library's folder ("." ends it: a folder's
# trailing backslash would escape the quote), and removed by the uninstall a
# user asks for. Type 1122: a program run from a folder (34), deferred
# (1024), its failure logged and the install going on (64).
powershell='"[System64Folder]WindowsPowerShell\v1.0\powershell.exe" -NoProfile -NonInteractive -ExecutionPolicy Bypass -Command'
while IFS='|' read -r action sequence condition command; do
  sql "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`)
    VALUES ('$action', 1122, 'VokmarkFolder', '$powershell $command')"
  sql "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Condition\`, \`Sequence\`) VALUES ('$action', '$condition', $sequence)"
done <<'ROWS'
RemoveSparsePackage|3490|REMOVE = "ALL" AND NOT UPGRADINGPRODUCTCODE|"Get-AppxPackage -Name TALLOWAY.Vokmark | Remove-AppxPackage"
RegisterSparsePackage|6590|NOT REMOVE|"Add-AppxPackage -Path \"[#sparse]\" -ExternalLocation \"[NATIVEFOLDER].\""
ROWS
# The permanent components' values go with the Settings component's
# uninstall: "-" removes the key whole.
sql "INSERT INTO \`Registry\` (\`Registry\`, \`Root\`, \`Key\`, \`Name\`, \`Component_\`)
  VALUES ('RemovePackageKey', 1, 'Software\\VOK\\Package', '-', 'Settings')"
"$here/sign.sh" "$out"
echo "msi: $out (version $version)"
