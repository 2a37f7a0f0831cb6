#!/usr/bin/env bash
# Builds the calculator and starts it under Wine with the caller's current directory
# as its working directory (bankroll.roi lives there).
#
# With a display it runs until the user closes it. Without one it runs on a private
# Xvfb: the first-run notice is dismissed, a screenshot of the screen is saved to
# build/screenshot.png and the window is closed again.
set -uo pipefail
here="$(pwd)"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
bash scripts/setup.sh || exit 1
source scripts/env.sh

JOBS="${ROI_JOBS:-$(nproc)}"
mkdir -p build

# build <preset> <target>...: configure and build quietly; show the log's end on failure.
build() {
    local preset=$1
    shift
    echo "start: building $* ($preset)"
    if ! cmake --preset "$preset" >"build/$preset-configure.log" 2>&1; then
        tail -n 40 "build/$preset-configure.log"
        return 1
    fi
    if ! cmake --build --preset "$preset" -j "$JOBS" --target "$@" >"build/$preset-build.log" 2>&1; then
        tail -n 60 "build/$preset-build.log"
        return 1
    fi
}

# The shipped program is the 32-bit build.
build win32 roicalc || exit 1
preset=win32
if [ "$ROI_WINE32_RUNS" = 0 ]; then
    echo "start: this machine cannot run 32-bit programs (its kernel lacks 32-bit support);"
    echo "start: build/win32/roicalc.exe is built but cannot start here, so the 64-bit build is started instead"
    preset=win64
    build win64 roicalc || exit 1
fi
exe="$root/build/$preset/roicalc.exe"
roi_use_wine "${preset#win}"
roi_wine_prefix

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    echo "start: running build/$preset/roicalc.exe in $here; close its window to end"
    (cd "$here" && "$ROI_WINE" "$exe")
    status=$?
    echo "start: the calculator ended with exit code $status"
    exit "$status"
fi

# No display: the end-to-end driver starts the program, dismisses the notice and
# closes the window; it waits for a line on its input while the screenshot is taken.
build "$preset" roicalc_e2e || exit 1
roi_display || exit 1
trap 'roi_stop_display' EXIT
echo "start: no display; running build/$preset/roicalc.exe in $here on a private Xvfb ($DISPLAY)"
shot="$root/build/screenshot.png"
rm -f "$shot"

driver="$root/build/$preset/tests/e2e/roicalc_e2e.exe"
coproc DRIVER { cd "$here" && exec "$ROI_WINE" "$driver" --screenshot "$exe" 2>&1; }
driver_pid=$DRIVER_PID
exec {from_driver}<&"${DRIVER[0]}" {to_driver}>&"${DRIVER[1]}"

# Read until the driver has ended (Wine's own services may inherit its output and keep
# the pipe open after it), three minutes at most.
deadline=$((SECONDS + 180))
while :; do
    got=0
    IFS= read -r -t 1 -u "$from_driver" line || got=$?
    if [ "$got" -eq 0 ]; then
        line="${line%$'\r'}"
        case "$line" in
        READY*)
            if import -window root "$shot"; then
                echo "start: the window is up; screenshot saved to build/screenshot.png"
            else
                echo "start: the screenshot could not be taken"
            fi
            echo >&"$to_driver"
            ;;
        *)
            echo "start: ${line#screenshot: }"
            ;;
        esac
        continue
    fi
    [ "$got" -gt 128 ] || break                 # end of output
    kill -0 "$driver_pid" 2>/dev/null || break  # the driver has ended
    if [ "$SECONDS" -ge "$deadline" ]; then
        echo "start: the driver did not finish in time; stopping it"
        kill "$driver_pid" 2>/dev/null
        break
    fi
done
wait "$driver_pid"
status=$?
exec {from_driver}<&- {to_driver}>&-
if [ "$status" -eq 0 ] && [ -f "$shot" ]; then
    echo "start: done: the calculator started, showed its window and closed normally"
else
    echo "start: something went wrong (driver status $status)"
    [ "$status" -ne 0 ] || status=1
fi
exit "$status"
