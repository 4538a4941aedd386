#!/usr/bin/env bash
# One MSI package from one build folder:
#   deploy/package.sh x86|x64 BUILD_DIR OUT.msi [VERSION]
#   deploy/package.sh version        prints the product version of deploy/version.h
# BUILD_DIR is a win32 or win64 build folder (console/Quillard.exe, cleanup/cleanup.exe).
# VERSION defaults to the product version; the install test gives a higher one.
# With KES_SIGN_PFX (a PKCS#12 file) and KES_SIGN_PASSWORD set, both programs and the package
# are signed with osslsigncode (KES_SIGN_TIMESTAMP: a time-stamp server's URL, optional).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

product_version() {
    local v=() n
    for n in MAJOR MINOR PATCH; do
        v+=("$(sed -n "s/^#define KES_VERSION_$n \([0-9][0-9]*\)\$/\1/p" "$here/version.h")")
    done
    [ -n "${v[0]}" ] && [ -n "${v[1]}" ] && [ -n "${v[2]}" ] ||
        { echo "package: no version in $here/version.h" >&2; exit 1; }
    echo "${v[0]}.${v[1]}.${v[2]}.0"
}

sign() {
    local file=$1
    # The password goes through a descriptor, not the command line, where ps would show it.
    osslsigncode sign -pkcs12 "$KES_SIGN_PFX" -readpass <(printf '%s' "$KES_SIGN_PASSWORD") \
        -h sha256 -n "Kestrova Companion" ${KES_SIGN_TIMESTAMP:+-ts "$KES_SIGN_TIMESTAMP"} \
        -in "$file" -out "$file.signed" >/dev/null
    mv -f "$file.signed" "$file"
}

if [ "${1:-}" = version ]; then
    product_version
    exit 0
fi
[ $# -ge 3 ] || { sed -n '2,4p' "$0" >&2; exit 2; }
arch=$1 bindir=$2 out=$3
version=${4:-$(product_version)}
case "$arch" in
x86) strip=i686-w64-mingw32-strip ;;
x64) strip=x86_64-w64-mingw32-strip ;;
*) echo "package: x86 or x64, not $arch" >&2; exit 2 ;;
esac
signing=""
if [ -n "${KES_SIGN_PFX:-}" ]; then
    [ -f "$KES_SIGN_PFX" ] || { echo "package: no certificate at $KES_SIGN_PFX" >&2; exit 1; }
    signing=1
fi

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$bindir/console/Quillard.exe" "$bindir/cleanup/cleanup.exe" "$stage/"
# The test build carries debug information; the package does not need it.
"$strip" "$stage/Quillard.exe" "$stage/cleanup.exe"
if [ -n "$signing" ]; then
    sign "$stage/Quillard.exe"
    sign "$stage/cleanup.exe"
fi
# wixl takes file sources relative to the .wxs only.
cp "$here/Kestrova.wxs" "$stage/"
(cd "$stage" && wixl -a "$arch" -D Arch="$arch" -D Version="$version" -o package.msi Kestrova.wxs)
if [ -n "$signing" ]; then sign "$stage/package.msi"; fi
mkdir -p "$(dirname "$out")"
mv -f "$stage/package.msi" "$out"
