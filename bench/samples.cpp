#include "samples.hpp"

#include <cmath>
#include <cstdint>
#include <random>

namespace traverse::bench {
namespace {

// One seed for every sample set; changing it changes every figure.
constexpr std::uint64_t Seed = 20240601;

// `digits` random decimal digits.
std::string RandomDigits(std::mt19937_64& random, int digits) {
  std::uniform_int_distribution<int> digit(0, 9);
  std::string text;
  for (int i = 0; i < digits; ++i) text += static_cast<char>('0' + digit(random));
  return text;
}

// An integer part of `digits` digits without a leading zero (one digit may be 0).
std::string RandomInteger(std::mt19937_64& random, int digits) {
  std::uniform_int_distribution<int> lead(1, 9);
  if (digits == 1) return RandomDigits(random, 1);
  return static_cast<char>('0' + lead(random)) + RandomDigits(random, digits - 1);
}

}  // namespace

std::vector<double> SampleCoordinates() {
  std::mt19937_64 random(Seed);
  std::uniform_real_distribution<double> decade(-3.0, 7.0);
  std::bernoulli_distribution negative(0.5);
  std::vector<double> values;
  values.reserve(SampleCount);
  for (std::size_t i = 0; i < SampleCount; ++i) {
    const double magnitude = std::pow(10.0, decade(random));
    values.push_back(negative(random) ? -magnitude : magnitude);
  }
  return values;
}

std::vector<std::string> SampleTokens() {
  std::mt19937_64 random(Seed + 1);
  std::uniform_int_distribution<int> kind(0, 99);
  std::uniform_int_distribution<int> coordinateDigits(4, 7);
  std::uniform_int_distribution<int> angleDigits(1, 3);
  std::uniform_int_distribution<int> lengthDigits(1, 3);
  std::uniform_int_distribution<int> smallDigits(1, 3);
  std::uniform_int_distribution<int> exponent(0, 4);
  std::bernoulli_distribution coin(0.5);
  std::vector<std::string> tokens;
  tokens.reserve(SampleCount);
  for (std::size_t i = 0; i < SampleCount; ++i) {
    const int k = kind(random);
    std::string token;
    if (k < 35) {  // a coordinate to the millimetre
      token = RandomInteger(random, coordinateDigits(random)) + "." + RandomDigits(random, 3);
    } else if (k < 65) {  // an angle in gon to the tenth of a milligon
      token = RandomInteger(random, angleDigits(random)) + "." + RandomDigits(random, 4);
    } else if (k < 85) {  // a leg length
      token = RandomInteger(random, lengthDigits(random)) + "." + RandomDigits(random, 3);
    } else if (k < 95) {  // a small signed value
      token = coin(random) ? "-0." : "+0.";
      token += RandomDigits(random, smallDigits(random));
    } else {  // the exponent form
      token = RandomInteger(random, 1);
      if (coin(random)) token += "." + RandomDigits(random, 1);
      token += coin(random) ? "e" : "E";
      token += std::to_string(exponent(random));
    }
    tokens.push_back(token);
  }
  return tokens;
}

}  // namespace traverse::bench
