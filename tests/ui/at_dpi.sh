#!/usr/bin/env bash
# Runs one Windows test program at a given DPI: Wine takes the DPI from LogPixels in
# its prefix's registry when its server starts, so the run gets a prefix of its own
# (build/dpi-wineprefix) and the prefix the other tests share stays at 96 DPI. The
# program learns the DPI it must see from ROI_EXPECTED_DPI.
# Usage: at_dpi.sh <dpi> <program.exe> [arguments...]
set -uo pipefail
dpi=$1
shift
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
export ROI_WINEPREFIX="$root/build/dpi-wineprefix"
source "$root/scripts/env.sh"

# The win32 and win64 runs share the prefix: one DPI at a time.
mkdir -p "$root/build"
exec 9>"$root/build/dpi-wineprefix.lock"
flock 9

roi_wine_prefix
set_dpi() {
    local file
    file=$(mktemp "${TMPDIR:-/tmp}/at_dpi.XXXXXX")
    printf '%s\r\n' 'REGEDIT4' '' \
        '[HKEY_CURRENT_USER\Control Panel\Desktop]' "\"LogPixels\"=dword:$(printf %08x "$1")" '' \
        '[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts]' \
        "\"LogPixels\"=dword:$(printf %08x "$1")" >"$file"
    "$ROI_WINE" regedit /S "Z:${file//\//\\}" >/dev/null 2>&1  # Z: is the Unix root
    local status=$?
    rm -f "$file"
    return "$status"
}
# A server still running knows the old DPI. Ending it (-k) also writes its registry
# out, so the server the test program starts reads the new value.
wineserver -k >/dev/null 2>&1
set_dpi "$dpi" || { echo "at_dpi: could not set LogPixels to $dpi" >&2; exit 1; }
wineserver -k >/dev/null 2>&1
ROI_EXPECTED_DPI=$dpi bash "$root/scripts/wine-run.sh" "$@"
status=$?
wineserver -k >/dev/null 2>&1  # nothing of this prefix outlives the run
exit "$status"
