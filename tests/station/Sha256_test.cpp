#include "station/Sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace lumivane {
namespace {

struct Vector {
  std::string message;
  const char* digest;
};

class Sha256Test : public ::testing::TestWithParam<Vector> {};

// The standard's test vectors, and a length that spans two blocks.
TEST_P(Sha256Test, MatchesTheStandardVector) {
  const std::string& message = GetParam().message;
  EXPECT_EQ(GetParam().digest, Sha256Hex(reinterpret_cast<const std::uint8_t*>(message.data()), message.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, Sha256Test,
    ::testing::Values(
        Vector{"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        Vector{"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        Vector{"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
               "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        Vector{std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"}));

}  // namespace
}  // namespace lumivane
