#!/usr/bin/env bash
# CTest's emulator for the Windows builds: runs one .exe under the private Wine
# prefix, on the display the test command set up (or a throw-away Xvfb).
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
roi_wine_prefix
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" wine "$@"
fi
exec wine "$@"
