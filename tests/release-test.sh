#!/usr/bin/env bash
# The release files as a publisher makes them: the zip's libraries and the
# Windows Installer package signed with a throwaway certificate, each
# signature verified, and a file changed after signing failing; then the
# winget manifest set of the signed package, checked against the fields the
# manifest schema (1.6) requires.
# Usage: release-test.sh I686_DLL X86_64_DLL WORK_DIR
set -euo pipefail
here=$(dirname "$(realpath "$0")")
work=$(realpath -m "$3")
# shellcheck source=support/checks.sh
. "$here/support/checks.sh"
rm -rf "$work"
mkdir -p "$work"

echo "---- signed with a throwaway certificate"
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=Vokmark test publisher" \
  -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/publisher.pfx" -passout pass:throwaway
# A self-signed certificate verifies only against itself.
export VOK_SIGN_PFX=$work/publisher.pfx VOK_SIGN_PASSWORD=throwaway VOK_SIGN_CAFILE=$work/cert.pem
"$here/../tools/dist.sh" "$1" "$2" "$work/vokmark-windows.zip" >"$work/dist.out"
"$here/../tools/msi.sh" "$1" "$2" "$work/vokmark.msi" >"$work/msi.out"
check "dist.sh says both libraries are signed and verified" test "$(grep -c 'signed and verified' "$work/dist.out")" -eq 2
check "msi.sh says both libraries and the package are" test "$(grep -c 'signed and verified' "$work/msi.out")" -eq 3
unzip -q "$work/vokmark-windows.zip" -d "$work/zip"
msiextract -C "$work/msi" "$work/vokmark.msi" >/dev/null
verifies() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >"$work/verify.out" 2>&1; }
fails_to_verify() { ! verifies "$1" && grep -q MISMATCH "$work/verify.out"; }
signed_by_test_publisher() { verifies "$1" && grep -q 'Vokmark test publisher' "$work/verify.out"; }
for file in zip/x64/vok.dll zip/x86/vok.dll msi/Programs/Vokmark/*/x64/vok.dll msi/Programs/Vokmark/*/x86/vok.dll vokmark.msi; do
  check "${file//\//\\} carries a verified SHA-256 signature" signed_by_test_publisher "$work"/$file
done
check "the signature is SHA-256" grep -qi 'sha256' "$work/verify.out"
cp "$work/zip/x64/vok.dll" "$work/changed.dll"
printf 'X' | dd of="$work/changed.dll" bs=1 seek=$((0x1400)) conv=notrunc 2>/dev/null
check "a library changed after signing fails" fails_to_verify "$work/changed.dll"
cp "$work/vokmark.msi" "$work/changed.msi"
msibuild "$work/changed.msi" -q "INSERT INTO \`Property\` (\`Property\`, \`Value\`) VALUES ('CHANGED', '1')"
check "a package changed after signing fails" fails_to_verify "$work/changed.msi"

echo "---- the winget manifest set"
"$here/../tools/winget.sh" "$work/vokmark.msi" "$work/winget" >/dev/null
python3 - "$work/winget" "$work/vokmark.msi" <<'PY' || failures=$((failures + 1))
import hashlib, pathlib, sys, yaml
folder, msi = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
common = ["PackageIdentifier", "PackageVersion", "ManifestType", "ManifestVersion"]
required = {  # manifest schema 1.6: the fields each file must have
    "version": common + ["DefaultLocale"],
    "installer": common + ["Installers"],
    "defaultLocale": common + ["PackageLocale", "Publisher", "PackageName", "License", "ShortDescription"],
}
installer_required = ["Architecture", "InstallerUrl", "InstallerSha256"]
files = {m["ManifestType"]: m for m in (yaml.safe_load(p.read_text()) for p in sorted(folder.glob("*.yaml")))}
sha256 = hashlib.sha256(msi.read_bytes()).hexdigest().upper()
installer = files.get("installer", {})
checks = [(f"the set is a version, an installer and a default-locale file", sorted(files) == sorted(required))]
missing = {kind: [f for f in fields if f not in files.get(kind, {})] for kind, fields in required.items()}
missing["Installers"] = [f for i in installer.get("Installers", [{}]) for f in installer_required if f not in i]
checks += [(f"{kind} has the required fields (missing: {m})", not m) for kind, m in missing.items()]
checks += [
    ("each says manifest version 1.6.0 and one package and version",
     len({(m["ManifestVersion"], m["PackageIdentifier"], m["PackageVersion"]) for m in files.values()}) == 1
     and files["version"]["ManifestVersion"] == "1.6.0"),
    ("InstallerType msi, Scope user", (installer.get("InstallerType"), installer.get("Scope")) == ("msi", "user")),
    ("InstallerSha256 is the package's", [i["InstallerSha256"] for i in installer["Installers"]] == [sha256]),
]
for what, ok in checks:
    print(("ok    " if ok else "FAIL  ") + what)
sys.exit(0 if all(ok for _, ok in checks) else 1)
PY

finish release "$work"
