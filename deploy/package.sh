#!/usr/bin/env bash
# One MSI package from one build folder:
#   deploy/package.sh x86|x64 BUILD_DIR OUT.msi [VERSION]
#   deploy/package.sh version        prints the product version of deploy/version.h
# BUILD_DIR is a win32 or win64 build folder (console/Quillard.exe, cleanup/cleanup.exe and
# cleanup.com); its CMake cache gives the help link shown in Programs and Features
# (KES_HELP_LINK). VERSION defaults to the product version; the install test gives others.
# With KES_SIGN_PFX (a PKCS#12 file) and KES_SIGN_PASSWORD set, both programs and the package
# are signed with osslsigncode (KES_SIGN_TIMESTAMP: a time-stamp server's URL, optional).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

# product_version [BUILD]: a.b.c.0, or with BUILD the programs' file version a.b.c.d.
product_version() {
    local v=() n
    for n in MAJOR MINOR PATCH ${1:+BUILD}; do
        v+=("$(sed -n "s/^#define KES_VERSION_$n \([0-9][0-9]*\)\$/\1/p" "$here/version.h")")
    done
    [ -n "${v[0]}" ] && [ -n "${v[1]}" ] && [ -n "${v[2]}" ] && { [ -z "${1:-}" ] || [ -n "${v[3]}" ]; } ||
        { echo "package: no version in $here/version.h" >&2; exit 1; }
    echo "${v[0]}.${v[1]}.${v[2]}.${v[3]:-0}"
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
# The upgrade bounds: the installer compares the first three numbers only.
IFS=. read -r major minor patch _ <<<"$version"
[ -n "$patch" ] && [ "$patch" -lt 65535 ] ||
    { echo "package: $version has no patch number below 65535" >&2; exit 2; }
next="$major.$minor.$((patch + 1))"
help=$(sed -n 's/^KES_HELP_LINK:STRING=//p' "$bindir/CMakeCache.txt" 2>/dev/null || true)
[ -n "$help" ] || { echo "package: no KES_HELP_LINK in $bindir/CMakeCache.txt" >&2; exit 1; }
case "$arch" in
x86 | x64) ;;
*) echo "package: x86 or x64, not $arch" >&2; exit 2 ;;
esac
# The build's own strip: the programs' format is the build's, whatever the package is called.
strip=$(sed -n 's/^CMAKE_STRIP:FILEPATH=//p' "$bindir/CMakeCache.txt" 2>/dev/null || true)
[ -n "$strip" ] || { echo "package: no CMAKE_STRIP in $bindir/CMakeCache.txt" >&2; exit 1; }
signing=""
if [ -n "${KES_SIGN_PFX:-}" ]; then
    [ -f "$KES_SIGN_PFX" ] || { echo "package: no certificate at $KES_SIGN_PFX" >&2; exit 1; }
    signing=1
fi

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
programs=(Quillard.exe Quillard.com cleanup.exe cleanup.com)
cp "$bindir/console/Quillard.exe" "$bindir/console/Quillard.com" "$bindir/cleanup/cleanup.exe" \
    "$bindir/cleanup/cleanup.com" \
    "$here/../console/form/res/Quillard.ico" "$stage/"
# The test build carries debug information; the package does not need it.
for p in "${programs[@]}"; do
    "$strip" "$stage/$p"
    if [ -n "$signing" ]; then sign "$stage/$p"; fi
done
# wixl takes file sources relative to the .wxs only.
cp "$here/Kestrova.wxs" "$stage/"
(cd "$stage" && wixl -a "$arch" -D Arch="$arch" -D Version="$version" -D NextVersion="$next" \
    -D HelpLink="$help" -o package.msi Kestrova.wxs)
# wixl leaves the File table's Version empty, and the installer and inventory tools would see
# unversioned files: every file of the package is one of the programs, each with this file
# version and US English (as in its version resource). Before signing, which covers the tables.
fileversion=$(product_version build)
# CLEANUP_AT_LOGON is passed on to the installation itself also when a user without
# administrator rights installs an elevated (managed) package.
secure=$(msiinfo export "$stage/package.msi" Property | tr -d '\r' |
    sed -n 's/^SecureCustomProperties\t//p')
(cd "$stage" && msibuild package.msi \
    -q "UPDATE \`File\` SET \`Version\` = '$fileversion', \`Language\` = '1033'" \
    -q "UPDATE \`Property\` SET \`Value\` = '${secure:+$secure;}CLEANUP_AT_LOGON' \
        WHERE \`Property\` = 'SecureCustomProperties'")
if [ -n "$signing" ]; then sign "$stage/package.msi"; fi
mkdir -p "$(dirname "$out")"
mv -f "$stage/package.msi" "$out"
