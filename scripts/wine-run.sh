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

# The first Wine program of a prefix starts Wine's own services, which inherit its
# output handles and outlive it. Were those CTest's pipe, CTest would wait for them
# for ever; so the program writes to a file, shown once it has ended.
log=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")
if [ -z "${DISPLAY:-}" ]; then
    xvfb-run -a -s "-screen 0 1280x1024x24" "$ROI_WINE" "$@" >"$log" 2>&1 </dev/null
else
    "$ROI_WINE" "$@" >"$log" 2>&1 </dev/null
fi
status=$?
cat "$log"
rm -f "$log"
exit "$status"
