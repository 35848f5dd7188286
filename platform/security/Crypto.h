#pragma once
// Digests, message authentication, AES and base64 through OpenSSL; random
// bytes from the system.

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

// AES-256 in CBC mode with PKCS#7 padding. Encryption throws only when
// OpenSSL fails; decryption gives nullopt for input that is not a non-zero
// multiple of 16 bytes or whose padding is wrong.
Bytes aes256CbcEncrypt(std::span<const std::uint8_t, 32> key, std::span<const std::uint8_t, 16> iv,
                       std::span<const std::uint8_t> plain);
std::optional<Bytes> aes256CbcDecrypt(std::span<const std::uint8_t, 32> key, std::span<const std::uint8_t, 16> iv,
                                      std::span<const std::uint8_t> cipher);

// Fills `out` from the kernel's secure random source (getrandom); 0, or
// the errno of the failure.
int randomBytes(std::span<std::uint8_t> out);

// Equal bytes, compared in a time that depends on the lengths only (for
// checking message authentication codes).
bool constantTimeEqual(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b);

// Standard base64 with padding, no line breaks.
std::string base64Encode(std::span<const std::uint8_t> data);
// Strict standard base64 (padding required, no blanks or line breaks);
// nullopt for anything else.
std::optional<Bytes> base64Decode(std::string_view text);

}  // namespace platform::security
