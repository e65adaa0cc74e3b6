// ParseReal over tokens as a surveyor types them, beside strtod and
// std::from_chars on the same tokens.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/number_reading.hpp"
#include "samples.hpp"

namespace traverse::bench {
namespace {

const std::vector<std::string>& Tokens() {
  static const std::vector<std::string> tokens = SampleTokens();
  return tokens;
}

void ParseRealTokens(benchmark::State& state) {
  const std::vector<std::string>& tokens = Tokens();
  for (auto _ : state) {
    for (const std::string& token : tokens) {
      ScanResult<Extended> scan = ParseReal(token.data(), token.data() + token.size());
      benchmark::DoNotOptimize(scan);
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(tokens.size()));
}
BENCHMARK(ParseRealTokens);

void StrtodTokens(benchmark::State& state) {
  const std::vector<std::string>& tokens = Tokens();
  for (auto _ : state) {
    for (const std::string& token : tokens) {
      char* end = nullptr;
      double value = std::strtod(token.c_str(), &end);
      benchmark::DoNotOptimize(value);
      benchmark::DoNotOptimize(end);
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(tokens.size()));
}
BENCHMARK(StrtodTokens);

void FromCharsTokens(benchmark::State& state) {
  const std::vector<std::string>& tokens = Tokens();
  for (auto _ : state) {
    for (const std::string& token : tokens) {
      double value = 0;
      std::from_chars_result result =
          std::from_chars(token.data(), token.data() + token.size(), value);
      benchmark::DoNotOptimize(value);
      benchmark::DoNotOptimize(result);
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(tokens.size()));
}
BENCHMARK(FromCharsTokens);

}  // namespace
}  // namespace traverse::bench
