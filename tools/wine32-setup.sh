#!/usr/bin/env bash
# Makes the 32-bit Wine that runs the shipped i686 library on these x86_64
# machines, whose kernel refuses 32-bit executables: qemu's user mode runs
# them, registered with binfmt_misc so that every 32-bit process Wine starts
# runs under it too, and Debian's 32-bit Wine (the version of the installed
# wine64, whose wineserver it shares) is unpacked into a root of its own.
# Installing wine32 would replace dozens of amd64 packages, so nothing here
# is installed: apt fetches the packages with a state directory of its own
# (its own sources, lists and i386 architecture), which leaves the machine's
# apt configuration untouched and takes none of its locks.
# Idempotent and silent when all is there. Usage: wine32-setup.sh
# The root: VOK_WINE32_ROOT (default /opt/vokmark-wine32).
set -euo pipefail
root=${VOK_WINE32_ROOT:-/opt/vokmark-wine32}
qemu=$root/qemu/usr/bin/qemu-i386
binfmt=/proc/sys/fs/binfmt_misc
wine_version=$(dpkg-query -W -f='${Version}' wine64)
# The stamp names what the root holds: a change makes it anew.
stamp="wine $wine_version, qemu-i386"

# binfmt_misc does not survive a reboot: checked on every run.
register_qemu() {
    [ -f "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
    # Any enabled registration whose qemu is there will do (another root's,
    # say): replacing it would leave a moment in which 32-bit programs that
    # other builds start fail to execute.
    if [ -f "$binfmt/qemu-i386" ]; then
        local current
        current=$(sed -n 's/^interpreter //p' "$binfmt/qemu-i386")
        grep -qx enabled "$binfmt/qemu-i386" && [ -x "$current" ] && return 0
        echo -1 >"$binfmt/qemu-i386"
    fi
    # i386 ELF executables; F opens the interpreter now, so that it runs in
    # any mount namespace, C and P keep set-id credentials and argv[0].
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$qemu"':OCPF' \
        >"$binfmt/register"
}

if [ "$(cat "$root/.ready" 2>/dev/null)" = "$stamp" ] && [ -x "$qemu" ]; then
    register_qemu
    exit 0
fi

echo "wine32-setup: making the 32-bit Wine in $root (qemu user mode, wine32 $wine_version)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The machine's own mirrors, with the backports suite added: qemu-user 10
# from backports; bookworm's 7.2 spends some 50 s of CPU per Wine process.
mkdir -p "$work/lists/partial" "$work/archives/partial" "$work/debs"
uris=$(grep -h '^URIs:' /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '{ print $2 }' | grep -v -- '-security' | head -1)
security=$(grep -h '^URIs:' /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '{ print $2 }' | grep -- '-security' | head -1)
[ -n "$uris" ] || { echo "wine32-setup: no Debian mirror in /etc/apt/sources.list.d/*.sources" >&2; exit 1; }
{
    printf 'Types: deb\nURIs: %s\nSuites: bookworm bookworm-updates bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' "$uris"
    [ -z "$security" ] ||
        printf '\nTypes: deb\nURIs: %s\nSuites: bookworm-security\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' "$security"
} >"$work/vokmark.sources"
apt_private() {
    apt-get -qq -o Dir::Etc::SourceList="$work/vokmark.sources" -o Dir::Etc::SourceParts="$work/none" \
        -o Dir::State::Lists="$work/lists" \
        -o Dir::Cache="$work" -o Dir::Cache::Archives="$work/archives" \
        -o APT::Architectures::=amd64 -o APT::Architectures::=i386 "$@"
}
mkdir -p "$work/none"
# An index caught mid-sync fails the update ("File has unexpected size")
# while the packages themselves still download: the downloads decide.
apt_private update >"$work/update.log" 2>&1 || true
# No FreeType: with it, the desktop process of a 32-bit prefix dies at its
# start under qemu (see docs/testing.md); Wine draws with its bitmap fonts then.
(cd "$work/debs" &&
    apt_private download qemu-user/bookworm-backports \
        "wine32:i386=$wine_version" "libwine:i386=$wine_version" \
        libc6:i386 libunwind8:i386 liblzma5:i386 libgcc-s1:i386) >"$work/download.log" 2>&1 || {
    cat "$work/update.log" "$work/download.log" >&2
    echo "wine32-setup: the packages could not be fetched" >&2
    exit 1
}

rm -rf "$root.new"
mkdir -p "$root.new/qemu/usr/bin"
for deb in "$work"/debs/*.deb; do
    case $(basename "$deb") in
    qemu-user_*) dpkg-deb -x "$deb" "$work/qemu" && cp "$work/qemu/usr/bin/qemu-i386" "$root.new/qemu/usr/bin/" ;;
    *) dpkg-deb -x "$deb" "$root.new" ;;
    esac
done
# Debian builds the 32-bit zlib1.dll into the amd64 package only.
cp /usr/lib/x86_64-linux-gnu/wine/i386-windows/zlib1.dll "$root.new/usr/lib/i386-linux-gnu/wine/i386-windows/"
echo "$stamp" >"$root.new/.ready"
rm -rf "$root"
mv "$root.new" "$root"
register_qemu
echo "wine32-setup: ready ($("$qemu" --version | head -1))"
