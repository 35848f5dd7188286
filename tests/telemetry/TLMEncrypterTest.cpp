// Token encryption: key rotation on an injected date, the layouts earlier
// releases wrote (built here from their description with known keys),
// values that do not authenticate, and keys or random bytes that cannot be
// had.

#include "tests/telemetry/TLMLogCapture.h"

#include "platform/dispatch/Clock.h"
#include "platform/security/Crypto.h"
#include "platform/security/Keychain.h"
#include "telemetry/Internals/Util/TLMKeychainUtil.h"
#include "telemetry/core/Util/TLMEncrypter.h"
#include "telemetry/core/Util/TLMTelemetryUserDefaults.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

namespace sec = platform::security;
using Bytes = TLMEncrypter::Bytes;
using namespace std::chrono_literals;

namespace {

const std::string kTag = "kTLEncryptionKeyTag";
const std::string kAlternate = "kTLEncryptionKeyTagAlternate";

// 2024-01-01T00:00:00Z.
const TLMEncrypter::Date kStart{std::chrono::seconds(1'704'067'200)};

class TLMEncrypterTest : public testing::Test {
protected:
    void TearDown() override { TLMEncrypter::setRandomSource({}); }

    static std::string metadata() {
        const auto value = TLMTelemetryUserDefaults::shared().objectForKey("EncryptionKeyMetadata");
        return value && value->asString() ? *value->asString() : "";
    }

    std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>(kStart);
    platform::ScopedClock scopedClock{clock};
};

Bytes bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes hmac(const Bytes& key, const Bytes& data) {
    const sec::Sha256Digest digest = sec::hmacSha256(key, data);
    return Bytes(digest.begin(), digest.end());
}

Bytes aes(const Bytes& key, const Bytes& iv, const std::string& plain) {
    return sec::aes256CbcEncrypt(std::span<const std::uint8_t, 32>(key.data(), 32),
                                 std::span<const std::uint8_t, 16>(iv.data(), 16), sec::bytesOf(plain));
}

Bytes filled(std::size_t size, std::uint8_t first) {
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(first + 7 * i);
    return out;
}

}  // namespace

TEST_F(TLMEncrypterTest, KeysTakeTurnsEveryYear) {
    TLMEncrypter encrypter;
    const std::optional<std::string> first = encrypter.encryptString("target-token");
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(metadata(), kAlternate + "/2024-12-31T00:00:00.000Z");
    const std::optional<std::string> alternateKey = TLMKeychainUtil::stringForKey(kAlternate, nullptr);
    ASSERT_TRUE(alternateKey.has_value());
    EXPECT_EQ(alternateKey->size(), 44u);
    EXPECT_EQ(TLMKeychainUtil::stringForKey(kTag, nullptr), std::nullopt);
    const Bytes value = *sec::base64Decode(*first);
    const std::string head = kAlternate + "/AES/HmacSHA256v2/CBC/PKCS7/32:";
    EXPECT_EQ(std::string(value.begin(), value.begin() + head.size()), head);

    // Still current at the very instant it expires.
    clock->advance(365 * 24h);
    EXPECT_EQ(TLMEncrypter::getCurrentKeyTag(), kAlternate);

    clock->advance(1ms);
    const std::optional<std::string> second = TLMEncrypter().encryptString("target-token");
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(metadata(), kTag + "/2025-12-31T00:00:00.001Z");
    EXPECT_TRUE(TLMKeychainUtil::stringForKey(kTag, nullptr).has_value());

    clock->advance(365 * 24h + 1ms);
    EXPECT_EQ(TLMEncrypter::getCurrentKeyTag(), kAlternate);
    EXPECT_EQ(metadata(), kAlternate + "/2026-12-31T00:00:00.002Z");
    EXPECT_EQ(TLMKeychainUtil::stringForKey(kAlternate, nullptr), alternateKey);

    // Values of both keys read back, also in an encrypter of a later start.
    TLMEncrypter later;
    EXPECT_EQ(later.decryptString(*first), "target-token");
    EXPECT_EQ(later.decryptString(*second), "target-token");
    EXPECT_EQ(later.decryptString(*later.encryptString("")), "");
    // The empty string is one block of padding.
    EXPECT_EQ(sec::base64Decode(*later.encryptString(""))->size(), head.size() + 16 + 32 + 16);
}

TEST_F(TLMEncrypterTest, MetadataThatDoesNotReadCountsAsExpired) {
    TLMTelemetryUserDefaults::shared().setObject(platform::Value(kTag + "/next year"), "EncryptionKeyMetadata");
    EXPECT_EQ(TLMEncrypter::getCurrentKeyTag(), kAlternate);
    TLMTelemetryUserDefaults::shared().setObject(platform::Value(kAlternate), "EncryptionKeyMetadata");
    EXPECT_EQ(TLMEncrypter::getCurrentKeyTag(), kTag);
    TLMTelemetryUserDefaults::shared().setObject(platform::Value("kSomeOtherTag/2030-01-01T00:00:00.000Z"),
                                                 "EncryptionKeyMetadata");
    EXPECT_EQ(TLMEncrypter::getCurrentKeyTag(), kTag);
    EXPECT_EQ(metadata(), kTag + "/2024-12-31T00:00:00.000Z");
}

TEST_F(TLMEncrypterTest, DecryptsEveryLayoutEarlierReleasesWrote) {
    const Bytes key = filled(32, 11);
    const Bytes alternateKey = filled(32, 101);
    ASSERT_TRUE(TLMKeychainUtil::storeString(sec::base64Encode(key), kTag));
    ASSERT_TRUE(TLMKeychainUtil::storeString(sec::base64Encode(alternateKey), kAlternate));
    const Bytes iv = filled(16, 3);
    const Bytes zeros(16, 0);

    // Bare cipher text of the original key with a zero vector.
    const Bytes bare = aes(key, zeros, "bare-token");
    // Metadata with "AES", the vector, the cipher text of the key itself.
    const Bytes withoutMac =
        concat({bytes(kAlternate + "/AES/CBC/PKCS7/32:"), iv, aes(alternateKey, iv, "no-mac-token")});
    // "AES/HmacSHA256": cipher key T(1) = HMAC(key, 0x00), MAC key its first
    // 16 bytes, the MAC over the cipher text alone.
    const Bytes cipherKey = hmac(key, {0x00});
    const Bytes splitCipher = aes(cipherKey, iv, "split-key-token");
    const Bytes splitMac = hmac(Bytes(cipherKey.begin(), cipherKey.begin() + 16), splitCipher);
    const Bytes splitKey = concat({bytes(kTag + "/AES/HmacSHA256/CBC/PKCS7/32:"), iv, splitMac, splitCipher});
    // The current layout: MAC key T(2) = HMAC(key, T(1) 0x01), over vector
    // and cipher text.
    Bytes t1Counter = cipherKey;
    t1Counter.push_back(0x01);
    const Bytes macKey = hmac(key, t1Counter);
    const Bytes currentCipher = aes(cipherKey, iv, "current-token");
    const Bytes current = concat({bytes(kTag + "/AES/HmacSHA256v2/CBC/PKCS7/32:"), iv,
                                  hmac(macKey, concat({iv, currentCipher})), currentCipher});

    TLMEncrypter encrypter;
    EXPECT_EQ(encrypter.decryptData(bare), bytes("bare-token"));
    EXPECT_EQ(encrypter.decryptData(withoutMac), bytes("no-mac-token"));
    EXPECT_EQ(encrypter.decryptData(splitKey), bytes("split-key-token"));
    EXPECT_EQ(encrypter.decryptData(current), bytes("current-token"));
    EXPECT_EQ(encrypter.decryptString(sec::base64Encode(splitKey)), "split-key-token");

    // Bare cipher text may begin with ":" (empty text before it); it is
    // still bare cipher text.
    std::string plain;
    Bytes cipher;
    for (int i = 0; i < 10000 && (cipher.empty() || cipher[0] != ':'); ++i) {
        plain = "token-" + std::to_string(i);
        cipher = aes(key, zeros, plain);
    }
    ASSERT_EQ(cipher[0], ':');
    EXPECT_EQ(encrypter.decryptData(cipher), bytes(plain));
    // Reading never makes a key.
    EXPECT_TRUE(TLMKeychainUtil::deleteStringForKey(kAlternate).has_value());
    EXPECT_EQ(encrypter.decryptData(withoutMac), std::nullopt);
    EXPECT_EQ(TLMKeychainUtil::stringForKey(kAlternate, nullptr), std::nullopt);
}

TEST_F(TLMEncrypterTest, RefusesValuesThatDoNotAuthenticateOrAreCut) {
    TLMEncrypter encrypter;
    const Bytes value = *encrypter.encryptData(bytes("a target token of some length"));
    const std::size_t body = std::string(kAlternate + "/AES/HmacSHA256v2/CBC/PKCS7/32:").size();
    ASSERT_EQ(value.size(), body + 16 + 32 + 32);

    for (const std::size_t at : {body, body + 16, body + 47, body + 48, value.size() - 1}) {
        TLMLogCapture capture;
        Bytes tampered = value;
        tampered[at] ^= 0x01;
        EXPECT_EQ(encrypter.decryptData(tampered), std::nullopt) << "byte " << at;
        EXPECT_TRUE(capture.hasMessage(TLMLogLevelError, "Could not authenticate MAC value.")) << "byte " << at;
    }
    // The same with the earlier layout's MAC.
    const Bytes key = *sec::base64Decode(*TLMKeychainUtil::stringForKey(kAlternate, nullptr));
    const Bytes cipherKey = hmac(key, {0x00});
    const Bytes iv(16, 9);
    const Bytes cipher = aes(cipherKey, iv, "token");
    Bytes mac = hmac(Bytes(cipherKey.begin(), cipherKey.begin() + 16), cipher);
    mac[5] ^= 0x80;
    EXPECT_EQ(encrypter.decryptData(concat({bytes(kAlternate + "/AES/HmacSHA256/CBC/PKCS7/32:"), iv, mac, cipher})),
              std::nullopt);

    // Shorter than the layout, or cipher text that is not whole blocks.
    const std::size_t cuts[] = {body + 10, body + 48, body + 48 + 15, value.size() - 1};
    for (const std::size_t length : cuts) {
        EXPECT_EQ(encrypter.decryptData(std::span(value).first(length)), std::nullopt) << length;
    }
    EXPECT_EQ(encrypter.decryptData({}), std::nullopt);
    EXPECT_EQ(encrypter.decryptString("not base64!"), std::nullopt);
    EXPECT_EQ(encrypter.decryptData(value), bytes("a target token of some length"));
}

TEST_F(TLMEncrypterTest, AFailedRandomSourceFailsTheOperation) {
    int calls = 0;
    int failAt = 1;
    TLMEncrypter::setRandomSource([&](std::span<std::uint8_t> out) {
        if (++calls == failAt) return EIO;
        return sec::randomBytes(out);
    });
    {
        TLMLogCapture capture;
        EXPECT_EQ(TLMEncrypter().encryptString("token"), std::nullopt);
        EXPECT_TRUE(capture.hasMessage(TLMLogLevelError, "Error generating encryption key. Error code: 5"));
        EXPECT_EQ(TLMKeychainUtil::stringForKey(kAlternate, nullptr), std::nullopt);
    }
    calls = 0;
    failAt = 2;  // the key works, the vector does not
    {
        TLMLogCapture capture;
        EXPECT_EQ(TLMEncrypter().encryptString("token"), std::nullopt);
        EXPECT_TRUE(capture.hasMessage(TLMLogLevelError, "Error generating initialization vector. Error code: 5"));
    }
    failAt = 0;
    TLMEncrypter encrypter;
    EXPECT_EQ(encrypter.decryptString(*encrypter.encryptString("token")), "token");
}

TEST_F(TLMEncrypterTest, AKeyTheKeychainCouldNotKeepIsNeverUsed) {
    // A folder where the keychain file should be: nothing can be stored.
    const std::filesystem::path file = sec::Keychain::defaultFilePath();
    std::filesystem::create_directories(file);
    TLMEncrypter encrypter;
    {
        TLMLogCapture capture;
        EXPECT_EQ(encrypter.encryptString("token"), std::nullopt);
        EXPECT_TRUE(capture.hasMessage(TLMLogLevelError,
                                       "Could not keep the new encryption key of " + kAlternate + " in the keychain."));
    }
    std::filesystem::remove(file);

    // The same encrypter makes a key now, and a later start reads its values.
    const std::optional<std::string> value = encrypter.encryptString("token");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(TLMEncrypter().decryptString(*value), "token");
}

TEST(TLMEncrypter, SubkeysExpandBlockByBlock) {
    const Bytes key = filled(32, 1);
    const Bytes t1 = hmac(key, {0x00});
    Bytes t1Counter = t1;
    t1Counter.push_back(0x01);
    const Bytes t2 = hmac(key, t1Counter);
    EXPECT_EQ(TLMEncrypter::getSubkey(key, 16), Bytes(t1.begin(), t1.begin() + 16));
    EXPECT_EQ(TLMEncrypter::getSubkey(key, 40), concat({t1, Bytes(t2.begin(), t2.begin() + 8)}));
    EXPECT_THROW(TLMEncrypter::getSubkey(key, 0), std::invalid_argument);
}

TEST(TLMKeychainUtil, StoresReplacesReadsAndDeletesPerService) {
    TLMKeychainUtil::OSStatus status = 1;
    EXPECT_EQ(TLMKeychainUtil::stringForKey("name", &status), std::nullopt);
    EXPECT_EQ(status, TLMKeychainUtil::kStatusItemNotFound);

    EXPECT_TRUE(TLMKeychainUtil::storeString("first", "name"));
    EXPECT_TRUE(TLMKeychainUtil::storeString("second", "name"));
    EXPECT_EQ(TLMKeychainUtil::stringForKey("name", &status), "second");
    EXPECT_EQ(status, TLMKeychainUtil::kStatusSuccess);
    EXPECT_EQ(TLMKeychainUtil::defaultServiceName(), "com.vekmont.app.Telemetry");

    // Another service's item of the same name is its own.
    EXPECT_TRUE(TLMKeychainUtil::storeString("other", "name", "other.service"));
    EXPECT_EQ(TLMKeychainUtil::deleteStringForKey("name", "other.service"), "other");
    EXPECT_EQ(TLMKeychainUtil::stringForKey("name", "other.service", nullptr), std::nullopt);
    EXPECT_EQ(TLMKeychainUtil::stringForKey("name", nullptr), "second");
    EXPECT_EQ(TLMKeychainUtil::deleteStringForKey("name", "other.service"), std::nullopt);

    EXPECT_TRUE(TLMKeychainUtil::storeString("more", "another"));
    EXPECT_TRUE(TLMKeychainUtil::clear());
    EXPECT_EQ(TLMKeychainUtil::stringForKey("name", nullptr), std::nullopt);
    EXPECT_EQ(TLMKeychainUtil::stringForKey("another", nullptr), std::nullopt);
    EXPECT_FALSE(TLMKeychainUtil::clear());
}
