# Sourced by the other scripts: one private Wine prefix under build/, quiet, with
# no Mono or Gecko look-ups, so no user prefix is ever touched.
ROI_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${ROI_WINEPREFIX:-$ROI_ROOT/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

# Debian's "wine" wrapper prefers the 32-bit loader whenever wine32 is installed;
# where the kernel cannot run 32-bit programs that loader fails, and only the
# 64-bit loader works (32-bit .exe files then cannot run at all).
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    ROI_WINE=wine
    ROI_WINE32_RUNS=1
else
    ROI_WINE=/usr/lib/wine/wine64
    ROI_WINE32_RUNS=0
fi

# roi_wine_prefix: create the prefix once; later calls return at once.
roi_wine_prefix() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "wine: creating the private prefix $WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        "$ROI_WINE" wineboot -i >/dev/null 2>&1 || true
        wineserver -w
    fi
    roi_wine_fonts
}

# roi_wine_fonts: Wine's own faces (fonts-wine: "MS Sans Serif", Tahoma...) lie in
# /usr/share/wine/fonts, where this Wine does not look; it does read the prefix's
# Fonts folder, so they are linked in there (also into a prefix made before them).
roi_wine_fonts() {
    local fonts="$WINEPREFIX/drive_c/windows/Fonts" f
    [ -d /usr/share/wine/fonts ] && [ -d "$fonts" ] || return 0
    for f in /usr/share/wine/fonts/*; do
        [ -e "$fonts/${f##*/}" ] || ln -s "$f" "$fonts/${f##*/}"
    done
}

# roi_display: make sure DISPLAY names a running X server; start Xvfb if none.
roi_display() {
    if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
        return 0
    fi
    local n
    for n in $(seq 90 120); do
        if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
            Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
            ROI_XVFB_PID=$!
            export DISPLAY=":$n"
            local i
            for i in $(seq 1 50); do
                xdpyinfo >/dev/null 2>&1 && return 0
                sleep 0.1
            done
            echo "display: Xvfb did not start on :$n" >&2
            return 1
        fi
    done
    echo "display: no free display number" >&2
    return 1
}

roi_stop_display() {
    if [ -n "${ROI_XVFB_PID:-}" ]; then
        kill "$ROI_XVFB_PID" 2>/dev/null || true
        wait "$ROI_XVFB_PID" 2>/dev/null || true
    fi
}
