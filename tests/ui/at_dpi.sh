#!/usr/bin/env bash
# Runs one Windows test program at a given DPI, in a Wine prefix of its own
# (build/dpi-wineprefix), so the prefix the other tests share stays at 96 DPI. The
# program learns the DPI it must see from ROI_EXPECTED_DPI.
# Usage: at_dpi.sh <dpi> <program.exe> [arguments...]
set -uo pipefail
dpi=$1
shift
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
export ROI_WINEPREFIX="$root/build/dpi-wineprefix"
source "$root/scripts/env.sh"
source "$root/scripts/wine-dpi.sh"

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
