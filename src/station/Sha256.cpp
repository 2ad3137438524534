#include "station/Sha256.h"

#include <nettle/sha2.h>

namespace lumivane {

std::string Sha256Hex(const std::uint8_t* bytes, std::size_t length) {
  sha256_ctx context;
  sha256_init(&context);
  sha256_update(&context, length, bytes);
  std::uint8_t digest[SHA256_DIGEST_SIZE];
  sha256_digest(&context, sizeof digest, digest);
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (const std::uint8_t byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

}  // namespace lumivane
