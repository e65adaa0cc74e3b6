// FormatFixed(x, 5, 2), the text of every coordinate in a result line, beside
// what a C++ developer would reach for instead: snprintf("%.2f") and
// std::to_chars in fixed notation with two decimals, on the same values.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdio>
#include <vector>

#include "console/number_writing.hpp"
#include "samples.hpp"

namespace traverse::bench {
namespace {

const std::vector<double>& Coordinates() {
  static const std::vector<double> values = SampleCoordinates();
  return values;
}

void FormatFixedCoordinates(benchmark::State& state) {
  const std::vector<double>& values = Coordinates();
  char text[FixedTextCapacity];
  for (auto _ : state) {
    for (double value : values) {
      std::size_t length = FormatFixed(value, 5, 2, text);
      benchmark::DoNotOptimize(length);
      benchmark::DoNotOptimize(text);
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(values.size()));
}
BENCHMARK(FormatFixedCoordinates);

void SnprintfCoordinates(benchmark::State& state) {
  const std::vector<double>& values = Coordinates();
  char text[FixedTextCapacity];
  for (auto _ : state) {
    for (double value : values) {
      int length = std::snprintf(text, sizeof text, "%.2f", value);
      benchmark::DoNotOptimize(length);
      benchmark::DoNotOptimize(text);
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(values.size()));
}
BENCHMARK(SnprintfCoordinates);

void ToCharsCoordinates(benchmark::State& state) {
  const std::vector<double>& values = Coordinates();
  char text[FixedTextCapacity];
  for (auto _ : state) {
    for (double value : values) {
      std::to_chars_result result =
          std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 2);
      benchmark::DoNotOptimize(result);
      benchmark::DoNotOptimize(text);
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(values.size()));
}
BENCHMARK(ToCharsCoordinates);

}  // namespace
}  // namespace traverse::bench
