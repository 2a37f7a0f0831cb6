# Sourced by the other scripts: private Wine prefixes under build/, quiet, with no
# Mono or Gecko look-ups and no desktop menu entries, so nothing outside build/ is
# ever touched.
#
# The two Windows builds run apart. 64-bit programs run through the 64-bit loader in
# build/wineprefix; 32-bit programs through the 32-bit loader in a 32-bit prefix of
# their own, build/wineprefix32 (Debian's "wine" wrapper would pick the 32-bit loader
# for both, and a prefix made by the 64-bit loader alone lacks the 32-bit side).
#
# Where the kernel cannot start 32-bit programs, the 32-bit loader runs under
# qemu-user instead, registered for i386 programs in a binfmt_misc instance private to
# a user and mount namespace (Linux 6.7 and later): the registration exists only for
# the processes of that run and vanishes with them, whatever ends the run.
#
# ROI_WIN32_MODE chooses how 32-bit programs run: auto (the default: natively where
# the kernel can, else not at all), native, emulated (forced, even where the kernel
# could run them) or none. Emulation is not the default: with Debian 12's qemu 7.2 a
# new 32-bit prefix takes about 20 minutes to make, each Wine start about a minute,
# and Wine itself crashes in some of the test programs, so an automatic emulated run
# would neither pass nor fit the test command's time.
ROI_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

ROI_WINE64=/usr/lib/wine/wine64
ROI_WINE32=/usr/lib/wine/wine
ROI_PREFIX64="${ROI_WINEPREFIX:-$ROI_ROOT/build/wineprefix}"
ROI_PREFIX32="${ROI_WINEPREFIX32:-$ROI_ROOT/build/wineprefix32}"
ROI_QEMU_I386=/usr/bin/qemu-i386-static
# Any i386 ELF executable or shared object (the same pattern Debian's qemu uses).
ROI_I386_BINFMT=':roi-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$ROI_QEMU_I386"':F'

# roi_use_wine 32|64: point WINEPREFIX, WINEARCH and ROI_WINE at one side.
roi_use_wine() {
    if [ "$1" = 32 ]; then
        export WINEPREFIX="$ROI_PREFIX32" WINEARCH=win32
        ROI_WINE=$ROI_WINE32
    else
        export WINEPREFIX="$ROI_PREFIX64" WINEARCH=win64
        ROI_WINE=$ROI_WINE64
    fi
}
roi_use_wine 64

# roi_private_binfmt clean|qemu COMMAND...: runs COMMAND in a private user and mount
# namespace over a binfmt_misc instance of its own: empty (clean), so that no handler
# registered on the machine can start a 32-bit program, or with qemu for i386 programs.
# Status 125 when the namespace or the instance cannot be had.
roi_private_binfmt() {
    local what=$1
    shift
    unshare --user --map-root-user --mount --fork --kill-child -- bash -c '
        mount -t binfmt_misc roi-binfmt /proc/sys/fs/binfmt_misc 2>/dev/null || exit 125
        if [ "$1" = qemu ]; then
            printf "%s" "$2" >/proc/sys/fs/binfmt_misc/register 2>/dev/null || exit 125
        fi
        shift 2
        exec "$@"' roi-binfmt "$what" "$ROI_I386_BINFMT" "$@"
}

# roi_side_run COMMAND...: runs a command that starts programs of the current side;
# on the 32-bit side, emulated if need be.
roi_side_run() {
    if [ "$WINEARCH" = win32 ] && [ "$ROI_WIN32_FOUND" = emulated ]; then
        roi_private_binfmt qemu "$@"
    else
        "$@"
    fi
}

# roi_win32_probe: sets ROI_WIN32_FOUND to native, emulated or none, and ROI_WIN32_WHY
# to one line saying why. Both are exported, so the scripts a run starts do not probe
# again. The native test runs in a clean instance, so a qemu handler left registered
# on the machine (by anyone) cannot pass for native support.
roi_win32_probe() {
    local mode=${ROI_WIN32_MODE:-auto}
    ROI_WIN32_FOUND=none
    case $mode in
    auto | native | emulated | none) ;;
    *)
        ROI_WIN32_WHY="ROI_WIN32_MODE=$mode is not one of auto, native, emulated, none"
        export ROI_WIN32_FOUND ROI_WIN32_WHY
        return
        ;;
    esac
    ROI_WIN32_WHY="32-bit programs are not run (ROI_WIN32_MODE=none)"
    if [ "$mode" = auto ] || [ "$mode" = native ]; then
        local status=0
        roi_private_binfmt clean "$ROI_WINE32" --version >/dev/null 2>&1 || status=$?
        if [ "$status" = 125 ]; then
            # No private instance (a kernel before 6.7): only a plain start can tell,
            # and then only while no i386 handler is registered on the machine.
            if grep -lqs '^magic 7f454c46010101.*02000300$' /proc/sys/fs/binfmt_misc/*; then
                status=2
            elif "$ROI_WINE32" --version >/dev/null 2>&1; then
                status=0
            else
                status=1
            fi
        fi
        if [ "$status" = 0 ]; then
            ROI_WIN32_FOUND=native
            ROI_WIN32_WHY="native 32-bit: the kernel starts the 32-bit Wine loader itself"
        elif [ "$status" = 2 ]; then
            ROI_WIN32_WHY="an i386 handler registered on this machine hides whether the kernel runs 32-bit code"
        else
            ROI_WIN32_WHY="the kernel cannot start 32-bit programs"
        fi
    fi
    if [ "$ROI_WIN32_FOUND" = none ] && [ "$mode" = auto ]; then
        ROI_WIN32_WHY="$ROI_WIN32_WHY (ROI_WIN32_MODE=emulated runs them under qemu-user)"
    fi
    if [ "$ROI_WIN32_FOUND" = none ] && [ "$mode" = emulated ]; then
        local because="forced by ROI_WIN32_MODE=emulated"
        if [ ! -x "$ROI_QEMU_I386" ]; then
            ROI_WIN32_WHY="$because, and $ROI_QEMU_I386 is missing (package qemu-user-static)"
        elif roi_private_binfmt qemu "$ROI_WINE32" --version >/dev/null 2>&1; then
            ROI_WIN32_FOUND=emulated
            ROI_WIN32_WHY="emulated 32-bit: $because; qemu-user runs them (binfmt_misc private to the run)"
        else
            ROI_WIN32_WHY="$because, and qemu-user cannot be registered in a private binfmt_misc instance here"
        fi
    fi
    export ROI_WIN32_FOUND ROI_WIN32_WHY
}
[ -n "${ROI_WIN32_FOUND:-}" ] || roi_win32_probe
# Whether the shipped 32-bit build can be started at full speed (scripts/start.sh).
if [ "$ROI_WIN32_FOUND" = native ]; then ROI_WINE32_RUNS=1; else ROI_WINE32_RUNS=0; fi

# roi_wine_prefix: create the current side's prefix once; later calls return at once.
roi_wine_prefix() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "wine: creating the private prefix $WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        if [ "$WINEARCH" = win32 ]; then
            roi_side_run bash -c '"$1" wineboot -i >/dev/null 2>&1; wineserver -w' roi "$ROI_WINE"
        else
            "$ROI_WINE" wineboot -i >/dev/null 2>&1 || true
            wineserver -w
        fi
        # Each new Wine session would start the menu builder once more: a process
        # that does nothing here (it is disabled above), but takes a minute to start
        # where 32-bit code is emulated.
        sed -i '/^"winemenubuilder"="/d' "$WINEPREFIX/system.reg" 2>/dev/null
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

# roi_display: make sure DISPLAY names a running X server; start Xvfb if none, with
# the stand-in for a window manager beside it.
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
                if xdpyinfo >/dev/null 2>&1; then
                    roi_window_states
                    return 0
                fi
                sleep 0.1
            done
            echo "display: Xvfb did not start on :$n" >&2
            return 1
        fi
    done
    echo "display: no free display number" >&2
    return 1
}

# roi_window_states: starts the Xvfb's stand-in for a window manager, which answers
# the one question Wine waits 2 s for at every hide of a window
# (tests/support/window_states.cpp), built into build/ when it is missing or older than
# its source. Without it every test still passes, only slower.
roi_window_states() {
    local source="$ROI_ROOT/tests/support/window_states.cpp" program="$ROI_ROOT/build/window_states"
    if [ ! -x "$program" ] || [ "$source" -nt "$program" ]; then
        mkdir -p "$ROI_ROOT/build"
        if ! g++ -O2 -o "$program.$$" "$source" -lX11 >/dev/null 2>&1 || ! mv "$program.$$" "$program"; then
            rm -f "$program.$$"
            echo "display: $source does not build (scripts/setup.sh installs libx11-dev); Wine runs slower" >&2
            return 0
        fi
    fi
    "$program" </dev/null >/dev/null 2>&1 &
    ROI_WINDOW_STATES_PID=$!
}

roi_stop_display() {
    if [ -n "${ROI_WINDOW_STATES_PID:-}" ]; then
        kill "$ROI_WINDOW_STATES_PID" 2>/dev/null || true
        wait "$ROI_WINDOW_STATES_PID" 2>/dev/null || true
    fi
    if [ -n "${ROI_XVFB_PID:-}" ]; then
        kill "$ROI_XVFB_PID" 2>/dev/null || true
        wait "$ROI_XVFB_PID" 2>/dev/null || true
    fi
}
