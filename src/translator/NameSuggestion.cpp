#include "translator/NameSuggestion.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>

namespace lumivane {

namespace {

char FoldCase(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameName(std::string_view a, std::string_view b) { return EditDistance(a, b, 0) == 0; }

// A lower bound of the edit distance from the letters alone: every letter
// of one word that the other lacks needs an edit of its own, since an edit
// removes at most one letter from a word and adds at most one. Letters
// share the 64 bits of a mask, which can only lower the bound. Far cheaper
// than the table, so most of a layout's names are ruled out before it.
std::uint64_t LetterMask(std::string_view word) {
  std::uint64_t mask = 0;
  for (const char c : word) mask |= std::uint64_t{1} << (static_cast<unsigned char>(FoldCase(c)) & 63);
  return mask;
}

std::size_t MissingLetterBound(std::uint64_t a, std::uint64_t b) {
  return static_cast<std::size_t>(std::max(std::popcount(a & ~b), std::popcount(b & ~a)));
}

}  // namespace

std::size_t EditDistance(std::string_view a, std::string_view b, std::size_t limit) {
  const std::size_t n = a.size();
  const std::size_t m = b.size();
  if ((n > m ? n - m : m - n) > limit) return limit + 1;
  // Three rows of the usual table: two rows back are needed for a
  // transposition. Tag names have at most 15 characters, so the rows
  // usually fit on the stack; an error path asks for many of these.
  constexpr std::size_t kShortRow = 32;
  std::array<std::size_t, 3 * kShortRow> rows;
  std::vector<std::size_t> longRows;
  std::size_t* storage = rows.data();
  if (m + 1 > kShortRow) {
    longRows.resize(3 * (m + 1));
    storage = longRows.data();
  }
  const std::size_t width = m + 1 > kShortRow ? m + 1 : kShortRow;
  std::size_t* before = storage;
  std::size_t* previous = storage + width;
  std::size_t* current = storage + 2 * width;
  for (std::size_t j = 0; j <= m; ++j) previous[j] = j;
  for (std::size_t i = 1; i <= n; ++i) {
    current[0] = i;
    std::size_t rowMinimum = current[0];
    for (std::size_t j = 1; j <= m; ++j) {
      const bool same = FoldCase(a[i - 1]) == FoldCase(b[j - 1]);
      std::size_t best = std::min(std::min(previous[j], current[j - 1]) + 1, previous[j - 1] + (same ? 0 : 1));
      if (i > 1 && j > 1 && FoldCase(a[i - 1]) == FoldCase(b[j - 2]) &&
          FoldCase(a[i - 2]) == FoldCase(b[j - 1])) {
        best = std::min(best, before[j - 2] + 1);
      }
      current[j] = best;
      rowMinimum = std::min(rowMinimum, best);
    }
    if (rowMinimum > limit) return limit + 1;
    std::swap(before, previous);
    std::swap(previous, current);
  }
  return std::min(previous[m], limit + 1);
}

std::string NearestName(std::string_view wanted, const std::vector<std::string_view>& candidates) {
  if (wanted.empty()) return {};
  const std::size_t threshold = wanted.size() <= 4 ? 1 : 2;
  std::size_t bestDistance = threshold + 1;
  std::string_view best;
  bool tied = false;
  const std::uint64_t wantedLetters = LetterMask(wanted);
  for (const std::string_view candidate : candidates) {
    const std::size_t lengthGap =
        wanted.size() > candidate.size() ? wanted.size() - candidate.size() : candidate.size() - wanted.size();
    if (lengthGap > bestDistance || MissingLetterBound(wantedLetters, LetterMask(candidate)) > bestDistance) {
      continue;
    }
    const std::size_t distance = EditDistance(wanted, candidate, threshold);
    if (distance > threshold || distance > bestDistance) continue;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = candidate;
      tied = false;
    } else if (!SameName(best, candidate)) {
      tied = true;
    }
  }
  if (bestDistance > threshold || tied) return {};
  return std::string(best);
}

}  // namespace lumivane
