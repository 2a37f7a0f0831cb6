#!/usr/bin/env bash
# Takes the README's pictures under Wine: docs/main-window.png (after an example
# CALCULATE) and docs/help-screen.png at 100 %, and docs/widest-100.png and
# docs/widest-150.png (results that fill every cell, at 96 and 144 DPI). Xvfb has no
# window manager, so the captions are drawn by Wine itself: its X11 "Decorated"
# setting is turned off in a prefix of this script's own (build/docs-wineprefix),
# never in the one the tests use.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
cd "$root"
source scripts/env.sh
source scripts/wine-dpi.sh
export WINEPREFIX="$root/build/docs-wineprefix"

# ROI_DOCS_BUILD names an existing build directory to take the programs from.
bin="${ROI_DOCS_BUILD:-}"
if [ -z "$bin" ]; then
    preset=win32
    [ "$ROI_WINE32_RUNS" = 1 ] || preset=win64
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "${ROI_JOBS:-2}" --target roicalc roicalc_e2e >/dev/null
    bin="$root/build/$preset"
fi

roi_display
work="$(mktemp -d)"
trap 'wineserver -k >/dev/null 2>&1 || true; roi_stop_display; rm -rf "$work"' EXIT
roi_wine_prefix
"$ROI_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1

# shoot <dpi> <picture of the main window> <picture of the help screen or -> <driver options...>
shoot() {
    local dpi=$1 main=$2 help=$3
    shift 3
    roi_set_dpi "$dpi"
    rm -rf "$work/run" && mkdir "$work/run"
    coproc DRIVER {
        cd "$work/run" && exec "$ROI_WINE" "$bin/tests/e2e/roicalc_e2e.exe" --screenshot "$@" "$bin/roicalc.exe" 2>&1
    }
    local driver_pid=$DRIVER_PID line what left top width height name
    exec {from_driver}<&"${DRIVER[0]}" {to_driver}>&"${DRIVER[1]}"
    while IFS= read -r -t 90 -u "$from_driver" line; do
        line="${line%$'\r'}"
        echo "$line"
        # READY <what> <left> <top> <right> <bottom>: the window's frame on the screen.
        if [[ "$line" =~ ^READY\ ([a-z]+)\ (-?[0-9]+)\ (-?[0-9]+)\ (-?[0-9]+)\ (-?[0-9]+)$ ]]; then
            what=${BASH_REMATCH[1]}
            left=${BASH_REMATCH[2]}
            top=${BASH_REMATCH[3]}
            width=$((BASH_REMATCH[4] - left))
            height=$((BASH_REMATCH[5] - top))
            name=$main
            [ "$what" = main ] || name=$help
            import -window root "$work/screen.png"
            convert "$work/screen.png" -crop "${width}x${height}+${left}+${top}" +repage "docs/$name.png"
            echo "saved docs/$name.png (${width}x${height}, $dpi DPI)"
            echo >&"$to_driver"
        fi
    done
    wait "$driver_pid" || true
    exec {from_driver}<&- {to_driver}>&-
}

mkdir -p docs
shoot 96 main-window help-screen --demo --help-screen
shoot 96 widest-100 - --widest
shoot 144 widest-150 - --widest
roi_set_dpi 96
