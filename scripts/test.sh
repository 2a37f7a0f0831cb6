#!/usr/bin/env bash
# Runs every test: installs what is missing, checks the sources' format, then builds
# and tests the four builds (native with sanitizers, fuzz, win64 and win32 under Wine)
# and ends with one summary line. Exit status 0 only when every test passed.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bash scripts/setup.sh || exit 1
source scripts/env.sh

roi_display || exit 1
trap 'wineserver -k >/dev/null 2>&1; roi_stop_display' EXIT
roi_wine_prefix
wineserver -p >/dev/null 2>&1   # one persistent server: each Wine start is then cheaper

JOBS="${ROI_JOBS:-$(nproc)}"
passed=0
failed=0
skipped=0
broken=()
win32_unrun=0

run_preset() {
    local preset=$1
    echo "=== $preset: configure and build"
    if ! cmake --preset "$preset" >"build/$preset-configure.log" 2>&1; then
        cat "build/$preset-configure.log"
        broken+=("$preset (configure)")
        failed=$((failed + 1))
        return
    fi
    if ! cmake --build --preset "$preset" -j "$JOBS" >"build/$preset-build.log" 2>&1; then
        tail -n 60 "build/$preset-build.log"
        broken+=("$preset (build)")
        failed=$((failed + 1))
        return
    fi
    if [ "$preset" = win32 ] && [ "$ROI_WINE32_RUNS" = 0 ]; then
        # Compiled, but this machine cannot start 32-bit programs: count the
        # tests as skipped rather than print a CTest run that executed none.
        local n
        n=$(ctest --preset "$preset" -N 2>/dev/null | sed -nE 's/^Total Tests: ([0-9]+)$/\1/p')
        echo "=== $preset: ${n:-0} tests compiled, not run"
        skipped=$((skipped + ${n:-0}))
        win32_unrun=1
        return
    fi
    echo "=== $preset: test"
    local out="build/$preset-test.log"
    # Windows programs share one display and one desktop under Wine, and some tests
    # type real keys: they run one at a time.
    local jobs=$JOBS
    case $preset in win*) jobs=1 ;; esac
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
[ ${#presets[@]} -gt 0 ] || presets=(native fuzz win64 win32)
for p in "${presets[@]}"; do
    run_preset "$p"
done

if [ ${#broken[@]} -gt 0 ]; then
    echo "failing: ${broken[*]}"
fi
if [ "$win32_unrun" = 1 ]; then
    echo "skipped: this machine cannot run 32-bit programs, so the win32 tests were compiled but not run"
fi
echo "total: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
