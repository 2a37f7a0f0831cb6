#!/usr/bin/env bash
# Runs one Windows test program at a given DPI, in a Wine prefix of its own
# (build/dpi-wineprefix; build/dpi-wineprefix32 for 32-bit programs), so the prefixes
# the other tests share stay at 96 DPI. The program learns the DPI it must see from
# ROI_EXPECTED_DPI.
# Usage: at_dpi.sh <dpi> <program.exe> [arguments...]
set -uo pipefail
dpi=$1
shift
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
# Each side has a DPI prefix of its own, as it has a shared one (see env.sh).
export ROI_WINEPREFIX="$root/build/dpi-wineprefix"
export ROI_WINEPREFIX32="$root/build/dpi-wineprefix32"
source "$root/scripts/env.sh"
source "$root/scripts/wine-dpi.sh"

if objdump -f "$1" 2>/dev/null | grep -q 'pei-i386'; then
    if [ "$ROI_WIN32_FOUND" != native ]; then
        exec bash "$root/scripts/wine-run.sh" "$@"  # it says why the test is skipped
    fi
    roi_use_wine 32
else
    roi_use_wine 64
fi

# The win32 and win64 runs share the prefix: one DPI at a time.
mkdir -p "$root/build"
exec 9>"$root/build/dpi-wineprefix.lock"
flock 9

roi_wine_prefix
roi_set_dpi "$dpi" || { echo "at_dpi: could not set the DPI to $dpi" >&2; exit 1; }
ROI_EXPECTED_DPI=$dpi bash "$root/scripts/wine-run.sh" "$@"
status=$?
wineserver -k >/dev/null 2>&1  # nothing of this prefix outlives the run
exit "$status"
