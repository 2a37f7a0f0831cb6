#!/usr/bin/env bash
# CTest's emulator for the Windows builds: runs one .exe under the private Wine
# prefix of its side (32 or 64-bit), on the display the test command set up (or a
# throw-away Xvfb).
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

if objdump -f "$1" 2>/dev/null | grep -q 'pei-i386'; then
    roi_use_wine 32
    # Skips are reported with exit 77, CTest's SKIP_RETURN_CODE, never as passes.
    case $ROI_WIN32_FOUND in
    native) ;;
    emulated)
        # Each emulated 32-bit process needs about a minute of CPU to start: only the
        # tests marked ROI_RUNS_EMULATED (console tests and the short run of the
        # program) fit the test command's time.
        if [ "${ROI_RUNS_EMULATED:-0}" != 1 ]; then
            echo "skipped: 32-bit programs run emulated here and this test is too slow for that"
            exit 77
        fi
        echo "emulated: this 32-bit program runs under qemu-user"
        ;;
    *)
        echo "skipped: this machine cannot run 32-bit programs ($ROI_WIN32_WHY)"
        exit 77
        ;;
    esac
else
    roi_use_wine 64
fi

roi_wine_prefix

# The first Wine program of a prefix starts Wine's own services, which inherit its
# output handles and outlive it. Were those CTest's pipe, CTest would wait for them
# for ever; so the program writes to a file, shown once it has ended.
log=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")
if [ -z "${DISPLAY:-}" ]; then
    roi_side_run xvfb-run -a -s "-screen 0 1280x1024x24" "$ROI_WINE" "$@" >"$log" 2>&1 </dev/null
else
    roi_side_run "$ROI_WINE" "$@" >"$log" 2>&1 </dev/null
fi
status=$?
cat "$log"
rm -f "$log"
exit "$status"
