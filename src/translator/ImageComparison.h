#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lumivane {

// Two download images side by side: the one a source gives (`expected`)
// and the one a keypad holds (`found`), both with their key tables as
// image offsets and the key table ending at tableEnd.
//
// Returns nothing when they are equal, else the differences, one line
// each: the header (delay), the length, the codes ahead of the first key,
// the keys whose data differ, the keys defined on one side only, and, when
// none of these tells, that the key table places the same data elsewhere.
std::vector<std::string> DescribeImageDifferences(const std::uint8_t* expected, std::size_t expectedLength,
                                                  const std::uint8_t* found, std::size_t foundLength,
                                                  int tableEnd);

// Only the lines of the header (its first byte, the delay) and of the
// length, for images whose key tables differ in size and so cannot be
// compared key by key.
std::vector<std::string> DescribeHeaderDifferences(const std::uint8_t* expected, std::size_t expectedLength,
                                                   const std::uint8_t* found, std::size_t foundLength);

}  // namespace lumivane
