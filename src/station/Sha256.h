#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace lumivane {

// The SHA-256 digest of the bytes as 64 lower-case hexadecimal digits: the
// name by which the station log tells images apart.
std::string Sha256Hex(const std::uint8_t* bytes, std::size_t length);

}  // namespace lumivane
