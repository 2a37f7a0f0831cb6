#!/usr/bin/env bash
# The release checks, run by the test command after the release presets are built:
# the release made twice is byte-identical (the second time in other build folders),
# the zips hold exactly their files, the programs carry the project's version and no
# debug information, and each MSI installs, upgrades and uninstalls under Wine
# (64-bit msiexec, a throw-away prefix and home) without ever touching the user's
# bankroll.roi. One line per check ("ok", "FAIL" with the reason, or "skipped"), then
#   release checks: <n> passed, <n> failed, <n> skipped
# Exit status 0 when nothing failed.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
cd "$root"
source scripts/env.sh
export TZ=UTC LC_ALL=C

work="$root/build/release-test"
rm -rf "$work"
mkdir -p "$work"
passed=0
failed=0
skipped=0

# check <name> <command...>: runs the command; its output is the reason on failure.
check() {
    local label=$1 out
    shift
    if out=$("$@" 2>&1); then
        echo "ok      $label"
        passed=$((passed + 1))
    else
        echo "FAIL    $label"
        sed 's/^/        /' <<<"$out" | head -n 20
        failed=$((failed + 1))
    fi
}

skip() {
    echo "skipped $1"
    skipped=$((skipped + 1))
}

# same <what> <expected> <actual>: fails, saying both, when they differ.
same() {
    if [ "$2" != "$3" ]; then
        printf '%s differs\nexpected: %s\nactual:   %s\n' "$1" "$2" "$3"
        return 1
    fi
}

version=$(sed -nE 's/^project\(roicalc VERSION ([0-9.]+) .*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "release checks: no version in CMakeLists.txt"; exit 1; }
builds=(win32 win64)

# --- the release, twice -------------------------------------------------------
release_twice() {
    bash scripts/release.sh --out "$work/dist" >"$work/release-a.log" 2>&1 || { cat "$work/release-a.log"; return 1; }
    bash scripts/release.sh --build-root "$work/repro" --out "$work/dist-again" >"$work/release-b.log" 2>&1 ||
        { cat "$work/release-b.log"; return 1; }
}
check "scripts/release.sh makes the release twice (the second time in other build folders)" release_twice

released=("roicalc-$version-win32.msi" "roicalc-$version-win32.zip" "roicalc-$version-win64.msi"
          "roicalc-$version-win64.zip" SHA256SUMS)
dist_files() {
    same "files in dist" "$(printf '%s\n' "${released[@]}" | sort)" "$(ls "$1" | sort)"
}
check "the release holds exactly the two zips, the two MSIs and SHA256SUMS" dist_files "$work/dist"

sums_cover_all() {
    (cd "$work/dist" && sha256sum --quiet -c SHA256SUMS) || return 1
    same "files summed" "$(printf '%s\n' "${released[@]}" | grep -v SHA256SUMS | sort)" \
        "$(awk '{ print $2 }' "$work/dist/SHA256SUMS" | sort)"
}
check "SHA256SUMS holds the right sums of every other released file" sums_cover_all

identical() {
    local f status=0
    dist_files "$work/dist-again" || return 1
    for f in "${released[@]}"; do
        cmp "$work/dist/$f" "$work/dist-again/$f" || status=1
    done
    for b in "${builds[@]}"; do
        cmp "build/$b-release/roicalc.exe" "$work/repro/$b-release/roicalc.exe" || status=1
        cmp "build/$b-release/roicalc.exe.debug" "$work/repro/$b-release/roicalc.exe.debug" || status=1
    done
    return "$status"
}
check "the two releases are byte-identical: programs, debug files, zips, MSIs, sums" identical

# --- the programs and the zips ------------------------------------------------
probe="build/win64-release/tests/release/release_probe.exe"
# run_probe WINE ARGS...: the probe's output, with CR removed. It writes to a file,
# not to the pipe of a command substitution: Wine's services, started by the first
# program of a prefix, inherit its output handles and outlive it, and would hold
# such a pipe open for ever.
run_probe() {
    local wine=$1 out status
    shift
    out=$(mktemp "$work/probe.XXXXXX")
    "$wine" "$probe" "$@" >"$out" 2>&1 </dev/null
    status=$?
    tr -d '\r' <"$out"
    rm -f "$out"
    return "$status"
}
for b in "${builds[@]}"; do
    exe="build/$b-release/roicalc.exe"
    name="roicalc-$version-$b"
    zip="$work/dist/$name.zip"

    zip_entries() {
        same "zip entries" "$(printf '%s\n' "$name/LICENSE.txt" "$name/README.txt" "$name/roicalc.exe")" \
            "$(unzip -Z1 "$zip")"
    }
    check "$b: the zip holds exactly $name/ LICENSE.txt, README.txt, roicalc.exe" zip_entries

    zip_program() {
        unzip -p "$zip" "$name/roicalc.exe" | cmp - "$exe"
    }
    check "$b: the zip's roicalc.exe is the release build" zip_program

    zip_texts() {
        local t text
        for t in README.txt LICENSE.txt; do
            text=$(unzip -p "$zip" "$name/$t")
            same "$t lines without CR" 0 "$(grep -vc $'\r$' <<<"$text")" || return 1
        done
        unzip -p "$zip" "$name/README.txt" | grep -q "ROI CALCULATOR $version" || { echo "no version in README.txt"; return 1; }
        unzip -p "$zip" "$name/LICENSE.txt" | grep -q "MIT License" || { echo "LICENSE.txt is not the MIT licence"; return 1; }
    }
    check "$b: the zip's texts have Windows line ends; the read-me names $version, the licence is MIT" zip_texts

    stripped() {
        local headers
        headers=$(objdump -h "$exe") || return 1
        if grep -q ' \.debug_' <<<"$headers"; then
            echo "debug sections in $exe"
            return 1
        fi
        grep -q ' \.gnu_debuglink ' <<<"$headers" || { echo "no .gnu_debuglink in $exe"; return 1; }
        objdump -h "$exe.debug" | grep -q ' \.debug_info ' || { echo "no .debug_info in $exe.debug"; return 1; }
        same "time stamp" "Time/Date		Thu Jan  1 00:00:00 1970" "$(objdump -p "$exe" | grep '^Time/Date')"
    }
    check "$b: roicalc.exe has no debug information or time stamp; roicalc.exe.debug has the information" stripped

    version_resource() {
        local got
        got=$(run_probe "$ROI_WINE" version "Z:${root//\//\\}\\build\\$b-release\\roicalc.exe") || { echo "$got"; return 1; }
        same "version resource" "$(printf '%s\n' "fixed $version.0" "FileVersion $version.0" "ProductVersion $version.0" \
            "ProductName Quillmarsh ROI CALCULATOR" "OriginalFilename roicalc.exe")" "$got"
    }
    check "$b: the version resource carries $version" version_resource
    if [ "$b" = win32 ]; then
        # The program to offer stays within 256 KiB.
        small_enough() {
            local size
            size=$(stat -c %s "$exe") || return 1
            [ "$size" -le 262144 ] || { echo "$exe is $size bytes, over 262144"; return 1; }
        }
        check "$b: roicalc.exe is at most 256 KiB (262144 bytes)" small_enough
    fi
    echo "        $b: roicalc.exe $(stat -c %s "$exe") bytes, roicalc.exe.debug $(stat -c %s "$exe.debug") bytes"
done
for f in "${released[@]}"; do
    echo "        released: $f $(stat -c %s "$work/dist/$f" 2>/dev/null || echo missing) bytes"
done

# --- the installers under Wine -----------------------------------------------
# A prefix and a home of their own ("Documents" is the home there), no menu entries
# written to the real desktop, and the 64-bit msiexec.
wine_home="$work/wine/home"
mkdir -p "$wine_home"
export HOME="$wine_home" WINEPREFIX="$work/wine/prefix"
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
WINE64=/usr/lib/wine/wine64
fresh_prefix() {
    "$ROI_WINE" wineboot -i >"$work/wineboot.log" 2>&1
    wineserver -w
    [ -f "$WINEPREFIX/system.reg" ] || { cat "$work/wineboot.log"; return 1; }
}
check "a throw-away Wine prefix" fresh_prefix
if [ -z "${DISPLAY:-}" ]; then
    roi_display || exit 1
    trap 'roi_stop_display' EXIT
fi

user=$(id -un)
users_dir="$WINEPREFIX/drive_c/users/$user"
data="$users_dir/Documents/Quillmarsh ROI"
data_win="C:\\users\\$user\\Documents\\Quillmarsh ROI"
driver="build/win64-release/tests/e2e/roicalc_e2e.exe"
bankroll_bytes=$'"1000"\r\n"1050"\r\n'   # the README's worked example after one CALCULATE

windows_path() {
    local p
    p=$(realpath -m "$1")
    echo "Z:${p//\//\\}"
}
msiexec() {
    "$WINE64" msiexec "$@" >>"$work/msiexec.log" 2>&1
}
# registered <display name>: the versions listed under that name in Programs and
# Features (a 32-bit package's entry is in the registry's 32-bit view).
registered() {
    local key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
    local out="$work/registered.txt"  # a file, not a pipe: see run_probe
    { "$WINE64" reg query "$key" /s /reg:64; "$WINE64" reg query "$key" /s /reg:32; } >"$out" 2>/dev/null </dev/null
    tr -d '\r' <"$out" |
        awk -v want="$1" '/^HKEY/ { name = ""; ver = "" }
            $1 == "DisplayName" { sub(/^ *DisplayName +REG_SZ +/, ""); name = $0 }
            $1 == "DisplayVersion" { ver = $3 }
            name == want && ver != "" { print ver; name = "" }'
}

for b in win64 win32; do
    case $b in
    win64) arch=x64 suffix=" (64-bit)" ;;
    win32) arch=x86 suffix="" ;;
    esac
    product="Quillmarsh ROI CALCULATOR$suffix"
    install_dir="$users_dir/AppData/Local/Programs/Quillmarsh ROI$suffix"
    install_win="C:\\users\\$user\\AppData\\Local\\Programs\\Quillmarsh ROI$suffix"
    shortcut="$users_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/$product.lnk"
    old_msi="$work/roicalc-0.9.0-$b.msi"
    new_msi="$work/dist/roicalc-$version-$b.msi"
    rm -f "$data/bankroll.roi"

    install_old() {
        bash scripts/make_msi.sh "build/$b-release/roicalc.exe" 0.9.0 "$arch" "$old_msi" || return 1
        msiexec /i "$(windows_path "$old_msi")" /qn || { echo "msiexec /i /qn failed ($?)"; return 1; }
        [ -f "$install_dir/roicalc.exe" ] || { echo "no $install_dir/roicalc.exe"; return 1; }
        [ -f "$shortcut" ] || { echo "no shortcut $shortcut"; return 1; }
        [ -d "$data" ] || { echo "no data folder $data"; return 1; }
        same "installed versions" 0.9.0 "$(registered "$product")"
    }
    check "$b: a 0.9.0 package installs silently: program, Start-menu shortcut, data folder" install_old

    shortcut_folders() {
        local got
        got=$(run_probe "$WINE64" shortcut "$(windows_path "$shortcut")") || { echo "$got"; return 1; }
        same "shortcut" "$(printf '%s\n' "target $install_win\\roicalc.exe" "workdir $data_win")" "${got%\\}"
    }
    check "$b: the shortcut starts the installed program in Documents\\Quillmarsh ROI" shortcut_folders

    if [ "$b" = win32 ] && [ "$ROI_WINE32_RUNS" = 0 ]; then
        skip "$b: the installed program keeps its bankroll in the data folder (this machine cannot run 32-bit programs)"
        printf '%s' "$bankroll_bytes" >"$data/bankroll.roi"   # a user's bankroll, for the checks below
    else
        run_installed() {
            [ ! -e "$data/bankroll.roi" ] || { echo "bankroll.roi exists before the first start"; return 1; }
            (cd "$data" && echo | "$ROI_WINE" "$root/$driver" --screenshot --demo "$install_win\\roicalc.exe") \
                >"$work/run-$b.log" 2>&1 || { cat "$work/run-$b.log"; return 1; }
            cmp <(printf '%s' "$bankroll_bytes") "$data/bankroll.roi"
        }
        check "$b: the installed program, started there, keeps its bankroll in the data folder" run_installed
    fi
    bankroll_sum=$(sha256sum <"$data/bankroll.roi" 2>/dev/null)

    upgrade() {
        msiexec /i "$(windows_path "$new_msi")" /qn || { echo "msiexec /i /qn failed ($?)"; return 1; }
        same "installed versions" "$version" "$(registered "$product")" || return 1
        cmp "$install_dir/roicalc.exe" "build/$b-release/roicalc.exe" || return 1
        same "programs in the install folder" 1 "$(find "$install_dir" -iname '*.exe' | wc -l)" || return 1
        same "bankroll.roi" "$bankroll_sum" "$(sha256sum <"$data/bankroll.roi")"
    }
    check "$b: upgrading to $version leaves one installed copy and the bankroll untouched" upgrade

    uninstall() {
        msiexec /x "$(windows_path "$new_msi")" /qn || { echo "msiexec /x /qn failed ($?)"; return 1; }
        [ ! -e "$install_dir" ] || { echo "$install_dir is still there"; return 1; }
        [ ! -e "$shortcut" ] || { echo "the shortcut is still there"; return 1; }
        same "installed versions" "" "$(registered "$product")" || return 1
        same "bankroll.roi" "$bankroll_sum" "$(sha256sum <"$data/bankroll.roi")"
    }
    check "$b: uninstalling removes program and shortcut and keeps the bankroll" uninstall
done
wineserver -k >/dev/null 2>&1
wineserver -w >/dev/null 2>&1
rm -rf "$work/wine"

echo "release checks: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
