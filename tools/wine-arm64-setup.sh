#!/usr/bin/env bash
# Makes the arm64 Wine that runs the ARM64 library on these x86_64 machines:
# qemu's user mode runs aarch64 programs, registered with binfmt_misc so
# that every process Wine starts runs under it too, and Debian's arm64 Wine
# (the installed wine64's version) is unpacked into a root of its own with
# the font libraries its desktop process needs. Nothing is installed: apt
# runs with a configuration of its own (APT_CONFIG: its own sources, lists,
# cache and the arm64 architecture), which leaves the machine's apt state,
# dpkg's architectures and the locks alone.
# Idempotent and silent when all is there. Usage: wine-arm64-setup.sh
# The root: VOK_WINE_ARM64_ROOT (default /opt/vokmark-wine-arm64).
set -euo pipefail
root=${VOK_WINE_ARM64_ROOT:-/opt/vokmark-wine-arm64}
qemu=$root/qemu/usr/bin/qemu-aarch64
binfmt=/proc/sys/fs/binfmt_misc
wine_version=$(dpkg-query -W -f='${Version}' wine64)
stamp="wine $wine_version, qemu-aarch64, fonts"

# binfmt_misc does not survive a reboot: checked on every run. Any enabled
# registration whose qemu is there will do (see wine32-setup.sh).
register_qemu() {
    [ -f "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
    if [ -f "$binfmt/qemu-aarch64" ]; then
        local current
        current=$(sed -n 's/^interpreter //p' "$binfmt/qemu-aarch64")
        grep -qx enabled "$binfmt/qemu-aarch64" && [ -x "$current" ] && return 0
        echo -1 >"$binfmt/qemu-aarch64"
    fi
    printf '%s' ':qemu-aarch64:M::\x7fELF\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\xb7\x00:\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':OCPF' \
        >"$binfmt/register"
}

if [ "$(cat "$root/.ready" 2>/dev/null)" = "$stamp" ] && [ -x "$qemu" ]; then
    register_qemu
    exit 0
fi

echo "wine-arm64-setup: making the arm64 Wine in $root (qemu user mode, wine64:arm64 $wine_version)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lists/partial" "$work/archives/partial" "$work/debs" "$work/none"
uris=$(grep -h '^URIs:' /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '{ print $2 }' | grep -v -- '-security' | head -1)
security=$(grep -h '^URIs:' /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '{ print $2 }' | grep -- '-security' | head -1)
[ -n "$uris" ] || { echo "wine-arm64-setup: no Debian mirror in /etc/apt/sources.list.d/*.sources" >&2; exit 1; }
{
    printf 'Types: deb\nURIs: %s\nSuites: bookworm bookworm-updates bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' "$uris"
    [ -z "$security" ] ||
        printf '\nTypes: deb\nURIs: %s\nSuites: bookworm-security\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' "$security"
} >"$work/vokmark.sources"
cat >"$work/apt.conf" <<CONF
APT::Architectures { "amd64"; "arm64"; };
Dir::Etc::SourceList "$work/vokmark.sources";
Dir::Etc::SourceParts "$work/none";
Dir::State::Lists "$work/lists";
Dir::Cache "$work";
Dir::Cache::Archives "$work/archives";
CONF
apt_private() { APT_CONFIG="$work/apt.conf" apt-get -qq "$@"; }
# An index caught mid-sync fails the update while the downloads still work.
apt_private update >"$work/update.log" 2>&1 || true
# FreeType and fontconfig with their own libraries: without fonts no text is
# laid out, and without fontconfig the prefix's desktop process dies at its
# start and is started again without end.
(cd "$work/debs" &&
    apt_private download qemu-user/bookworm-backports \
        "wine64:arm64=$wine_version" "libwine:arm64=$wine_version" \
        libc6:arm64 libgcc-s1:arm64 libunwind8:arm64 liblzma5:arm64 \
        libfreetype6:arm64 libpng16-16:arm64 zlib1g:arm64 libbrotli1:arm64 libbz2-1.0:arm64 \
        libfontconfig1:arm64 libexpat1:arm64 libuuid1:arm64 fontconfig-config) >"$work/download.log" 2>&1 || {
    cat "$work/update.log" "$work/download.log" >&2
    echo "wine-arm64-setup: the packages could not be fetched" >&2
    exit 1
}

rm -rf "$root.new"
mkdir -p "$root.new/qemu/usr/bin"
for deb in "$work"/debs/*.deb; do
    case $(basename "$deb") in
    qemu-user_*) dpkg-deb -x "$deb" "$work/qemu" && cp "$work/qemu/usr/bin/qemu-aarch64" "$root.new/qemu/usr/bin/" ;;
    *) dpkg-deb -x "$deb" "$root.new" ;;
    esac
done
# Debian's wineserver script starts the host's amd64 server, which refuses
# arm64 clients: the root's own server instead.
rm -f "$root.new/usr/lib/wine/wineserver"
printf '#!/bin/sh\nexec "%s/usr/lib/wine/wineserver64" "$@"\n' "$root" >"$root.new/usr/lib/wine/wineserver"
chmod +x "$root.new/usr/lib/wine/wineserver"
echo "$stamp" >"$root.new/.ready"
rm -rf "$root"
mv "$root.new" "$root"
register_qemu
echo "wine-arm64-setup: ready ($("$qemu" --version | head -1))"
