# Sourced after env.sh. roi_set_dpi <dpi>: the DPI Wine gives programs in $WINEPREFIX.
# Wine reads LogPixels from the prefix's registry when its server starts, so the
# server is ended first (it writes its registry out as it ends), the value is set,
# and the server is ended again; the next Wine program starts one that reads it.
roi_set_dpi() {
    local dpi=$1 file status
    file=$(mktemp "${TMPDIR:-/tmp}/wine-dpi.XXXXXX")
    printf '%s\r\n' 'REGEDIT4' '' \
        '[HKEY_CURRENT_USER\Control Panel\Desktop]' "\"LogPixels\"=dword:$(printf %08x "$dpi")" '' \
        '[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts]' \
        "\"LogPixels\"=dword:$(printf %08x "$dpi")" >"$file"
    wineserver -k >/dev/null 2>&1 || true  # none may be running
    "$ROI_WINE" regedit /S "Z:${file//\//\\}" >/dev/null 2>&1  # Z: is the Unix root
    status=$?
    rm -f "$file"
    wineserver -k >/dev/null 2>&1 || true  # none may be running
    return "$status"
}
