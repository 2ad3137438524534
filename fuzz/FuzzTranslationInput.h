// The input format that the translator's fuzz targets share: one flag byte
// (bit 0: 360 keys, bit 1: PC/AT link), then the source, then optionally the
// separator and the layout's bytes. Without a separator a small built-in
// layout is used.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace fuzzing {

struct TranslationInput {
  std::string_view source;
  std::string_view layout;
  std::string_view keysText;
  bool pcAtLink = false;
};

inline TranslationInput SplitInput(const std::uint8_t* data, std::size_t size) {
  constexpr std::string_view kSeparator("\0EMU\0", 5);
  constexpr std::string_view kBuiltInLayout =
      "a=28\nb=50\nc=33\nd=35\ne=36\nf=43\ng=52\nh=51\ni=67\nj=59\nk=66\nl=75\nm=58\nn=49\no=68\n"
      "p=77\nA=18,28\n1=22\n5=46\n =41\n==85\n>=18,73\nENTER=90\nTAB=13\nUP=224,117\nBIG=255,0,7\n";
  TranslationInput input;
  const std::uint8_t flags = data[0];
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::size_t split = rest.find(kSeparator);
  input.source = split == std::string_view::npos ? rest : rest.substr(0, split);
  input.layout = split == std::string_view::npos ? kBuiltInLayout : rest.substr(split + kSeparator.size());
  input.keysText = (flags & 1) ? "360" : "120";
  input.pcAtLink = (flags & 2) != 0;
  return input;
}

inline void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

}  // namespace fuzzing
