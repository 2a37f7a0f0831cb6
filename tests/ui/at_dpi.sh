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
    local key
    for key in 'HKCU\Control Panel\Desktop' 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
        "$ROI_WINE" reg add "$key" /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1 || return 1
    done
}
# A server still running knows the old DPI; the registry is written when it ends.
wineserver -k >/dev/null 2>&1
set_dpi "$dpi" || { echo "at_dpi: could not set LogPixels to $dpi" >&2; exit 1; }
wineserver -w
ROI_EXPECTED_DPI=$dpi bash "$root/scripts/wine-run.sh" "$@"
status=$?
wineserver -w
exit "$status"
