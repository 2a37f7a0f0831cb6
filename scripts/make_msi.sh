#!/usr/bin/env bash
# Builds one MSI installer from installer/roicalc.wxs with wixl:
#
#   bash scripts/make_msi.sh <roicalc.exe> <version> <x86|x64> <out.msi>
#
# wixl stamps a package with the clock and a random package code; here the clock is
# held at SOURCE_DATE_EPOCH and the codes are made from the version and the contents,
# so the same input gives the same bytes.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
[ $# -eq 4 ] || { echo "usage: make_msi.sh <roicalc.exe> <version> <x86|x64> <out.msi>" >&2; exit 2; }
exe=$(realpath "$1")
version=$2
arch=$3
out=$(realpath -m "$4")
export TZ=UTC LC_ALL=C
epoch=${SOURCE_DATE_EPOCH:-1767225600}
case $arch in
x86) template="Intel;1033" ;;
x64) template="x64;1033" ;;
*) echo "make_msi: unknown architecture $arch" >&2; exit 2 ;;
esac

# guid <text>: a fixed GUID made from the text's SHA-256.
guid() {
    local h
    h=$(printf '%s' "$1" | sha256sum | tr a-f A-F)
    echo "${h:0:8}-${h:8:4}-4${h:13:3}-A${h:17:3}-${h:20:12}"
}
product_code=$(guid "roicalc product $version $arch")
package_code=$(guid "roicalc package $version $arch $(sha256sum "$exe" "$root/installer/roicalc.wxs" | cut -d' ' -f1)")

# wixl takes its source files by paths relative to the current folder, and the
# cabinet keeps each file's modification time.
stage=$(mktemp -d "${TMPDIR:-/tmp}/roicalc-msi.XXXXXX")
trap 'rm -rf "$stage"' EXIT
cp "$exe" "$stage/roicalc.exe"
cp "$root/resources/roicalc.ico" "$stage/roicalc.ico"
touch -d "@$epoch" "$stage/roicalc.exe" "$stage/roicalc.ico"
clock=$(date -u -d "@$epoch" '+%Y-%m-%d %H:%M:%S')
(cd "$stage" && faketime -f "$clock" wixl -a "$arch" -D Version="$version" -D Arch="$arch" \
    -D ProductCode="$product_code" -D PackageCode="$package_code" -D ExeFile=roicalc.exe -D IconFile=roicalc.ico \
    -o "$out" "$root/installer/roicalc.wxs")
msibuild "$out" -s "Quillmarsh ROI CALCULATOR $version installer" Quillmarsh "$template" "{$package_code}"
touch -d "@$epoch" "$out"
