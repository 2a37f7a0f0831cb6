// parseNumber against glibc's strtold, and numberToText against snprintf("%.15Lg"),
// side by side on the same inputs: amounts and counts as typed, and the canonical
// texts of the calculator's results. Every conversion ends in a std::string or an
// extended value, as the calculator needs it.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/number_text.h"

namespace {

const std::vector<std::string>& typedTexts() {
    static const std::vector<std::string> texts = {
        // money amounts after the filter, and counts
        "1234.50",
        "25",
        "0.5",
        "1000",
        "150",
        "100",
        "2.40",
        "17.80",
        "345.89",
        "1138.83",
        "5000.00",
        "-50",
        "10",
        "3",
        "42",
        "7",
        // canonical texts of results as the session stores them
        " 1.5",
        " 30",
        " 50",
        " 1050.5",
        " .333333333333333",
        " 33.3333333333333",
        " 15.6666666666667",
        "-1234.565",
        " 1.11022302462516E-16",
        " 47.3684210526316",
        " 308.625",
        "-.5",
    };
    return texts;
}

const std::vector<roi::Extended>& resultValues() {
    static const std::vector<roi::Extended> values = [] {
        std::vector<roi::Extended> v;
        for (const std::string& t : typedTexts()) {
            v.push_back(roi::parseNumber(t));
        }
        // unrounded formula results, as numberToText receives them
        v.push_back(roi::parseNumber("150") / roi::parseNumber("3"));
        v.push_back((roi::parseNumber("3") / roi::parseNumber("7")) * 100.0L);
        v.push_back(((roi::parseNumber("47.5") - roi::parseNumber("100")) / roi::parseNumber("100")) + 1.0L);
        v.push_back((roi::parseNumber("792.94") + roi::parseNumber("345.89")) - roi::parseNumber("1138.83"));
        return v;
    }();
    return values;
}

// Times convert over every input, each result kept from the optimiser.
template <class Input, class Convert>
void convertEach(benchmark::State& state, const std::vector<Input>& inputs, Convert convert) {
    for (auto _ : state) {
        for (const Input& input : inputs) {
            auto result = convert(input);
            benchmark::DoNotOptimize(result);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(inputs.size()));
}

void parseNumberBench(benchmark::State& state) {
    convertEach(state, typedTexts(), [](const std::string& t) { return roi::parseNumber(t); });
}

void strtoldBench(benchmark::State& state) {
    convertEach(state, typedTexts(), [](const std::string& t) { return std::strtold(t.c_str(), nullptr); });
}

void numberToTextBench(benchmark::State& state) {
    convertEach(state, resultValues(), [](roi::Extended x) { return roi::numberToText(x); });
}

void snprintfBench(benchmark::State& state) {
    convertEach(state, resultValues(), [](long double x) {
        char buffer[48];
        const int n = std::snprintf(buffer, sizeof buffer, "%.15Lg", x);
        return std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
    });
}

}  // namespace

BENCHMARK(parseNumberBench);
BENCHMARK(strtoldBench);
BENCHMARK(numberToTextBench);
BENCHMARK(snprintfBench);

BENCHMARK_MAIN();
