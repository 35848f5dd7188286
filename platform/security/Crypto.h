#pragma once
// Digests, message authentication and base64 through OpenSSL.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform::security {

using Bytes = std::vector<std::uint8_t>;
using Md5Digest = std::array<std::uint8_t, 16>;
using Sha256Digest = std::array<std::uint8_t, 32>;

std::span<const std::uint8_t> bytesOf(std::string_view text);

Sha256Digest hmacSha256(std::span<const std::uint8_t> key, std::span<const std::uint8_t> data);
Sha256Digest sha256(std::span<const std::uint8_t> data);
Md5Digest md5(std::span<const std::uint8_t> data);

// MD5 over data that arrives in pieces.
class Md5 {
public:
    Md5();
    ~Md5();
    Md5(const Md5&) = delete;
    Md5& operator=(const Md5&) = delete;
    void update(std::span<const std::uint8_t> data);
    // The digest; the object is spent afterwards.
    Md5Digest finish();

private:
    struct State;
    std::unique_ptr<State> mState;
};

// Standard base64 with padding, no line breaks.
std::string base64Encode(std::span<const std::uint8_t> data);
// Strict standard base64 (padding required, no blanks or line breaks);
// nullopt for anything else.
std::optional<Bytes> base64Decode(std::string_view text);

}  // namespace platform::security
