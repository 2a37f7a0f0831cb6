#!/usr/bin/env bash
# The release checks, run by the test command after the release presets are built:
# the release made twice is byte-identical (the second time in other build folders),
# the zips hold exactly their files, the programs carry the project's version, no
# debug information and no import newer than their stated Windows, and each MSI
# installs, upgrades, uninstalls and lives beside the other under Wine (64-bit msiexec,
# a throw-away prefix and home) without ever touching the user's bankroll.roi; a signed
# release verifies and runs. One line per check ("ok", "FAIL" with the reason, or "skipped"), then
#   release checks: <n> passed, <n> failed, <n> skipped
# Exit status 0 when nothing failed.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
cd "$root"
source scripts/env.sh
export TZ=UTC LC_ALL=C
unset ROI_SIGN_CERT ROI_SIGN_KEY ROI_SIGN_PASSWORD_FILE ROI_SIGN_TIMESTAMP

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
copyright=$(grep -m1 '^Copyright ' LICENSE)
builds=(win32 win64)

# The oldest Windows both programs say they start on, in their PE headers (Vista is NT
# 6.0) and read-mes; the DLLs they may import, and functions newer than Vista that a
# MinGW program is apt to pick up (newer thread libraries' clocks and locks, DPI calls).
floor=6.0
declare -A floor_words=([win32]="Windows Vista and every later Windows, 32-bit or 64-bit" [win64]="64-bit Windows Vista and every later 64-bit Windows")
floor_dlls="comctl32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll user32.dll"
newer_than_floor="GetSystemTimePreciseAsFileTime TryAcquireSRWLockExclusive TryAcquireSRWLockShared WaitOnAddress
    WakeByAddressSingle SetThreadDescription GetDpiForWindow GetDpiForSystem SetProcessDpiAwarenessContext"

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
        text=$(unzip -p "$zip" "$name/README.txt")
        grep -q "ROI CALCULATOR $version" <<<"$text" || { echo "no version in README.txt"; return 1; }
        same "installers named in README.txt" "$name.msi" "$(grep -o 'roicalc-[^ )]*\.msi' <<<"$text" | sort -u)" || return 1
        grep -qF "runs on ${floor_words[$b]}" <<<"$text" || { echo "README.txt does not say it runs on ${floor_words[$b]}"; return 1; }
        unzip -p "$zip" "$name/LICENSE.txt" | grep -q "MIT License" || { echo "LICENSE.txt is not the MIT licence"; return 1; }
    }
    check "$b: the zip's texts have Windows line ends; the read-me names $version, $name.msi and the oldest Windows; the licence is MIT" zip_texts

    stripped() {
        local headers
        headers=$(objdump -h "$exe") || return 1
        if grep -q ' \.debug_' <<<"$headers"; then
            echo "debug sections in $exe"
            return 1
        fi
        grep -q ' \.gnu_debuglink ' <<<"$headers" || { echo "no .gnu_debuglink in $exe"; return 1; }
        objdump -h "$exe.debug" | grep -q ' \.debug_info ' || { echo "no .debug_info in $exe.debug"; return 1; }
        same "time stamp" "Time/Date		Thu Jan  1 00:00:00 1970" "$(objdump -p "$exe" | grep '^Time/Date')" || return 1
        same "signature (security directory)" none \
            "$(objdump -p "$exe" | awk '/Security Directory/ { print ($3 $4) ~ /^0+$/ ? "none" : $3 " " $4 }')"
    }
    check "$b: roicalc.exe has no debug information, time stamp or signature; roicalc.exe.debug has the information" stripped

    # The header's versions, then every import against the lists above.
    oldest_windows() {
        objdump -p "$exe" | awk -v want="$floor $floor" -v dlls=" $floor_dlls " -v newer=" ${newer_than_floor//$'\n'/ } " '
            /^(Major|Minor)(OSystem|Subsystem)Version/ { v[$1] = $2 }
            /DLL Name:/ { dll = tolower($3); if (!index(dlls, " " dll " ")) bad = bad dll " is not one of the DLLs expected\n"; next }
            /^$/ { dll = "" }
            dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[^ ]+$/ && index(newer, " " $3 " ") { bad = bad $3 " (" dll ") is too new\n" }
            END { got = v["MajorSubsystemVersion"] "." v["MinorSubsystemVersion"] " " v["MajorOSystemVersion"] "." v["MinorOSystemVersion"]
                  if (got != want) bad = bad "subsystem and OS version " got ", not " want "\n"
                  printf "%s", bad; exit bad != "" }'
    }
    check "$b: roicalc.exe says it starts on Windows $floor and imports nothing newer" oldest_windows

    version_resource() {
        local got
        got=$(run_probe "$ROI_WINE" version "Z:${root//\//\\}\\build\\$b-release\\roicalc.exe") || { echo "$got"; return 1; }
        same "version resource" "$(printf '%s\n' "fixed $version.0" "FileVersion $version.0" "ProductVersion $version.0" \
            "ProductName Quillmarsh ROI CALCULATOR" "FileDescription Quillmarsh ROI CALCULATOR" \
            "CompanyName Quillmarsh" "LegalCopyright $copyright" "OriginalFilename roicalc.exe")" "$got"
    }
    check "$b: the version resource carries $version, the short name and LICENSE's copyright" version_resource
    if [ "$b" = win32 ]; then
        # The program to offer stays within 320 KiB.
        small_enough() {
            local size
            size=$(stat -c %s "$exe") || return 1
            [ "$size" -le 327680 ] || { echo "$exe is $size bytes, over 327680"; return 1; }
        }
        check "$b: roicalc.exe is at most 320 KiB (327680 bytes)" small_enough
    fi
    echo "        $b: roicalc.exe $(stat -c %s "$exe") bytes, roicalc.exe.debug $(stat -c %s "$exe.debug") bytes"
done
for f in "${released[@]}"; do
    echo "        released: $f $(stat -c %s "$work/dist/$f" 2>/dev/null || echo missing) bytes"
done

# --- the MSIs' tables ---------------------------------------------------------
# Nothing that wixl left unexpanded, the registry values (the components' key paths)
# under the package's own key, and no signature in the unsigned release.
declare -A registry_key=([win32]='Software\Quillmarsh\ROI CALCULATOR' [win64]='Software\Quillmarsh\ROI CALCULATOR (64-bit)')
for b in "${builds[@]}"; do
    msi_tables() {
        local msi="$work/dist/roicalc-$version-$b.msi" t
        mkdir -p "$work/tables-$b" && cd "$work/tables-$b" || return 1  # export writes binary streams to files here
        { msiinfo suminfo "$msi"; for t in $(msiinfo tables "$msi"); do msiinfo export "$msi" "$t" || echo "table $t unreadable"; done; } |
            tr -d '\0' | grep -F -e '$(' -e 'unreadable' && return 1
        same "registry keys" "${registry_key[$b]}" "$(msiinfo export "$msi" Registry | awk -F'\t' 'NR > 3 { print $3 }' | sort -u)" &&
            same "signature streams" "" "$(msiinfo streams "$msi" | grep DigitalSignature)"
    }
    check "$b: no table of the MSI holds an unexpanded \$(; its registry key is its own; it is unsigned" msi_tables
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

# A release signed with a certificate made here and thrown away, from the same builds:
# every signature verifies and the signed programs run; a lone certificate is refused.
signing="$work/signing"
signed_release() {
    local b f status=0
    mkdir -p "$signing"
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Quillmarsh release check" \
        -addext "extendedKeyUsage=codeSigning" -keyout "$signing/key.pem" -out "$signing/cert.pem" 2>&1 || return 1
    ROI_SIGN_CERT="$signing/cert.pem" ROI_SIGN_KEY="$signing/key.pem" bash scripts/release.sh --out "$signing/dist" \
        >"$signing/release.log" 2>&1 || { cat "$signing/release.log"; return 1; }
    for b in "${builds[@]}"; do
        unzip -p "$signing/dist/roicalc-$version-$b.zip" "*/roicalc.exe" >"$signing/$b.exe" &&
            msiextract -C "$signing/$b" "$signing/dist/roicalc-$version-$b.msi" >/dev/null || return 1
        for f in "$signing/$b.exe" "$signing/$b/Programs/"*/roicalc.exe "$signing/dist/roicalc-$version-$b.msi"; do
            osslsigncode verify -CAfile "$signing/cert.pem" -in "$f" >"$signing/verify.log" 2>&1 ||
                { echo "$f:"; tail -n 5 "$signing/verify.log"; return 1; }
        done
        [ "$b" = win64 ] || [ "$ROI_WINE32_RUNS" = 1 ] || continue
        (mkdir -p "$signing/run-$b" && cd "$signing/run-$b" && echo | "$ROI_WINE" "$root/$driver" --screenshot --demo \
            "$(windows_path "$signing/$b.exe")") >"$signing/run.log" 2>&1 || { cat "$signing/run.log"; return 1; }
        cmp <(printf '%s' "$bankroll_bytes") "$signing/run-$b/bankroll.roi" || return 1
    done
    ROI_SIGN_CERT="$signing/cert.pem" bash scripts/release.sh --out "$signing/refused" >/dev/null 2>&1 || status=$?
    same "exit status with a certificate and no key" 2 "$status" && [ ! -e "$signing/refused" ]
}
check "a release signed with a throw-away certificate verifies and its programs run; a lone certificate is refused" signed_release
[ "$ROI_WINE32_RUNS" = 1 ] || skip "win32: the signed program runs (this machine cannot run 32-bit programs)"

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

# --- both installers in one prefix -------------------------------------------
# package <suffix>: what of a package is there; whole, all of it.
package() {
    local out="$work/registry.txt"  # a file, not a pipe: see run_probe
    [ ! -f "$users_dir/AppData/Local/Programs/Quillmarsh ROI$1/roicalc.exe" ] || echo program
    [ ! -f "$users_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Quillmarsh ROI CALCULATOR$1.lnk" ] || echo shortcut
    "$WINE64" reg query "HKCU\\Software\\Quillmarsh\\ROI CALCULATOR$1" >"$out" 2>/dev/null </dev/null
    tr -d '\r' <"$out" | awk '$2 ~ /^REG_/ { n = $1; t = $2; sub(/^ *[^ ]+ +[^ ]+ +/, ""); print n, t, $0 }' | sort
    registered "Quillmarsh ROI CALCULATOR$1"
}
whole=$(printf '%s\n' program shortcut "DataFolder REG_SZ $data_win\\" "Program REG_DWORD 0x1" "Shortcut REG_DWORD 0x1" "$version")
side_by_side() {
    local step action b want32 want64 sum
    sum=$(sha256sum <"$data/bankroll.roi") || return 1
    for step in "/i win32 1 0" "/i win64 1 1" "/x win64 1 0" "/x win32 0 0"; do
        read -r action b want32 want64 <<<"$step"
        msiexec "$action" "$(windows_path "$work/dist/roicalc-$version-$b.msi")" /qn || { echo "msiexec $action $b failed"; return 1; }
        same "the 32-bit package after $action $b" "$([ "$want32" = 0 ] || echo "$whole")" "$(package "")" &&
            same "the 64-bit package after $action $b" "$([ "$want64" = 0 ] || echo "$whole")" "$(package " (64-bit)")" &&
            same "bankroll.roi after $action $b" "$sum" "$(sha256sum <"$data/bankroll.roi")" || return 1
    done
}
check "both MSIs install into one prefix; removing the 64-bit one leaves the 32-bit one whole, then it goes cleanly" side_by_side

wineserver -k >/dev/null 2>&1
wineserver -w >/dev/null 2>&1
rm -rf "$work/wine"

echo "release checks: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
