#include "telemetry/core/Util/TLMEncrypter.h"

#include "platform/dispatch/Clock.h"
#include "platform/foundation/TextEncoding.h"
#include "platform/security/Crypto.h"
#include "telemetry/Internals/Util/TLMKeychainUtil.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/core/Util/TLMTelemetryUserDefaults.h"
#include "telemetry/core/Util/TLMUtility.h"

#include <algorithm>
#include <stdexcept>

namespace sec = platform::security;

namespace {

const char* const kMetadataKey = "EncryptionKeyMetadata";
constexpr std::size_t kKeySize = 32;
constexpr std::size_t kIvSize = 16;
constexpr std::size_t kMacSize = 32;
constexpr std::size_t kBlockSize = 16;

// Key metadata, the tag to encrypt with, and the making of a missing key:
// one lock for the process, as the keychain and the defaults are shared.
std::recursive_mutex& ProcessLock() {
    static std::recursive_mutex mutex;
    return mutex;
}

std::mutex gSourcesMutex;
std::function<int(std::span<std::uint8_t>)> gRandomSource;

TLMEncrypter::Date Now() { return platform::Clock::shared()->now(); }

int FillRandom(std::span<std::uint8_t> bytes) {
    std::function<int(std::span<std::uint8_t>)> source;
    {
        std::lock_guard lock(gSourcesMutex);
        source = gRandomSource;
    }
    return source ? source(bytes) : sec::randomBytes(bytes);
}

bool IsKnownTag(const std::string& tag) {
    return tag == TLMEncrypter::kKeyTag || tag == TLMEncrypter::kKeyTagAlternate;
}

TLMEncrypter::Bytes Concat(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
    TLMEncrypter::Bytes out(a.begin(), a.end());
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

std::string Text(const TLMEncrypter::Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// The key stored under the tag, when it reads as one.
std::optional<TLMEncrypter::Bytes> ReadKey(const std::string& keyTag) {
    const std::optional<std::string> text = TLMKeychainUtil::stringForKey(keyTag, nullptr);
    if (!text) return std::nullopt;
    std::optional<TLMEncrypter::Bytes> key = sec::base64Decode(*text);
    if (!key || key->size() != kKeySize) {
        TLMLogError(kTLMLogTag, "The encryption key of %s in the keychain is damaged.", keyTag.c_str());
        return std::nullopt;
    }
    return key;
}

// How a stored value is laid out, told by its metadata.
enum class Layout { Bare, WithoutMac, SplitKey, Current };

struct ParsedValue {
    Layout layout = Layout::Bare;
    std::string keyTag = TLMEncrypter::kKeyTag;
    std::size_t bodyOffset = 0;  // just past the ":"
};

ParsedValue Parse(std::span<const std::uint8_t> data) {
    const auto colon = std::find(data.begin(), data.end(), std::uint8_t{':'});
    if (colon == data.end()) return {};
    const std::string metadata(data.begin(), colon);
    const std::size_t offset = static_cast<std::size_t>(colon - data.begin()) + 1;
    for (const char* tag : {TLMEncrypter::kKeyTag, TLMEncrypter::kKeyTagAlternate}) {
        const std::pair<const char*, Layout> layouts[] = {{TLMEncrypter::kAlgorithm, Layout::Current},
                                                          {TLMEncrypter::kAlgorithmSplitKey, Layout::SplitKey},
                                                          {TLMEncrypter::kAlgorithmWithoutMac, Layout::WithoutMac}};
        for (const auto& [algorithm, layout] : layouts) {
            if (metadata == Text(TLMEncrypter::getMetadataStringWithKeyTag(tag, algorithm))) {
                return {layout, tag, offset};
            }
        }
    }
    // The oldest values are bare cipher text, which may hold a ":" anywhere.
    return {};
}

}  // namespace

void TLMEncrypter::setRandomSource(std::function<int(std::span<std::uint8_t>)> source) {
    std::lock_guard lock(gSourcesMutex);
    gRandomSource = std::move(source);
}

std::optional<std::string> TLMEncrypter::encryptString(const std::string& string) {
    const std::optional<Bytes> encrypted = encryptData(sec::bytesOf(string));
    if (!encrypted) return std::nullopt;
    return sec::base64Encode(*encrypted);
}

std::optional<TLMEncrypter::Bytes> TLMEncrypter::encryptData(std::span<const std::uint8_t> data) {
    const std::string keyTag = getCurrentKeyTag();
    const std::optional<Bytes> key = getKeyWithKeyTag(keyTag, true);
    if (!key) return std::nullopt;
    const Bytes subkeys = getSubkey(*key, 2 * kKeySize);
    const std::span<const std::uint8_t> cipherKey(subkeys.data(), kKeySize);
    const std::span<const std::uint8_t> macKey(subkeys.data() + kKeySize, kKeySize);
    const std::optional<Bytes> iv = generateInitializationVector();
    if (!iv) return std::nullopt;
    const std::optional<Bytes> cipher = performCryptoOperation(Operation::Encrypt, data, *iv, cipherKey);
    if (!cipher) return std::nullopt;
    const sec::Sha256Digest mac = sec::hmacSha256(macKey, Concat(*iv, *cipher));

    Bytes value = getMetadataStringWithKeyTag(keyTag, kAlgorithm);
    value.push_back(':');
    value.insert(value.end(), iv->begin(), iv->end());
    value.insert(value.end(), mac.begin(), mac.end());
    value.insert(value.end(), cipher->begin(), cipher->end());
    return value;
}

std::optional<TLMEncrypter::Bytes> TLMEncrypter::decryptData(std::span<const std::uint8_t> data) {
    const ParsedValue parsed = Parse(data);
    const std::span<const std::uint8_t> body = data.subspan(parsed.bodyOffset);
    const std::size_t header = parsed.layout == Layout::Bare         ? 0
                               : parsed.layout == Layout::WithoutMac ? kIvSize
                                                                     : kIvSize + kMacSize;
    if (body.size() < header + kBlockSize || (body.size() - header) % kBlockSize != 0) {
        TLMLogError(kTLMLogTag, "The encrypted value is too short or its cipher text is not whole blocks.");
        return std::nullopt;
    }
    const std::optional<Bytes> key = getKeyWithKeyTag(parsed.keyTag, false);
    if (!key) {
        TLMLogError(kTLMLogTag, "There is no key of %s to decrypt with.", parsed.keyTag.c_str());
        return std::nullopt;
    }
    const std::span<const std::uint8_t> cipher = body.subspan(header);
    switch (parsed.layout) {
        case Layout::Bare: return performCryptoOperation(Operation::Decrypt, cipher, std::nullopt, *key);
        case Layout::WithoutMac: return performCryptoOperation(Operation::Decrypt, cipher, body.first(kIvSize), *key);
        case Layout::SplitKey:
        case Layout::Current: {
            // Earlier releases keyed the MAC with the first half of the cipher
            // key and left the vector out of it.
            const bool current = parsed.layout == Layout::Current;
            const Bytes subkeys = getSubkey(*key, current ? 2 * kKeySize : kKeySize);
            const std::span<const std::uint8_t> macKey = current
                                                             ? std::span<const std::uint8_t>(subkeys).subspan(kKeySize)
                                                             : std::span<const std::uint8_t>(subkeys).first(16);
            const sec::Sha256Digest mac = current ? sec::hmacSha256(macKey, Concat(body.first(kIvSize), cipher))
                                                  : sec::hmacSha256(macKey, cipher);
            if (!sec::constantTimeEqual(mac, body.subspan(kIvSize, kMacSize))) {
                TLMLogError(kTLMLogTag, "Could not authenticate MAC value.");
                return std::nullopt;
            }
            return performCryptoOperation(Operation::Decrypt, cipher, body.first(kIvSize),
                                          std::span<const std::uint8_t>(subkeys).first(kKeySize));
        }
    }
    return std::nullopt;
}

std::optional<std::string> TLMEncrypter::decryptString(const std::string& string) {
    const std::optional<Bytes> data = sec::base64Decode(string);
    if (!data) {
        TLMLogWarning(kTLMLogTag, "Conversion of encrypted string to data failed.");
        return std::nullopt;
    }
    const std::optional<Bytes> decrypted = decryptData(*data);
    if (!decrypted) return std::nullopt;
    std::string text = Text(*decrypted);
    if (!platform::isValidUtf8(text)) {
        TLMLogWarning(kTLMLogTag, "Converting decrypted data to a string failed.");
        return std::nullopt;
    }
    return text;
}

std::string TLMEncrypter::getCurrentKeyTag() {
    std::lock_guard lock(ProcessLock());
    const std::optional<platform::Value> metadata = TLMTelemetryUserDefaults::shared().objectForKey(kMetadataKey);
    const std::string* text = metadata ? metadata->asString() : nullptr;
    if (text == nullptr) {
        rotateToNewKeyTag(kKeyTagAlternate);
        return kKeyTagAlternate;
    }
    const std::size_t slash = text->find('/');
    const std::string keyTag = text->substr(0, slash);
    if (slash != std::string::npos && IsKnownTag(keyTag)) {
        const std::optional<Date> expiry = TLMUtility::dateFromISO8601(text->substr(slash + 1));
        if (expiry && *expiry >= Now()) return keyTag;
    }
    const std::string newKeyTag = keyTag == kKeyTag ? kKeyTagAlternate : kKeyTag;
    rotateToNewKeyTag(newKeyTag);
    return newKeyTag;
}

void TLMEncrypter::rotateToNewKeyTag(const std::string& keyTag) {
    std::lock_guard lock(ProcessLock());
    const std::string expiry = TLMUtility::dateToISO8601(Now() + kKeyLifetime);
    TLMTelemetryUserDefaults::shared().setObject(platform::Value(keyTag + "/" + expiry), kMetadataKey);
}

std::optional<TLMEncrypter::Bytes> TLMEncrypter::generateAndSaveKeyWithTag(const std::string& keyTag) {
    Bytes key(kKeySize);
    const int status = FillRandom(key);
    if (status != 0) {
        TLMLogError(kTLMLogTag, "Error generating encryption key. Error code: %d", status);
        return std::nullopt;
    }
    if (!TLMKeychainUtil::storeString(sec::base64Encode(key), keyTag)) {
        // Values encrypted with it could not be read after a restart.
        TLMLogError(kTLMLogTag, "Could not keep the new encryption key of %s in the keychain.", keyTag.c_str());
        return std::nullopt;
    }
    return key;
}

std::optional<TLMEncrypter::Bytes> TLMEncrypter::generateInitializationVector() {
    Bytes iv(kIvSize);
    const int status = FillRandom(iv);
    if (status != 0) {
        TLMLogError(kTLMLogTag, "Error generating initialization vector. Error code: %d", status);
        return std::nullopt;
    }
    return iv;
}

std::optional<TLMEncrypter::Bytes> TLMEncrypter::performCryptoOperation(Operation operation,
                                                                        std::span<const std::uint8_t> input,
                                                                        std::optional<std::span<const std::uint8_t>> iv,
                                                                        std::span<const std::uint8_t> key) {
    static const std::uint8_t kZeroVector[kIvSize] = {};
    const std::span<const std::uint8_t> vector = iv ? *iv : std::span<const std::uint8_t>(kZeroVector);
    std::optional<Bytes> result;
    if (key.size() == kKeySize && vector.size() == kIvSize) {
        const std::span<const std::uint8_t, kKeySize> fixedKey(key.data(), kKeySize);
        const std::span<const std::uint8_t, kIvSize> fixedVector(vector.data(), kIvSize);
        try {
            result = operation == Operation::Encrypt ? sec::aes256CbcEncrypt(fixedKey, fixedVector, input)
                                                     : sec::aes256CbcDecrypt(fixedKey, fixedVector, input);
        } catch (const std::exception&) {
            result.reset();
        }
    }
    if (!result) TLMLogError(kTLMLogTag, "Error performing encryption or decryption.");
    return result;
}

TLMEncrypter::Bytes TLMEncrypter::getMetadataStringWithKeyTag(const std::string& keyTag,
                                                              const std::string& encryptionAlgorithmName) {
    const std::string text = keyTag + "/" + encryptionAlgorithmName + "/CBC/PKCS7/32";
    return Bytes(text.begin(), text.end());
}

TLMEncrypter::Bytes TLMEncrypter::getMetadataStringWithKeyTag(const std::string& keyTag) {
    return getMetadataStringWithKeyTag(keyTag, kAlgorithmWithoutMac);
}

TLMEncrypter::Bytes TLMEncrypter::getSubkey(std::span<const std::uint8_t> key, std::size_t outputSize) {
    if (outputSize < 1) {
        throw std::invalid_argument("Invalid output data length.: Output data length must be greater than zero.");
    }
    Bytes output;
    Bytes block;  // T(i)
    for (std::uint8_t i = 0; output.size() < outputSize; ++i) {
        block.push_back(i);
        const sec::Sha256Digest next = sec::hmacSha256(key, block);
        block.assign(next.begin(), next.end());
        output.insert(output.end(), block.begin(), block.end());
    }
    output.resize(outputSize);
    return output;
}

std::optional<TLMEncrypter::Bytes>* TLMEncrypter::keyCopyForTag(const std::string& keyTag) {
    if (keyTag == kKeyTag) return &mOriginalKeyData;
    if (keyTag == kKeyTagAlternate) return &mAlternateKeyData;
    return nullptr;
}

std::optional<TLMEncrypter::Bytes> TLMEncrypter::getKeyWithKeyTag(const std::string& keyTag, bool create) {
    std::optional<Bytes>* copy = keyCopyForTag(keyTag);
    if (copy == nullptr) return std::nullopt;
    {
        std::lock_guard lock(mKeysMutex);
        if (*copy) return *copy;
    }
    if (std::optional<Bytes> stored = ReadKey(keyTag)) return stored;
    if (!create) return std::nullopt;

    std::lock_guard processLock(ProcessLock());
    std::optional<Bytes> key = ReadKey(keyTag);
    if (!key) key = generateAndSaveKeyWithTag(keyTag);
    if (!key) return std::nullopt;
    std::lock_guard lock(mKeysMutex);
    *copy = key;
    return key;
}
