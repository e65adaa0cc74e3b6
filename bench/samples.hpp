// Fixed, seeded inputs for the benchmarks, so that every run and every
// machine measures the same values.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace traverse::bench {

inline constexpr std::size_t SampleCount = 4096;

// Coordinates of realistic magnitudes: log-uniform from 0.001 to 10^7, both
// signs, as the doubles a result line prints.
std::vector<double> SampleCoordinates();

// Number tokens as a surveyor types them: coordinates ("5432123.456"),
// angles ("219.0346"), lengths ("250.012"), small signed values ("-0.5") and
// the odd exponent form ("1e3", "2.5E2").
std::vector<std::string> SampleTokens();

}  // namespace traverse::bench
