#!/usr/bin/env bash
# CTest's emulator for the Windows builds: runs one .exe under the private Wine
# prefix, on the display the test command set up (or a throw-away Xvfb).
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

# A 32-bit program on a machine whose kernel cannot run 32-bit code: report the
# test as skipped (exit 77, CTest's SKIP_RETURN_CODE), never as passed.
if [ "$ROI_WINE32_RUNS" = 0 ] && objdump -f "$1" 2>/dev/null | grep -q 'pei-i386'; then
    echo "skipped: this machine cannot run 32-bit programs (no 32-bit Wine loader)"
    exit 77
fi

roi_wine_prefix
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$ROI_WINE" "$@"
fi
exec "$ROI_WINE" "$@"
