#include "lsp/CodePage.h"

#include <iconv.h>

#include <algorithm>
#include <cstring>

#include "lsp/TextDocument.h"

namespace lumivane::lsp {

CodePage::CodePage(int number) : number_(number) {
  for (std::size_t byte = 0; byte < 256; ++byte) characters_[byte] = static_cast<char32_t>(byte);
  const iconv_t none = reinterpret_cast<iconv_t>(-1);
  iconv_t converter = ::iconv_open("UTF-32LE", ("WINDOWS-" + std::to_string(number)).c_str());
  if (converter == none) converter = ::iconv_open("UTF-32LE", ("CP" + std::to_string(number)).c_str());
  for (unsigned byte = 0x80; converter != none && byte < 256; ++byte) {
    char in = static_cast<char>(byte);
    unsigned char out[4] = {};
    char* inPointer = &in;
    char* outPointer = reinterpret_cast<char*>(out);
    std::size_t inLeft = 1, outLeft = sizeof out;
    // A byte the code page leaves undefined stands for the character of
    // its number, as Windows converts it, so that such a file round-trips.
    if (::iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft) != static_cast<std::size_t>(-1) &&
        outLeft == 0) {
      characters_[byte] = out[0] | (out[1] << 8) | (out[2] << 16) | (static_cast<char32_t>(out[3]) << 24);
    }
    ::iconv(converter, nullptr, nullptr, nullptr, nullptr);
  }
  if (converter != none) ::iconv_close(converter);
  for (unsigned byte = 0x80; byte < 256; ++byte) {
    bytesAbove127_.emplace_back(characters_[byte], static_cast<unsigned char>(byte));
  }
  std::sort(bytesAbove127_.begin(), bytesAbove127_.end());
}

int CodePage::ByteOf(char32_t character) const {
  if (character < 0x80) return static_cast<int>(character);
  const auto found = std::lower_bound(bytesAbove127_.begin(), bytesAbove127_.end(),
                                      std::make_pair(character, static_cast<unsigned char>(0)));
  return found != bytesAbove127_.end() && found->first == character ? found->second : -1;
}

int CodePageOfLayoutHeader(std::string_view firstBytes) {
  constexpr std::string_view kWords = "code page ";
  std::size_t line = 0;
  // Only the comment lines at the top ("# ..."), where the files name it.
  while (line + 1 < firstBytes.size() && firstBytes[line] == '#' && firstBytes[line + 1] == ' ') {
    const std::size_t end = std::min(firstBytes.find('\n', line), firstBytes.size());
    const std::string_view text = firstBytes.substr(line, end - line);
    const std::size_t at = text.find(kWords);
    if (at != std::string_view::npos) {
      int number = 0, digits = 0;
      for (std::size_t i = at + kWords.size(); i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 5;
           ++i, ++digits) {
        number = number * 10 + (text[i] - '0');
      }
      if (digits >= 3) return number;
    }
    line = end + 1;
  }
  return 1252;
}

EncodedText EncodeText(const std::string& utf8, const CodePage& codePage) {
  EncodedText encoded;
  encoded.textSize = utf8.size();
  encoded.bytes.reserve(utf8.size());
  std::uint32_t extra = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0x80) {
      encoded.bytes += static_cast<char>(lead);
      ++i;
      continue;
    }
    const auto [length, character] = DecodeUtf8(utf8, i);
    const int byte = codePage.ByteOf(character);
    if (byte < 0) encoded.missing.push_back({encoded.bytes.size(), character});
    if (length > 1) {
      extra += static_cast<std::uint32_t>(length - 1);
      encoded.wide.emplace_back(static_cast<std::uint32_t>(encoded.bytes.size()), extra);
    }
    encoded.bytes += static_cast<char>(byte < 0 ? '?' : byte);
    i += length;
  }
  return encoded;
}

std::size_t EncodedText::TextOffsetOf(std::size_t offset) const {
  if (offset >= bytes.size()) return textSize;
  // The wide characters before `offset` add their extra bytes.
  const auto after = std::lower_bound(wide.begin(), wide.end(), std::make_pair(static_cast<std::uint32_t>(offset), 0u));
  return offset + (after == wide.begin() ? 0 : std::prev(after)->second);
}

std::size_t EncodedText::ByteOffsetOf(std::size_t textOffset) const {
  if (textOffset >= textSize) return bytes.size();
  // The last character starting at or before textOffset.
  std::size_t low = 0, high = bytes.size();
  while (high - low > 1) {
    const std::size_t middle = (low + high) / 2;
    if (TextOffsetOf(middle) <= textOffset) low = middle; else high = middle;
  }
  return low;
}

}  // namespace lumivane::lsp
