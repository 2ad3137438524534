#pragma once
#include <string>
#include <vector>

namespace lumivane {

// ASCII letter-case helpers for settings values and list items.
std::string ToLowerAscii(const std::string& text);
bool EqualsIgnoringCase(const std::string& a, const std::string& b);
bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix);
// Stable sort without regard to letter case ("ANSI", "Arabic", "ASCII").
void SortIgnoringCase(std::vector<std::string>& items);
// Index of the first item that begins with prefix (letter case ignored), or -1.
int FindFirstWithPrefix(const std::vector<std::string>& items, const std::string& prefix);

}  // namespace lumivane
