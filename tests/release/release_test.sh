#!/usr/bin/env bash
# The release checks, run by the test command after the release presets are built:
# the release made twice is byte-identical (the second time in other build folders),
# the zips hold exactly their files, the programs carry the project's version, no
# debug information and no import newer than the Windows they say they start on,
# each MSI installs, upgrades and uninstalls under Wine (64-bit msiexec, a throw-away
# prefix and home) without ever touching the user's bankroll.roi, the two MSIs live
# side by side, and a release signed with a throw-away certificate verifies and runs.
# One line per check ("ok", "FAIL" with the reason, or "skipped"), then
#   release checks: <n> passed, <n> failed, <n> skipped
# Exit status 0 when nothing failed.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
cd "$root"
source scripts/env.sh
export TZ=UTC LC_ALL=C
# The releases made here are unsigned unless a check signs one itself.
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

# The oldest Windows each program starts on: the PE header's subsystem and OS
# version, and the words of its read-me. XP is NT 5.1; the x64 edition of XP and
# Server 2003, the first 64-bit Windows, are NT 5.2.
declare -A floor=([win32]=5.1 [win64]=5.2)
declare -A floor_words=([win32]="Windows XP and every later Windows" [win64]="64-bit Windows, from Windows XP x64 and Server 2003 on")
# The DLLs the programs may import from, all in XP, and the functions newer than
# XP x64 that a MinGW program is apt to import (the posix thread library's clock,
# Vista's locks, condition variables and one-time set-up, newer clock, file, locale
# and DPI calls, the secure CRT functions XP's msvcrt.dll lacks).
xp_dlls="comctl32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll user32.dll"
newer_than_floor=(GetTickCount64 GetSystemTimePreciseAsFileTime InitializeSRWLock AcquireSRWLockExclusive
    AcquireSRWLockShared InitializeConditionVariable SleepConditionVariableCS SleepConditionVariableSRW
    WakeConditionVariable InitOnceExecuteOnce InitOnceBeginInitialize InitializeCriticalSectionEx
    CreateEventExW GetFileInformationByHandleEx GetFinalPathNameByHandleW CreateSymbolicLinkW
    LocaleNameToLCID GetLocaleInfoEx SetProcessDPIAware GetDpiForWindow GetDpiForSystem
    SetProcessDpiAwarenessContext fopen_s _wfopen_s strcpy_s wcscpy_s memcpy_s sprintf_s)

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

    # The header's versions, then every import ("dll function") against the lists above.
    oldest_windows() {
        local headers got dll function bad=""
        headers=$(objdump -p "$exe") || return 1
        got=$(awk '/^(Major|Minor)(OSystem|Subsystem)Version/ { v[$1] = $2 }
            END { print v["MajorSubsystemVersion"] "." v["MinorSubsystemVersion"], v["MajorOSystemVersion"] "." v["MinorOSystemVersion"] }' <<<"$headers")
        same "subsystem and OS version" "${floor[$b]} ${floor[$b]}" "$got" || return 1
        while read -r dll function; do
            grep -qw "$dll" <<<"$xp_dlls" || bad+="$dll is not a DLL of Windows XP"$'\n'
            if printf '%s\n' "${newer_than_floor[@]}" | grep -qx -- "$function"; then
                bad+="$function ($dll) is newer than Windows ${floor[$b]}"$'\n'
            fi
        done < <(awk '/DLL Name:/ { dll = tolower($3); next } /^$/ { dll = "" }
            dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[^ ]+$/ { print dll, $3 }' <<<"$headers")
        [ -z "$bad" ] || { printf '%s' "$bad"; return 1; }
    }
    check "$b: roicalc.exe says it starts on Windows ${floor[$b]} and imports nothing newer" oldest_windows

    version_resource() {
        local got
        got=$(run_probe "$ROI_WINE" version "Z:${root//\//\\}\\build\\$b-release\\roicalc.exe") || { echo "$got"; return 1; }
        same "version resource" "$(printf '%s\n' "fixed $version.0" "FileVersion $version.0" "ProductVersion $version.0" \
            "ProductName Quillmarsh ROI CALCULATOR" "FileDescription Quillmarsh ROI CALCULATOR" \
            "CompanyName Quillmarsh" "LegalCopyright $copyright" "OriginalFilename roicalc.exe")" "$got"
    }
    check "$b: the version resource carries $version, the short name and LICENSE's copyright" version_resource
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

# --- the MSIs' tables and a signed release ------------------------------------
# Each MSI's tables and summary as text: nothing that wixl left unexpanded, the
# registry values under the package's own key (the two packages' components must not
# share key paths), and no signature in the unsigned release.
declare -A registry_key=([win32]='Software\Quillmarsh\ROI CALCULATOR'
                         [win64]='Software\Quillmarsh\ROI CALCULATOR (64-bit)')
for b in "${builds[@]}"; do
    msi_tables() {
        local msi="$work/dist/roicalc-$version-$b.msi" text t
        text=$(msiinfo suminfo "$msi") || return 1
        for t in $(msiinfo tables "$msi"); do
            text+=$'\n'$(msiinfo export "$msi" "$t" | tr -d '\0') || { echo "table $t unreadable"; return 1; }
        done
        if grep -F '$(' <<<"$text"; then
            echo "(unexpanded, above)"
            return 1
        fi
        same "registry keys" "${registry_key[$b]}" \
            "$(msiinfo export "$msi" Registry | awk -F'\t' 'NR > 3 { print $3 }' | sort -u)" || return 1
        same "signature streams" "" "$(msiinfo streams "$msi" | grep DigitalSignature)"
    }
    check "$b: no table of the MSI holds an unexpanded \$(; its registry key is its own; it is unsigned" msi_tables
done

# A release signed with a certificate made here and thrown away, from the same
# builds (nothing is rebuilt); a certificate without its key is refused.
signing="$work/signing"
signed="$work/dist-signed"
sign_release() {
    mkdir -p "$signing"
    openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 2 -subj "/CN=Quillmarsh release check" \
        -addext "extendedKeyUsage=codeSigning" -keyout "$signing/key.pem" -out "$signing/cert.pem" 2>&1 || return 1
    ROI_SIGN_CERT="$signing/cert.pem" ROI_SIGN_KEY="$signing/key.pem" bash scripts/release.sh --out "$signed" \
        >"$work/release-signed.log" 2>&1 || { cat "$work/release-signed.log"; return 1; }
    local status=0
    ROI_SIGN_CERT="$signing/cert.pem" bash scripts/release.sh --out "$work/dist-refused" \
        >"$work/release-refused.log" 2>&1 || status=$?
    same "exit status of a release with a certificate and no key" 2 "$status" || return 1
    [ ! -e "$work/dist-refused" ] || { echo "the refused release wrote $work/dist-refused"; return 1; }
}
check "scripts/release.sh signs with a certificate and key given, and refuses a certificate alone" sign_release

for b in "${builds[@]}"; do
    name="roicalc-$version-$b"
    signed_files() {
        local f
        rm -rf "$signing/$b"
        mkdir -p "$signing/$b"
        unzip -p "$signed/$name.zip" "$name/roicalc.exe" >"$signing/$b/roicalc.exe" || return 1
        msiextract -C "$signing/$b/msi" "$signed/$name.msi" >/dev/null || return 1
        for f in "$signing/$b/roicalc.exe" "$signing/$b/msi/Programs/"*/roicalc.exe "$signed/$name.msi"; do
            osslsigncode verify -CAfile "$signing/cert.pem" -in "$f" >"$signing/verify.log" 2>&1 ||
                { echo "$f:"; tail -n 5 "$signing/verify.log"; return 1; }
        done
        (cd "$signed" && sha256sum --quiet -c SHA256SUMS)
    }
    check "$b: the signed zip's program, the signed MSI and the program in it verify; SHA256SUMS matches" signed_files
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

# --- both installers in one prefix -------------------------------------------
# The two packages side by side: removing the 64-bit one leaves the 32-bit one whole
# (program, Start-menu entry, the registry values its components stand on), which
# then uninstalls cleanly; the bankroll outlives both.
programs_dir="$users_dir/AppData/Local/Programs"
menu_dir="$users_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
# registry_values <key>: the values under an HKCU key as "name type data", nothing
# when the key is missing.
registry_values() {
    local out="$work/registry.txt"  # a file, not a pipe: see run_probe
    "$WINE64" reg query "HKCU\\$1" >"$out" 2>/dev/null </dev/null
    tr -d '\r' <"$out" | awk '$2 ~ /^REG_/ { name = $1; type = $2; sub(/^ *[^ ]+ +[^ ]+ +/, ""); print name, type, $0 }' | sort
}
data_key="Software\\Quillmarsh\\ROI CALCULATOR"
# The three values, one for each component as its key path, alike in both packages.
values=$(printf '%s\n' "DataFolder REG_SZ $data_win\\" "Program REG_DWORD 0x1" "Shortcut REG_DWORD 0x1")
win32_whole() {
    [ -f "$programs_dir/Quillmarsh ROI/roicalc.exe" ] || { echo "the 32-bit program is gone"; return 1; }
    [ -f "$menu_dir/Quillmarsh ROI CALCULATOR.lnk" ] || { echo "the 32-bit Start-menu entry is gone"; return 1; }
    same "the 32-bit package's registry values" "$values" "$(registry_values "$data_key")" || return 1
    same "installed versions" "$version" "$(registered "Quillmarsh ROI CALCULATOR")"
}
both_installed() {
    local b
    [ -f "$data/bankroll.roi" ] || { echo "no bankroll.roi left by the checks above"; return 1; }
    bankroll_sum=$(sha256sum <"$data/bankroll.roi")
    for b in win32 win64; do
        msiexec /i "$(windows_path "$work/dist/roicalc-$version-$b.msi")" /qn || { echo "$b: msiexec /i failed"; return 1; }
    done
    same "the 64-bit package's registry values" "$values" "$(registry_values "$data_key (64-bit)")" || return 1
    [ -f "$programs_dir/Quillmarsh ROI (64-bit)/roicalc.exe" ] || { echo "no 64-bit program"; return 1; }
    same "installed 64-bit versions" "$version" "$(registered "Quillmarsh ROI CALCULATOR (64-bit)")" || return 1
    win32_whole
}
check "both MSIs install into one prefix, each with its own registry values" both_installed

remove_64() {
    msiexec /x "$(windows_path "$work/dist/roicalc-$version-win64.msi")" /qn || { echo "msiexec /x failed"; return 1; }
    [ ! -e "$programs_dir/Quillmarsh ROI (64-bit)" ] || { echo "the 64-bit program folder is still there"; return 1; }
    same "the 64-bit package's registry values" "" "$(registry_values "$data_key (64-bit)")" || return 1
    win32_whole || return 1
    same "bankroll.roi" "$bankroll_sum" "$(sha256sum <"$data/bankroll.roi")"
}
check "uninstalling the 64-bit MSI leaves the 32-bit program, Start-menu entry, registry values and bankroll" remove_64

remove_32() {
    msiexec /x "$(windows_path "$work/dist/roicalc-$version-win32.msi")" /qn || { echo "msiexec /x failed"; return 1; }
    [ ! -e "$programs_dir/Quillmarsh ROI" ] || { echo "the 32-bit program folder is still there"; return 1; }
    [ ! -e "$menu_dir/Quillmarsh ROI CALCULATOR.lnk" ] || { echo "the Start-menu entry is still there"; return 1; }
    same "the 32-bit package's registry values" "" "$(registry_values "$data_key")" || return 1
    same "installed versions" "" "$(registered "Quillmarsh ROI CALCULATOR")" || return 1
    same "bankroll.roi" "$bankroll_sum" "$(sha256sum <"$data/bankroll.roi")"
}
check "then the 32-bit MSI uninstalls cleanly and the bankroll stays" remove_32

# --- the signed programs start ------------------------------------------------
# The signed program, started by the end-to-end driver in a fresh folder, makes the
# README's bankroll as the unsigned one does.
for b in win64 win32; do
    if [ "$b" = win32 ] && [ "$ROI_WINE32_RUNS" = 0 ]; then
        skip "$b: the signed program runs (this machine cannot run 32-bit programs)"
        continue
    fi
    run_signed() {
        local folder="$signing/run-$b"
        rm -rf "$folder"
        mkdir -p "$folder"
        [ -s "$signing/$b/roicalc.exe" ] || { echo "no signed $b program (see the signing checks)"; return 1; }
        (cd "$folder" && echo | "$ROI_WINE" "$root/$driver" --screenshot --demo "$(windows_path "$signing/$b/roicalc.exe")") \
            >"$work/run-signed-$b.log" 2>&1 || { cat "$work/run-signed-$b.log"; return 1; }
        cmp <(printf '%s' "$bankroll_bytes") "$folder/bankroll.roi"
    }
    check "$b: the signed program starts under Wine and keeps its bankroll" run_signed
done
wineserver -k >/dev/null 2>&1
wineserver -w >/dev/null 2>&1
rm -rf "$work/wine"

echo "release checks: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
