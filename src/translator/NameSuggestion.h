#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace lumivane {

// Optimal-string-alignment distance (Damerau-Levenshtein where no substring
// is edited twice), comparing ASCII letters without regard to case. Stops
// counting above `limit` and returns limit + 1 then.
std::size_t EditDistance(std::string_view a, std::string_view b, std::size_t limit);

// The candidate nearest to `wanted`, when it is close enough to be what was
// meant: at most 1 edit for names of up to 4 characters, 2 above. Returns
// an empty string when none is close, or when two different candidates are
// equally near (a guess between them would mislead as often as it helps).
std::string NearestName(std::string_view wanted, const std::vector<std::string_view>& candidates);

}  // namespace lumivane
