#!/usr/bin/env bash
# The package for Windows 11's Explorer menu as sparse.sh builds it: without
# a certificate, and signed with a throwaway one whose subject has to be
# quoted and reordered to become the Publisher. Its manifest, its block map
# (recomputed from the files) and content types; the signature verified, the
# archive sound, and a package changed after signing refused.
# Usage: sparse-test.sh WORK_DIR
set -euo pipefail
here=$(dirname "$(realpath "$0")")
work=$(realpath -m "$1")
# shellcheck source=support/checks.sh
. "$here/support/checks.sh"
rm -rf "$work"
mkdir -p "$work"
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/C=GB/O=Vokmark Test, Ltd/CN=Vokmark test publisher" \
  -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/test.pfx" -passout pass:throwaway
env -u VOK_SIGN_PFX "$here/../tools/sparse.sh" "$work/unsigned.msix" >/dev/null
VOK_SIGN_PFX=$work/test.pfx VOK_SIGN_PASSWORD=throwaway VOK_SIGN_CAFILE=$work/cert.pem \
  "$here/../tools/sparse.sh" "$work/signed.msix" >/dev/null
version=$(sed -n 's/^FILEVERSION *\([0-9]*\), *\([0-9]*\), *\([0-9]*\), *\([0-9]*\).*/\1.\2.\3.\4/p' \
  "$here/../src/Resources/Library.rc")

contents() { # contents PACKAGE PUBLISHER: the manifest, block map and content types
  python3 - "$@" "$version" <<'PY'
import base64, hashlib, struct, sys, zipfile, xml.etree.ElementTree as ET
package, publisher, version = sys.argv[1:]
ns = {p: "http://schemas.microsoft.com/appx/manifest/" + u for p, u in [
    ("f", "foundation/windows10"), ("uap", "uap/windows10"), ("uap10", "uap/windows10/10"),
    ("desktop4", "desktop/windows10/4"), ("desktop5", "desktop/windows10/5"), ("com", "com/windows10")]}
ns["b"], ns["t"] = "http://schemas.microsoft.com/appx/2010/blockmap", "http://schemas.openxmlformats.org/package/2006/content-types"
clsid, app = "BD566B9D-AA72-4068-9809-1473BDA5DBF3", "f:Applications/f:Application"
menus = app + "/f:Extensions/desktop4:Extension[@Category='windows.fileExplorerContextMenus']/desktop4:FileExplorerContextMenus/desktop5:ItemType"
server = app + "/f:Extensions/com:Extension[@Category='windows.comServer']/com:ComServer/com:SurrogateServer/com:Class"
rows = [  # path, attribute (None: the text), the values of every element found
    (".", "IgnorableNamespaces", ["uap uap10 desktop4 desktop5 com rescap"]),
    ("f:Identity", "Name", ["TALLOWAY.Vokmark"]), ("f:Identity", "Publisher", [publisher]),
    ("f:Identity", "Version", [version]), ("f:Identity", "ProcessorArchitecture", ["neutral"]),
    ("f:Properties/uap10:AllowExternalContent", None, ["true"]),
    (app, "Executable", ["vokmark.exe"]), (app, "{%s}TrustLevel" % ns["uap10"], ["mediumIL"]),
    (app, "{%s}RuntimeBehavior" % ns["uap10"], ["win32App"]), (app + "/uap:VisualElements", "AppListEntry", ["none"]),
    (server, "Id", [clsid]), (server, "Path", ["vok.dll"]), (server, "ThreadingModel", ["STA"]),
    (menus, "Type", ["Directory", "Directory\\Background", "*"]), (menus + "/desktop5:Verb", "Clsid", [clsid] * 3),
]
z = zipfile.ZipFile(package)
manifest = ET.fromstring(z.read("AppxManifest.xml"))
failed = manifest.tag != "{%s}Package" % ns["f"]
for path, attribute, expected in rows:
    found = [e.text if attribute is None else e.get(attribute) for e in manifest.findall(path, ns)]
    failed |= found != expected
    print(("ok    " if found == expected else "FAIL  ") + f"{path.rpartition('/')[2]} {attribute or 'text'}: {found}")
logos = [manifest.find("f:Properties/f:Logo", ns).text] + [manifest.find(app + "/uap:VisualElements", ns).get(a)
                                                          for a in ("Square44x44Logo", "Square150x150Logo")]
footprint = {"AppxBlockMap.xml", "[Content_Types].xml", "AppxSignature.p7x"}
raw = open(package, "rb").read()
def local_header_size(i):
    return 30 + sum(struct.unpack_from("<HH", raw, i.header_offset + 26))
def hashes(data):
    return [base64.b64encode(hashlib.sha256(data[k:k + 65536]).digest()).decode() for k in range(0, len(data), 65536)]
recomputed = {i.filename.replace("/", "\\"): (str(i.file_size), str(local_header_size(i)), hashes(z.read(i)))
              for i in z.infolist() if i.filename not in footprint}
block_map = ET.fromstring(z.read("AppxBlockMap.xml"))
listed = {f.get("Name"): (f.get("Size"), f.get("LfhSize"), [b.get("Hash") for b in f.findall("b:Block", ns)])
          for f in block_map.findall("b:File", ns)}
types = ET.fromstring(z.read("[Content_Types].xml"))
typed = {o.get("PartName")[1:] for o in types.findall("t:Override", ns)}
typed |= {i.filename for i in z.infolist() for d in types.findall("t:Default", ns) if i.filename.endswith("." + d.get("Extension"))}
checks = [("block map: every file's size, header size and block hashes", listed == recomputed),
          ("block map: SHA-256", block_map.get("HashMethod") == "http://www.w3.org/2001/04/xmlenc#sha256"),
          ("every entry but the signature stored",
           all(i.compress_type == zipfile.ZIP_STORED for i in z.infolist() if i.filename != "AppxSignature.p7x")),
          ("content types: every entry's and the signature's", typed >= set(z.namelist()) - {"[Content_Types].xml"} | {"AppxSignature.p7x"}),
          ("the logos the manifest names are in the package", {l.replace("\\", "/") for l in logos} <= set(z.namelist()))]
for what, ok in checks:
    failed |= not ok
    print(("ok    " if ok else "FAIL  ") + what)
sys.exit(failed)
PY
}

echo "---- unsigned: the development publisher"
check "unsigned.msix: manifest, block map, content types" contents "$work/unsigned.msix" "CN=Vokmark Development"
check "unsigned.msix: no signature" test -z "$(unzip -Z1 "$work/unsigned.msix" AppxSignature.p7x 2>/dev/null)"
echo "---- signed with a throwaway certificate: its subject in Windows' order and quoting"
check "signed.msix: manifest, block map, content types" \
  contents "$work/signed.msix" 'CN=Vokmark test publisher, O="Vokmark Test, Ltd", C=GB'
verifies() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >"$work/verify.out" 2>&1; }
check "signed.msix verifies" verifies "$work/signed.msix"
reads_back() { unzip -tq "$1" >/dev/null; }
check "signed.msix reads back whole" reads_back "$work/signed.msix"
# One byte of a logo inside the signed archive, its entry stored.
python3 - "$work/signed.msix" "$work/changed.msix" <<'PY'
import shutil, struct, sys, zipfile
shutil.copy(sys.argv[1], sys.argv[2])
entry = zipfile.ZipFile(sys.argv[2]).getinfo("Assets/StoreLogo.png")
with open(sys.argv[2], "r+b") as package:
    package.seek(entry.header_offset + 26)
    at = entry.header_offset + 30 + sum(struct.unpack("<HH", package.read(4))) + 100
    package.seek(at)
    byte = package.read(1)[0]
    package.seek(at)
    package.write(bytes([byte ^ 1]))
PY
refused() { ! verifies "$1" && grep -q MISMATCH "$work/verify.out"; }
check "a package changed after signing is refused" refused "$work/changed.msix"

if [ "$failures" -ne 0 ]; then echo "$failures check(s) failed; the packages stay in $work" >&2; exit 1; fi
rm -rf "$work"
echo "sparse: all checks passed"
