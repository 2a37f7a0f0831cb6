// formatWithMask with the calculator's four masks against snprintf with the
// nearest printf format, on the same values. Both produce a std::string, since
// the calculator needs the text as a string either way.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/number_text.h"
#include "core/picture_mask.h"

namespace {

// Values as the cells see them: typed amounts, bankrolls, and formula results
// stored as canonical text and read back.
const std::vector<roi::Extended>& cellValues() {
    static const std::vector<roi::Extended> values = [] {
        const char* const texts[] = {
            "0",
            "1",
            "-1",
            "12.5",
            "-12.5",
            "0.125",
            "2.675",
            "1234.565",
            "-1234.5",
            "999.995",
            "9999.995",
            "123456789.123",
            "250",
            "1500.75",
            "-87.2",
            "3.2",
            "47.3684210526316",
            "33.3333333333333",
            "8.75",
            "-0.004",
            "100000",
            "2000000.5",
            "15.6666666666667",
            "0.5",
        };
        std::vector<roi::Extended> parsed;
        for (const char* t : texts) {
            parsed.push_back(roi::parseNumber(t));
        }
        return parsed;
    }();
    return values;
}

constexpr const char* MASKS[] = {"$#,###,###.##", "$####.##", "###.##%", "$#,###.##"};

// The nearest printf formats: same width and decimals, no grouping (ISO printf
// has no grouping flag, and the POSIX "'" flag groups nothing in the "C" locale).
std::string printfText(int mask, roi::Extended x) {
    char buffer[128];
    int n = 0;
    switch (mask) {
    case 0:
        n = std::snprintf(buffer, sizeof buffer, "$%12.2Lf", x);
        break;
    case 1:
        n = std::snprintf(buffer, sizeof buffer, "$%7.2Lf", x);
        break;
    case 2:
        n = std::snprintf(buffer, sizeof buffer, "%6.2Lf%%", x);
        break;
    default:
        n = std::snprintf(buffer, sizeof buffer, "$%8.2Lf", x);
        break;
    }
    return std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

void formatWithMaskBench(benchmark::State& state) {
    const int mask = static_cast<int>(state.range(0));
    for (auto _ : state) {
        for (roi::Extended x : cellValues()) {
            std::string text = roi::formatWithMask(MASKS[mask], x);
            benchmark::DoNotOptimize(text);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(cellValues().size()));
    state.SetLabel(MASKS[mask]);
}

void snprintfBench(benchmark::State& state) {
    const int mask = static_cast<int>(state.range(0));
    for (auto _ : state) {
        for (roi::Extended x : cellValues()) {
            std::string text = printfText(mask, x);
            benchmark::DoNotOptimize(text);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(cellValues().size()));
    state.SetLabel(MASKS[mask]);
}

}  // namespace

BENCHMARK(formatWithMaskBench)->DenseRange(0, 3);
BENCHMARK(snprintfBench)->DenseRange(0, 3);

BENCHMARK_MAIN();
