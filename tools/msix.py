#!/usr/bin/env python3
"""Builds a package in the format Windows' package manager installs (.msix)
from a staging folder: AppxManifest.xml and the files it names, stored
(never compressed), followed by the block map (each file's SHA-256, one hash
per 64 KiB block) and the content types, which the package format requires.

The manifest's @VERSION@ becomes VERSION (four numbers) and its @PUBLISHER@
the subject of the certificate in VOK_SIGN_PFX (password VOK_SIGN_PASSWORD),
written as Windows writes it, since Windows installs a package only when its
Publisher equals the signer's subject; without a certificate, a development
publisher. The package is signed afterwards (tools/sign.sh); the content
types already name the signature's part, so that the signing tool does not
have to rewrite that entry.

Usage: msix.py STAGE OUT VERSION
"""
import base64
import hashlib
import os
import re
import subprocess
import sys
import zipfile
from pathlib import Path
from xml.sax.saxutils import escape

DEVELOPMENT_PUBLISHER = "CN=Vokmark Development"
BLOCK_SIZE = 64 * 1024
# The format's 1980 epoch: the same files always make the same package.
ZIP_TIME = (1980, 1, 1, 0, 0, 0)

# The attribute names Windows writes in a subject, by object identifier;
# others it writes as "OID.<identifier>".
WINDOWS_ATTRIBUTE_NAMES = {
    "2.5.4.3": "CN", "2.5.4.7": "L", "2.5.4.10": "O", "2.5.4.11": "OU", "1.2.840.113549.1.9.1": "E",
    "2.5.4.6": "C", "2.5.4.8": "S", "2.5.4.9": "STREET", "2.5.4.12": "T", "2.5.4.42": "G", "2.5.4.43": "I",
    "2.5.4.4": "SN", "0.9.2342.19200300.100.1.25": "DC", "2.5.4.5": "SERIALNUMBER", "2.5.4.13": "Description",
    "2.5.4.17": "PostalCode", "2.5.4.18": "POBox", "2.5.4.20": "Phone", "2.5.4.24": "X21Address",
    "2.5.4.46": "dnQualifier",
}

FOOTPRINT_TYPES = {
    "/AppxManifest.xml": "application/vnd.ms-appx.manifest+xml",
    "/AppxBlockMap.xml": "application/vnd.ms-appx.blockmap+xml",
    "/AppxSignature.p7x": "application/vnd.ms-appx.signature",
}
EXTENSION_TYPES = {"png": "image/png", "xml": "application/xml", "exe": "application/x-msdownload",
                   "dll": "application/x-msdownload"}


def openssl(args, stdin=None):
    return subprocess.run(["openssl", *args], input=stdin, capture_output=True, check=True).stdout


def signer_certificate(pfx):
    """The PEM of the certificate that goes with the key in `pfx`."""
    password = "env:VOK_SIGN_PASSWORD" if "VOK_SIGN_PASSWORD" in os.environ else "pass:"
    args = ["pkcs12", "-in", pfx, "-nokeys", "-clcerts", "-passin", password]
    try:
        return openssl(args)
    except subprocess.CalledProcessError:
        # Files made with older tools use ciphers OpenSSL 3 keeps apart.
        return openssl(args + ["-legacy"])


def windows_value(value):
    """A value as Windows writes it: quoted, quotes doubled, where it holds
    a separator or leading or trailing blanks."""
    if value and not re.search(r'[,+="<>#;\n]', value) and value == value.strip():
        return value
    return '"' + value.replace('"', '""') + '"'


def windows_subject(certificate):
    """The subject in the order Windows compares it, that of RFC 4514: the
    last of the encoded names first ("CN=..., O=..., C=..." for the usual
    certificate), joined by ", "."""
    lines = openssl(["x509", "-noout", "-subject", "-nameopt", "utf8,oid,sep_multiline,dn_rev"], certificate)
    names = []
    # One name to a line; the values of a name with several, " + " apart.
    for line in lines.decode("utf-8").splitlines()[1:]:
        values = []
        for pair in re.split(r" \+ (?=[0-9.]+=)", line.strip()):
            oid, _, value = pair.partition("=")
            values.append(f"{WINDOWS_ATTRIBUTE_NAMES.get(oid, 'OID.' + oid)}={windows_value(value)}")
        names.append(" + ".join(values))
    if not names:
        sys.exit("msix: the certificate has no subject")
    return ", ".join(names)


def publisher():
    pfx = os.environ.get("VOK_SIGN_PFX")
    if not pfx:
        return DEVELOPMENT_PUBLISHER
    try:
        return windows_subject(signer_certificate(pfx))
    except subprocess.CalledProcessError as failure:
        sys.exit(f"msix: cannot read the certificate in {pfx}: {failure.stderr.decode(errors='replace').strip()}")


def filled_manifest(template, version, publisher_name):
    if not re.fullmatch(r"(\d+)\.(\d+)\.(\d+)\.(\d+)", version) or max(map(int, version.split("."))) > 65535:
        sys.exit(f"msix: a package's version is four numbers up to 65535 (got '{version}')")
    return template.replace("@VERSION@", version).replace("@PUBLISHER@", escape(publisher_name, {'"': "&quot;"}))


def block_map(files):
    """AppxBlockMap.xml for stored entries: per file its name with
    backslashes, its size, its local header's size and its blocks' hashes."""
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<BlockMap xmlns="http://schemas.microsoft.com/appx/2010/blockmap" '
             'HashMethod="http://www.w3.org/2001/04/xmlenc#sha256">']
    for name, data in files:
        header_size = 30 + len(name.encode("utf-8"))  # no extra field
        windows_name = escape(name.replace("/", "\\"))
        lines.append(f'  <File Name="{windows_name}" Size="{len(data)}" LfhSize="{header_size}">')
        for start in range(0, len(data), BLOCK_SIZE):
            digest = hashlib.sha256(data[start:start + BLOCK_SIZE]).digest()
            lines.append(f'    <Block Hash="{base64.b64encode(digest).decode()}"/>')
        lines.append("  </File>")
    lines.append("</BlockMap>")
    return "\n".join(lines).encode("utf-8") + b"\n"


def content_types(names):
    extensions = sorted({name.rpartition(".")[2].lower() for name in names if "/" + name not in FOOTPRINT_TYPES})
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">']
    lines += [f'  <Default Extension="{ext}" ContentType="{EXTENSION_TYPES.get(ext, "application/octet-stream")}"/>'
              for ext in extensions]
    lines += [f'  <Override PartName="{part}" ContentType="{kind}"/>'
              for part, kind in FOOTPRINT_TYPES.items()]
    lines.append("</Types>")
    return "\n".join(lines).encode("utf-8") + b"\n"


def staged_files(stage, manifest):
    """The manifest first, then every other file, as zip names and bytes."""
    others = sorted(p for p in stage.rglob("*") if p.is_file() and p.name != "AppxManifest.xml")
    return [("AppxManifest.xml", manifest)] + [(p.relative_to(stage).as_posix(), p.read_bytes()) for p in others]


def write_package(out, files):
    entries = files + [("AppxBlockMap.xml", block_map(files))]
    entries.append(("[Content_Types].xml", content_types([name for name, _ in entries])))
    with zipfile.ZipFile(out, "w") as package:
        for name, data in entries:
            package.writestr(zipfile.ZipInfo(name, ZIP_TIME), data, compress_type=zipfile.ZIP_STORED)


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    stage, out, version = Path(sys.argv[1]), Path(sys.argv[2]), sys.argv[3]
    template = (stage / "AppxManifest.xml").read_text(encoding="utf-8")
    manifest = filled_manifest(template, version, publisher()).encode("utf-8")
    out.parent.mkdir(parents=True, exist_ok=True)
    write_package(out, staged_files(stage, manifest))


if __name__ == "__main__":
    main()
