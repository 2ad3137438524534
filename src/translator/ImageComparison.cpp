#include "translator/ImageComparison.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "translator/ImageCodes.h"

namespace lumivane {

namespace {

struct Image {
  const std::uint8_t* bytes;
  std::size_t length;
};

// Where the codes that start at `at` end: at the next end mark, the
// arguments of DELAY, WAITACK and REPORT and the ports of OUT skipped (they
// may hold the end mark's value).
std::size_t CodesEnd(const Image& image, std::size_t at) {
  while (at < image.length) {
    switch (image.bytes[at]) {
      case kCodeEndOfKey: return at;
      case kCodeDelay:
      case kCodeWaitAck:
      case kCodeReport: at += 3; break;
      case kCodeOut:
        for (++at; at < image.length && image.bytes[at] != 0x00; ++at) {
        }
        ++at;
        break;
      default: ++at; break;
    }
  }
  return image.length;
}

// The codes of key `key`; nothing when the key has none.
std::optional<std::vector<std::uint8_t>> KeyCodes(const Image& image, std::size_t key) {
  const std::size_t at = 2 * key + 1;
  if (at + 1 >= image.length || image.bytes[at] == 0) return std::nullopt;
  const std::size_t offset = static_cast<std::size_t>(image.bytes[at] << 8 | image.bytes[at + 1]);
  // Points outside: stands apart from any real data.
  if (offset >= image.length) return std::vector<std::uint8_t>{0xFF, 0xFF};
  return std::vector<std::uint8_t>(image.bytes + offset, image.bytes + CodesEnd(image, offset));
}

// The codes between the key table and the first end mark.
std::vector<std::uint8_t> LeadingCodes(const Image& image, std::size_t tableEnd) {
  if (tableEnd >= image.length) return {};
  return std::vector<std::uint8_t>(image.bytes + tableEnd, image.bytes + CodesEnd(image, tableEnd));
}

unsigned Word(const Image& image, std::size_t at) {
  return at + 1 < image.length ? static_cast<unsigned>(image.bytes[at] << 8 | image.bytes[at + 1]) : 0;
}

std::string KeyList(const char* heading, const std::vector<std::size_t>& keys) {
  std::string line = heading;
  for (std::size_t i = 0; i < keys.size(); ++i) line += (i == 0 ? " " : ", ") + std::to_string(keys[i]);
  return line;
}

}  // namespace

std::vector<std::string> DescribeHeaderDifferences(const std::uint8_t* expected, std::size_t expectedLength,
                                                   const std::uint8_t* found, std::size_t foundLength) {
  const Image source{expected, expectedLength};
  const Image keypad{found, foundLength};
  std::vector<std::string> lines;
  char text[160];
  if (source.length > 0 && keypad.length > 0 && source.bytes[0] != keypad.bytes[0]) {
    std::snprintf(text, sizeof text, "Header byte 0: 0x%02X in the source, 0x%02X on the Quintrel",
                  source.bytes[0], keypad.bytes[0]);
    lines.push_back(text);
  }
  if (Word(source, 1) != Word(keypad, 1)) {
    std::snprintf(text, sizeof text, "Header delay: %u in the source, %u on the Quintrel", Word(source, 1),
                  Word(keypad, 1));
    lines.push_back(text);
  }
  if (source.length != keypad.length) {
    const long difference = static_cast<long>(keypad.length) - static_cast<long>(source.length);
    std::snprintf(text, sizeof text, "Length: %zu bytes in the source, %zu on the Quintrel (%+ld)",
                  source.length, keypad.length, difference);
    lines.push_back(text);
  }
  return lines;
}

std::vector<std::string> DescribeImageDifferences(const std::uint8_t* expected, std::size_t expectedLength,
                                                  const std::uint8_t* found, std::size_t foundLength,
                                                  int tableEnd) {
  const Image source{expected, expectedLength};
  const Image keypad{found, foundLength};
  if (expectedLength == foundLength && std::equal(expected, expected + expectedLength, found)) return {};

  std::vector<std::string> lines = DescribeHeaderDifferences(expected, expectedLength, found, foundLength);
  const std::size_t table = static_cast<std::size_t>(tableEnd);
  if (LeadingCodes(source, table) != LeadingCodes(keypad, table))
    lines.push_back("The codes ahead of the first key differ");

  std::vector<std::size_t> differing, onlySource, onlyKeypad;
  for (std::size_t key = 1; 2 * key + 2 < table; ++key) {
    const std::optional<std::vector<std::uint8_t>> inSource = KeyCodes(source, key);
    const std::optional<std::vector<std::uint8_t>> onKeypad = KeyCodes(keypad, key);
    if (inSource && !onKeypad) {
      onlySource.push_back(key);
    } else if (onKeypad && !inSource) {
      onlyKeypad.push_back(key);
    } else if (inSource != onKeypad) {
      differing.push_back(key);
    }
  }
  if (!differing.empty()) lines.push_back(KeyList("Keys whose data differ:", differing));
  if (!onlySource.empty()) lines.push_back(KeyList("Keys defined only in the source:", onlySource));
  if (!onlyKeypad.empty()) lines.push_back(KeyList("Keys defined only on the Quintrel:", onlyKeypad));
  if (lines.empty()) lines.push_back("The key table places the same data elsewhere");
  return lines;
}

}  // namespace lumivane
