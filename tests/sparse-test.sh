#!/usr/bin/env bash
# The package for Windows 11's Explorer menu, signed with a throwaway certificate whose subject
# must be reordered and quoted to become the Publisher: manifest, block map, content types, signature.
# Usage: sparse-test.sh WORK_DIR
set -euo pipefail
here=$(dirname "$(realpath "$0")")
work=$(realpath -m "$1")
# shellcheck source=support/checks.sh
. "$here/support/checks.sh"
rm -rf "$work" && mkdir -p "$work"
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/C=GB/O=Vokmark Test, Ltd/CN=Vokmark test publisher" \
  -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/test.pfx" -passout pass:throwaway
VOK_SIGN_PFX=$work/test.pfx VOK_SIGN_PASSWORD=throwaway VOK_SIGN_CAFILE=$work/cert.pem \
  "$here/../tools/sparse.sh" "$work/signed.msix" >/dev/null

contents() { # contents PACKAGE PUBLISHER
  python3 - "$@" "$(sed -n 's/^FILEVERSION *\([0-9, ]*\).*/\1/p' "$here/../src/Resources/Library.rc")" <<'PY'
import base64, hashlib, struct, sys, zipfile, xml.etree.ElementTree as ET
package, publisher, version = sys.argv[1], sys.argv[2], sys.argv[3].replace(", ", ".")
ns = {p: "http://schemas.microsoft.com/appx/" + u for p, u in [
    ("f", "manifest/foundation/windows10"), ("uap", "manifest/uap/windows10"), ("uap10", "manifest/uap/windows10/10"),
    ("desktop4", "manifest/desktop/windows10/4"), ("desktop5", "manifest/desktop/windows10/5"),
    ("com", "manifest/com/windows10"), ("b", "2010/blockmap")]}
ns["t"] = "http://schemas.openxmlformats.org/package/2006/content-types"
clsid, app, uap10 = "BD566B9D-AA72-4068-9809-1473BDA5DBF3", "f:Applications/f:Application", "{%s}" % ns["uap10"]
menus = app + "/f:Extensions/desktop4:Extension[@Category='windows.fileExplorerContextMenus']/desktop4:FileExplorerContextMenus/desktop5:ItemType"
server = app + "/f:Extensions/com:Extension[@Category='windows.comServer']/com:ComServer/com:SurrogateServer/com:Class"
rows = [  # path, attribute (None: the text), the values of every element found
    (".", "IgnorableNamespaces", ["uap uap10 desktop4 desktop5 com rescap"]), ("f:Identity", "Name", ["TALLOWAY.Vokmark"]),
    ("f:Identity", "Publisher", [publisher]), ("f:Identity", "Version", [version]),
    ("f:Identity", "ProcessorArchitecture", ["neutral"]),
    ("f:Properties/uap10:AllowExternalContent", None, ["true"]),
    (app, "Executable", ["vokmark.exe"]), (app, uap10 + "TrustLevel", ["mediumIL"]),
    (app, uap10 + "RuntimeBehavior", ["win32App"]), (app + "/uap:VisualElements", "AppListEntry", ["none"]),
    (server, "Id", [clsid]), (server, "Path", ["vok.dll"]), (server, "ThreadingModel", ["STA"]),
    (menus, "Type", ["Directory", "Directory\\Background", "*"]), (menus + "/desktop5:Verb", "Clsid", [clsid] * 3),
]
z, raw = zipfile.ZipFile(package), open(package, "rb").read()
manifest, failed = ET.fromstring(z.read("AppxManifest.xml")), False
def report(ok, what):
    print(("ok    " if ok else "FAIL  ") + what)
    return not ok
for path, attribute, expected in rows:
    found = [e.text if attribute is None else e.get(attribute) for e in manifest.findall(path, ns)]
    failed |= report(found == expected, f"{path.rpartition('/')[2]} {attribute or 'text'}: {found}")
def hashes(data):
    return [base64.b64encode(hashlib.sha256(data[k:k + 65536]).digest()).decode() for k in range(0, len(data), 65536)]
payload = [i for i in z.infolist() if i.filename not in ("AppxBlockMap.xml", "[Content_Types].xml", "AppxSignature.p7x")]
recomputed = {i.filename.replace("/", "\\"): (str(i.file_size), str(30 + sum(struct.unpack_from("<HH", raw, i.header_offset + 26))),
                                              hashes(z.read(i))) for i in payload}
block_map = ET.fromstring(z.read("AppxBlockMap.xml"))
listed = {f.get("Name"): (f.get("Size"), f.get("LfhSize"), [b.get("Hash") for b in f.findall("b:Block", ns)])
          for f in block_map.findall("b:File", ns)}
types = ET.fromstring(z.read("[Content_Types].xml"))
typed = {o.get("PartName")[1:] for o in types.findall("t:Override", ns)} | {
    n for n in z.namelist() for d in types.findall("t:Default", ns) if n.endswith("." + d.get("Extension"))}
sys.exit(failed | report(manifest.tag == "{%s}Package" % ns["f"], "the manifest's root is the foundation's Package")
         | report(listed == recomputed, "block map: every file's size, local header size and 64 KiB blocks' SHA-256")
         | report(block_map.get("HashMethod") == "http://www.w3.org/2001/04/xmlenc#sha256", "block map: hash method")
         | report(all(i.compress_type == zipfile.ZIP_STORED for i in payload), "the files stored")
         | report(typed >= set(z.namelist()) - {"[Content_Types].xml"} | {"AppxSignature.p7x"}, "every part has a type"))
PY
}
verifies() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >"$work/verify.out" 2>&1; }
reads_back() { unzip -tq "$1" >/dev/null; }
refused() { ! verifies "$1" && grep -q MISMATCH "$work/verify.out"; }
check "signed: the signer's subject" contents "$work/signed.msix" 'CN=Vokmark test publisher, O="Vokmark Test, Ltd", C=GB'
check "signed: verifies" verifies "$work/signed.msix"
check "signed: reads back whole" reads_back "$work/signed.msix"
# One byte of the manifest, a stored entry, changed inside the signed package.
LC_ALL=C sed 's|<DisplayName>Vokmark<|<DisplayName>Vokmarx<|' "$work/signed.msix" >"$work/changed.msix"
check "a package changed after signing is refused" refused "$work/changed.msix"
[ "$failures" -eq 0 ] || { echo "$failures check(s) failed; the packages stay in $work" >&2; exit 1; }
rm -rf "$work"
echo "sparse: all checks passed"
