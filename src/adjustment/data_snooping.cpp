#include "adjustment/data_snooping.hpp"

#include <cmath>

namespace traverse {

std::optional<SuspectIndices> FindSuspectAmong(const std::vector<std::optional<double>>& w) {
  std::optional<std::size_t> largest;
  for (std::size_t i = 0; i < w.size(); ++i)
    if (w[i] && (!largest || std::fabs(*w[i]) > std::fabs(*w[*largest]))) largest = i;
  if (!largest || !(std::fabs(*w[*largest]) > CriticalW)) return std::nullopt;
  SuspectIndices suspect{*largest, {}};
  // Observations that the network checks alike (two angles at either end of
  // a short leg, say) have near-equal w; the largest alone would be a guess.
  for (std::size_t i = 0; i < w.size(); ++i)
    if (i != *largest && w[i] && std::fabs(*w[i]) >= 0.95 * std::fabs(*w[*largest]))
      suspect.alternatives.push_back(i);
  return suspect;
}

}  // namespace traverse
