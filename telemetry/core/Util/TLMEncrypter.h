#pragma once
// Encrypts transmission target tokens before they are stored and decrypts
// them when they are read back: AES-256-CBC with PKCS#7 padding and an
// HMAC-SHA256 over the cipher text. Two random 256-bit keys live in the
// keychain and take turns, each for 365 days; the key metadata in the
// telemetry user defaults ("EncryptionKeyMetadata": the current tag, "/",
// its expiry in ISO 8601) says which one encrypts.
//
// A value is the metadata text (key tag, algorithm, "CBC", "PKCS7", "32",
// joined by "/"), ":", a 16-byte vector, a 32-byte MAC and the cipher text.
// The cipher and MAC keys are the two halves of a 64-byte expansion of the
// key, and the MAC covers vector and cipher text. Values written by earlier
// releases stay readable: those whose MAC key is half of the cipher key and
// whose MAC covers the cipher text only ("AES/HmacSHA256"), those without a
// MAC ("AES"), and bare cipher text made with the key of
// "kTLEncryptionKeyTag" and a zero vector.
//
// Every failure (no key, no random bytes, a value that does not
// authenticate) gives none; nothing throws. Thread-safe.

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

class TLMEncrypter {
public:
    using Bytes = std::vector<std::uint8_t>;
    using Date = std::chrono::system_clock::time_point;
    enum class Operation { Encrypt, Decrypt };

    static constexpr const char* kKeyTag = "kTLEncryptionKeyTag";
    static constexpr const char* kKeyTagAlternate = "kTLEncryptionKeyTagAlternate";
    // The algorithm names of the metadata: the current layout, whose cipher
    // and MAC keys are independent, and the two earlier ones.
    static constexpr const char* kAlgorithm = "AES/HmacSHA256v2";
    static constexpr const char* kAlgorithmSplitKey = "AES/HmacSHA256";
    static constexpr const char* kAlgorithmWithoutMac = "AES";
    static constexpr std::chrono::seconds kKeyLifetime{31'536'000};

    TLMEncrypter() = default;

    // Base64 (no line breaks) of the encrypted UTF-8 bytes.
    std::optional<std::string> encryptString(const std::string& string);
    std::optional<Bytes> encryptData(std::span<const std::uint8_t> data);
    std::optional<std::string> decryptString(const std::string& string);
    std::optional<Bytes> decryptData(std::span<const std::uint8_t> data);

    // The tag to encrypt with, rotating to the other one when it expired.
    static std::string getCurrentKeyTag();
    // Makes `keyTag` current for 365 days; the keys stay as they are.
    static void rotateToNewKeyTag(const std::string& keyTag);
    // 32 random bytes stored under the tag; none when either step fails, so
    // a key that could not be kept never encrypts anything.
    static std::optional<Bytes> generateAndSaveKeyWithTag(const std::string& keyTag);
    static std::optional<Bytes> generateInitializationVector();
    // AES-256-CBC-PKCS#7 with a 32-byte key and a 16-byte vector (zeros
    // when none); none on failure.
    static std::optional<Bytes> performCryptoOperation(Operation operation, std::span<const std::uint8_t> input,
                                                       std::optional<std::span<const std::uint8_t>> iv,
                                                       std::span<const std::uint8_t> key);
    static Bytes getMetadataStringWithKeyTag(const std::string& keyTag, const std::string& encryptionAlgorithmName);
    static Bytes getMetadataStringWithKeyTag(const std::string& keyTag);
    // The first `outputSize` bytes of T(1) T(2) ..., T(0) empty and
    // T(i+1) = HMAC-SHA256(key, T(i) followed by the byte i). Throws
    // std::invalid_argument for an output size of 0.
    static Bytes getSubkey(std::span<const std::uint8_t> key, std::size_t outputSize);

    // Where the random bytes come from (0 or an errno-style failure code);
    // tests replace it, an empty function restores the system's. The time
    // is the platform clock's calendar date.
    static void setRandomSource(std::function<int(std::span<std::uint8_t>)> source);

private:
    // The key of the tag; made and stored when it is missing and `create`.
    std::optional<Bytes> getKeyWithKeyTag(const std::string& keyTag, bool create);
    std::optional<Bytes>* keyCopyForTag(const std::string& keyTag);

    std::mutex mKeysMutex;
    std::optional<Bytes> mOriginalKeyData;
    std::optional<Bytes> mAlternateKeyData;
};
