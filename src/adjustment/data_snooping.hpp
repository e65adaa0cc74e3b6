// Baarda's data snooping on a list of standardised residuals: the largest
// |w| above the critical value, and the others it cannot be told from.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

namespace traverse {

// Two-sided, 0.1 % for one observation.
inline constexpr double CriticalW = 3.29;

struct SuspectIndices {
  std::size_t largest = 0;
  std::vector<std::size_t> alternatives;  // |w| within 5 % of the largest
};

// The observation with the largest |w| when it exceeds CriticalW, with the
// others whose |w| lies within 5 % of it; none otherwise. An observation
// without w (no redundancy) is passed over.
std::optional<SuspectIndices> FindSuspectAmong(const std::vector<std::optional<double>>& w);

}  // namespace traverse
