#!/usr/bin/env bash
# Makes the release into dist/: for the 32-bit build (the one to offer) and the
# 64-bit one, a portable zip and an MSI installer, named after the project's
# version, and SHA256SUMS over them. Two runs from one commit give the same bytes.
#
#   bash scripts/release.sh [--out DIR] [--build-root DIR]
#
# --out puts the files elsewhere than dist/; --build-root builds in DIR/<preset>
# instead of build/<preset> (the reproducibility check builds twice).
#
# With ROI_SIGN_CERT (the publisher's certificate, PEM, with its chain) and
# ROI_SIGN_KEY (its private key, PEM) set, both programs are signed before they go
# into the zips and the MSIs, and then both MSIs; ROI_SIGN_PASSWORD_FILE names a file
# holding the key's password, and ROI_SIGN_TIMESTAMP an RFC 3161 time-stamp server's
# URL, whose stamp keeps the signatures valid after the certificate expires. Without
# them nothing is signed. Signed files carry the signing time, so only unsigned
# releases are byte-identical.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
out="$root/dist"
build_root="$root/build"
while [ $# -gt 0 ]; do
    case $1 in
    --out) out=$(realpath -m "$2"); shift 2 ;;
    --build-root) build_root=$(realpath -m "$2"); shift 2 ;;
    *) echo "release: unknown option $1" >&2; exit 2 ;;
    esac
done
bash scripts/setup.sh

# Signing takes the certificate and the key together; one without the other is a
# mistake, not a reason to release unsigned.
sign_cert=${ROI_SIGN_CERT:-}
sign_key=${ROI_SIGN_KEY:-}
if [ -n "$sign_cert" ] || [ -n "$sign_key" ]; then
    sign_files=("$sign_cert" "$sign_key")
    [ -z "${ROI_SIGN_PASSWORD_FILE:-}" ] || sign_files+=("$ROI_SIGN_PASSWORD_FILE")
    for f in "${sign_files[@]}"; do
        if [ -z "$f" ] || [ ! -r "$f" ]; then
            echo "release: signing needs ROI_SIGN_CERT and ROI_SIGN_KEY, each a readable file ('$f' is not)" >&2
            exit 2
        fi
    done
fi

# Every time stamp in the packages is the commit's, so rebuilding a commit gives the
# same bytes; outside a git checkout it is fixed at 2026-01-01.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 1767225600)
fi
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C
umask 022
JOBS="${ROI_JOBS:-$(nproc)}"

# crlf <in> <out>: a text file for Windows readers, with @VERSION@, @BUILD@ and
# @WINDOWS@ filled in.
crlf() {
    sed -e "s/@VERSION@/$version/g" -e "s/@BUILD@/$build/g" -e "s/@WINDOWS@/$windows/g" -e 's/$/\r/' "$1" >"$2"
}

# sign <file>: signs a program or an MSI in place when a certificate was given.
sign() {
    [ -n "$sign_cert" ] || return 0
    local args=(-certs "$sign_cert" -key "$sign_key" -h sha256 -n "Quillmarsh ROI CALCULATOR")
    [ -z "${ROI_SIGN_PASSWORD_FILE:-}" ] || args+=(-readpass "$ROI_SIGN_PASSWORD_FILE")
    [ -z "${ROI_SIGN_TIMESTAMP:-}" ] || args+=(-ts "$ROI_SIGN_TIMESTAMP")
    if ! osslsigncode sign "${args[@]}" -in "$1" -out "$1.signed" >"$stage/sign.log" 2>&1; then
        cat "$stage/sign.log" >&2
        echo "release: signing $(basename "$1") failed" >&2
        exit 1
    fi
    mv "$1.signed" "$1"
    touch -d "@$SOURCE_DATE_EPOCH" "$1"
    echo "release: signed $(basename "$1")"
}

stage=$(mktemp -d "${TMPDIR:-/tmp}/roicalc-release.XXXXXX")
trap 'rm -rf "$stage"' EXIT
rm -rf "$out"
mkdir -p "$out"

for build in win32 win64; do
    preset=$build-release
    dir="$build_root/$preset"
    echo "release: building $preset in $dir"
    if ! cmake --preset "$preset" -B "$dir" >"$stage/configure.log" 2>&1; then
        cat "$stage/configure.log" >&2
        exit 1
    fi
    if ! cmake --build "$dir" -j "$JOBS" --target roicalc >"$stage/build.log" 2>&1; then
        tail -n 60 "$stage/build.log" >&2
        exit 1
    fi
    version=$(cat "$dir/version.txt")
    name=roicalc-$version-$build

    # The oldest Windows each build starts on (the PE header's subsystem version,
    # app/CMakeLists.txt), for the read-me.
    case $build in
    win32) arch=x86 windows="Windows Vista and every later Windows, 32-bit or 64-bit" ;;
    win64) arch=x64 windows="64-bit Windows Vista and every later 64-bit Windows" ;;
    esac

    # The portable zip: one folder holding the program, signed when asked, the read-me
    # and the licence, in name order, every entry with the commit's time and no owner
    # or extra fields.
    mkdir -p "$stage/$name"
    cp "$dir/roicalc.exe" "$stage/$name/roicalc.exe"
    sign "$stage/$name/roicalc.exe"
    crlf installer/README.txt "$stage/$name/README.txt"
    crlf LICENSE "$stage/$name/LICENSE.txt"
    chmod 755 "$stage/$name"
    chmod 644 "$stage/$name"/*
    touch -h -d "@$SOURCE_DATE_EPOCH" "$stage/$name" "$stage/$name"/*
    (cd "$stage" && find "$name" | sort | zip -q -X -D -@ "$out/$name.zip")

    # The installer.
    bash scripts/make_msi.sh "$stage/$name/roicalc.exe" "$version" "$arch" "$out/$name.msi"
    sign "$out/$name.msi"
    touch -d "@$SOURCE_DATE_EPOCH" "$out/$name.zip"
done

(cd "$out" && sha256sum -- *.zip *.msi >SHA256SUMS)
touch -d "@$SOURCE_DATE_EPOCH" "$out/SHA256SUMS"
echo "release: $(cd "$out" && ls -l --time-style=+ -- * | awk 'NR > 1 { printf "%s%s %s bytes", sep, $NF, $5; sep = ", " }')"
echo "release: written to $out"
