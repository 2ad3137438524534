#include "app/TextCase.h"

#include <algorithm>

namespace lumivane {
namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::string ToLowerAscii(const std::string& text) {
  std::string result = text;
  for (char& c : result) c = LowerAscii(c);
  return result;
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && StartsWithIgnoringCase(a, b);
}

bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix) {
  if (prefix.size() > text.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (LowerAscii(text[i]) != LowerAscii(prefix[i])) return false;
  }
  return true;
}

void SortIgnoringCase(std::vector<std::string>& items) {
  std::stable_sort(items.begin(), items.end(), [](const std::string& a, const std::string& b) {
    return ToLowerAscii(a) < ToLowerAscii(b);
  });
}

int FindFirstWithPrefix(const std::vector<std::string>& items, const std::string& prefix) {
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (StartsWithIgnoringCase(items[i], prefix)) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace lumivane
