#pragma once
#include <string_view>

namespace lumivane::lsp {

// What completion and hover tell of a keyword tag.
struct KeywordTag {
  std::string_view name;
  std::string_view summary;   // one line
  std::string_view argument;  // the snippet placeholder of its number; empty when it takes none
  int imageBytes;             // what it adds to a key's data
};

// The keywords, and <KEY n>, which starts a key as a key number does.
inline constexpr KeywordTag kKeywordTags[] = {
    {"DELAY", "pauses n units", "20", 3},
    {"RDELAY", "pauses for the default delay of the header", "", 3},
    {"OUT", "sends n (1 to 255) to an output port; OUT tags in a row form one run, closed by a 0 byte", "1", 1},
    {"RE-", "begins the part of the key that repeats", "", 1},
    {"-PEAT", "ends the part of the key that repeats", "", 1},
    {"WAITACK", "waits for an acknowledgement, with n as its argument", "300", 3},
    {"REPORT", "sends report n", "16", 3},
    {"REM", "a comment, which produces nothing; it ends at the first '>'", "comment", 0},
    {"KEY", "starts the definition of key n, as <n> does", "1", 1},
};

inline const KeywordTag* FindKeywordTag(std::string_view name) {
  for (const KeywordTag& tag : kKeywordTags) {
    if (tag.name == name) return &tag;
  }
  return nullptr;
}

}  // namespace lumivane::lsp
