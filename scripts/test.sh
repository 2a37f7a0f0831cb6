#!/usr/bin/env bash
# Runs every test: installs what is missing, checks the sources' format, then builds
# and tests the four builds (native with sanitizers, fuzz, win64 and win32 under Wine)
# and ends with one summary line. Exit status 0 only when every test passed.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/setup.sh || exit 1
source scripts/env.sh

roi_display || exit 1
# Only the servers this run started: another run of this tree may still be using
# the 32-bit one.
stop_wine() {
    (roi_use_wine 64 && wineserver -k >/dev/null 2>&1)
    [ "$win32_started" = 0 ] || (roi_use_wine 32 && wineserver -k >/dev/null 2>&1)
}
win32_started=0
ahead_pid=""
trap '[ -z "$ahead_pid" ] || kill "$ahead_pid" 2>/dev/null; stop_wine; roi_stop_display' EXIT
roi_use_wine 64
roi_wine_prefix
wineserver -p >/dev/null 2>&1   # one persistent server: each Wine start is then cheaper

JOBS="${ROI_JOBS:-$(nproc)}"
passed=0
failed=0
skipped=0
broken=()
win32_unrun=0
win32_emulated=""

# build_preset <name>: configures and builds quietly, into build/<preset>-configure.log
# and -build.log, and leaves the outcome in build/<name>-build.status: "ok", or
# "configure <preset>" or "build <preset>" for the step that failed. The name
# "release" builds what the release checks need of both release presets.
build_preset() {
    local name=$1 preset status=ok
    local presets=("$name")
    [ "$name" = release ] && presets=(win64-release win32-release)
    for preset in "${presets[@]}"; do
        local targets=()
        case $preset in
        win64-release) targets=(--target roicalc roicalc_e2e release_probe) ;;
        win32-release) targets=(--target roicalc roicalc_e2e ui_main_window_test) ;;
        esac
        if ! cmake --preset "$preset" >"build/$preset-configure.log" 2>&1; then
            status="configure $preset"
            break
        fi
        if ! cmake --build --preset "$preset" -j "$JOBS" "${targets[@]}" >"build/$preset-build.log" 2>&1; then
            status="build $preset"
            break
        fi
    done
    echo "$status" >"build/$name-build.status.new" && mv "build/$name-build.status.new" "build/$name-build.status"
}

# The Windows tests mostly wait on Wine and leave the processors idle, so while they
# run, the presets after them are built ahead, one after another in the background.
# Niced, so the tests (whose waits are bounded) get the processor whenever they ask.
ahead=()
build_ahead() {
    [ -z "$ahead_pid" ] || return 0
    local name
    for name in "$@"; do
        [ "$name" != "$current" ] || continue  # never the preset under test
        ahead+=("$name")
        rm -f "build/$name-build.status"
    done
    [ ${#ahead[@]} -gt 0 ] || return 0
    (
        renice -n 10 -p "$BASHPID" >/dev/null 2>&1
        for name in "${ahead[@]}"; do
            build_preset "$name"
        done
    ) </dev/null >/dev/null 2>&1 &
    ahead_pid=$!
}

# built <name>: builds the preset, or waits for its build ahead; on failure shows the
# log's end and counts it. Status 0 when built.
built() {
    local name=$1 status preset p note=""
    local presets=("$name")
    [ "$name" = release ] && presets=(win64-release win32-release)
    [[ " ${ahead[*]} " != *" $name "* ]] || note=" (built ahead, while the tests before ran)"
    for p in "${presets[@]}"; do
        echo "=== $p: configure and build$note"
    done
    if [ -n "$note" ]; then
        while [ ! -f "build/$name-build.status" ] && kill -0 "$ahead_pid" 2>/dev/null; do
            sleep 1
        done
    else
        build_preset "$name"
    fi
    read -r status preset <"build/$name-build.status" 2>/dev/null || status="build" preset=${presets[0]}
    [ "$status" != ok ] || return 0
    if [ "$name" = release ]; then
        tail -n 60 "build/$preset-configure.log" "build/$preset-build.log"
        broken+=("$preset (build)")
    elif [ "$status" = configure ]; then
        cat "build/$preset-configure.log"
        broken+=("$preset (configure)")
    else
        tail -n 60 "build/$preset-build.log"
        broken+=("$preset (build)")
    fi
    failed=$((failed + 1))
    return 1
}

run_preset() {
    local preset=$1
    built "$preset" || return
    if [ "$preset" = win32 ] && [ "$ROI_WIN32_FOUND" = none ]; then
        # Compiled, but this machine cannot start 32-bit programs: count the
        # tests as skipped rather than print a CTest run that executed none.
        local n
        n=$(ctest --preset "$preset" -N 2>/dev/null | sed -nE 's/^Total Tests: ([0-9]+)$/\1/p')
        echo "=== $preset: ${n:-0} tests compiled, not run"
        skipped=$((skipped + ${n:-0}))
        win32_unrun=1
        return
    fi
    local started=$SECONDS
    if [ "$preset" = win32 ]; then
        win32_started=1
        start_win32
    fi
    echo "=== $preset: test"
    local out="build/$preset-test.log"
    # Windows programs share one display and one desktop under Wine, and some tests
    # type real keys: they run one at a time.
    local jobs=$JOBS
    if [[ $preset == win* ]]; then
        jobs=1
        build_ahead "${rest[@]}"
    fi
    ctest --preset "$preset" -j "$jobs" 2>&1 | tee "$out"
    local line
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$out" | tail -n 1)
    if [ -z "$line" ]; then
        broken+=("$preset (no test summary)")
        failed=$((failed + 1))
        return
    fi
    local nfail total
    nfail=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
    local nskip
    nskip=$(grep -c '(Skipped)' "$out")
    passed=$((passed + total - nfail - nskip))
    failed=$((failed + nfail))
    skipped=$((skipped + nskip))
    [ "$nfail" -eq 0 ] || broken+=("$preset")
    if [ "$preset" = win32 ] && [ "$ROI_WIN32_FOUND" = emulated ]; then
        win32_emulated="$((total - nskip)) emulated ($((total - nfail - nskip)) passed, $nfail failed)"
        win32_emulated+=", $((SECONDS - started)) s with the 32-bit set-up"
    fi
}

# The 32-bit side: its own prefix and a persistent server, so that Wine's services
# start once, not once per test. Under emulation they start here, before the first
# test, as each start costs about a minute there. A server left by an interrupted run
# may still hold emulated services: it goes first.
start_win32() {
    (
        roi_use_wine 32
        wineserver -k >/dev/null 2>&1
        local from=$SECONDS
        roi_wine_prefix
        wineserver -p >/dev/null 2>&1
        if [ "$ROI_WIN32_FOUND" = emulated ]; then
            roi_side_run "$ROI_WINE" wineboot >/dev/null 2>&1
        fi
        [ "$SECONDS" -lt $((from + 5)) ] || echo "=== win32: the 32-bit prefix and its services took $((SECONDS - from)) s"
    )
}

# count_ctest <log>: adds a CTest run's summary to the totals; 1 when it has none or
# something failed.
count_ctest() {
    local line nfail total nskip
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1)
    [ -n "$line" ] || { failed=$((failed + 1)); return 1; }
    nfail=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
    nskip=$(grep -c '(Skipped)' "$1")
    passed=$((passed + total - nfail - nskip))
    failed=$((failed + nfail))
    skipped=$((skipped + nskip))
    [ "$nfail" -eq 0 ]
}

# The release builds: the shipped 32-bit program's end-to-end and main-window tests
# run against the release .exe, then the release itself is made and checked
# (tests/release/release_test.sh: reproducibility, zips, versions, MSI install,
# upgrade and uninstall under Wine; it drives the installed 64-bit program too).
run_release() {
    built release || return
    if [ "$ROI_WINE32_RUNS" = 0 ]; then
        echo "=== win32-release: 2 tests not run (no 32-bit programs here)"
        skipped=$((skipped + 2))
    else
        echo "=== win32-release: test the release program"
        ctest --preset win32-release -R '^(e2e_roicalc|ui_main_window_test)$' 2>&1 | tee build/win32-release-test.log
        count_ctest build/win32-release-test.log || broken+=(win32-release)
    fi
    echo "=== release: make and check the release"
    bash tests/release/release_test.sh 2>&1 | tee build/release-test.log
    local line
    line=$(grep -E '^release checks: [0-9]+ passed, [0-9]+ failed, [0-9]+ skipped$' build/release-test.log)
    if [ -z "$line" ]; then
        broken+=("release (no summary)")
        failed=$((failed + 1))
        return
    fi
    local rp rf rk
    read -r rp rf rk < <(sed -E 's/.*: ([0-9]+) passed, ([0-9]+) failed, ([0-9]+) skipped/\1 \2 \3/' <<<"$line")
    passed=$((passed + rp))
    failed=$((failed + rf))
    skipped=$((skipped + rk))
    [ "$rf" -eq 0 ] || broken+=(release)
}

# The layout of the sources counts as one test, whichever presets run.
echo "=== format"
if bash scripts/check-format.sh; then
    passed=$((passed + 1))
else
    broken+=("format")
    failed=$((failed + 1))
fi

mkdir -p build
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(native fuzz win64 win32 release)
for i in "${!presets[@]}"; do
    current=${presets[i]}
    rest=("${presets[@]:i+1}")  # what build_ahead may build while this preset's tests run
    if [ "$current" = release ]; then
        run_release
    else
        run_preset "$current"
    fi
done
if [ -n "$ahead_pid" ]; then
    wait "$ahead_pid"
    ahead_pid=""
fi

if [ ${#broken[@]} -gt 0 ]; then
    echo "failing: ${broken[*]}"
fi
if [ "$win32_unrun" = 1 ]; then
    echo "skipped: the win32 tests were compiled but not run: $ROI_WIN32_WHY"
fi
echo "win32: $ROI_WIN32_WHY"
if [ -n "$win32_emulated" ]; then
    echo "win32: $win32_emulated"
fi
echo "total: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
