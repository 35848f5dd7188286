#include "fuzz/support/TokenFuzzSupport.h"

#include "fuzz/support/FuzzSupport.h"
#include "platform/foundation/Paths.h"
#include "platform/security/Crypto.h"
#include "telemetry/Internals/Util/TLMKeychainUtil.h"
#include "telemetry/core/Util/TLMEncrypter.h"

#include <span>

namespace fuzzsupport {

namespace {

namespace sec = platform::security;
using Bytes = std::vector<std::uint8_t>;

Bytes KnownKey(std::uint8_t seed) {
    Bytes key(32);
    for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<std::uint8_t>(seed + 13 * i);
    return key;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Aes(const Bytes& key, const Bytes& iv, const std::string& plain) {
    return sec::aes256CbcEncrypt(std::span<const std::uint8_t, 32>(key.data(), 32),
                                 std::span<const std::uint8_t, 16>(iv.data(), 16), sec::bytesOf(plain));
}

}  // namespace

void InstallTokenKeys() {
    static const bool installed = [] {
        platform::Paths::setRoot(TemporaryRoot());
        Require(TLMKeychainUtil::storeString(sec::base64Encode(KnownKey(1)), TLMEncrypter::kKeyTag) &&
                    TLMKeychainUtil::storeString(sec::base64Encode(KnownKey(2)), TLMEncrypter::kKeyTagAlternate),
                "the known keys are stored");
        return true;
    }();
    (void)installed;
}

std::vector<std::pair<std::string, Bytes>> TokenSeeds() {
    InstallTokenKeys();
    std::vector<std::pair<std::string, Bytes>> seeds;
    TLMEncrypter encrypter;
    for (const char* tag : {TLMEncrypter::kKeyTag, TLMEncrypter::kKeyTagAlternate}) {
        TLMEncrypter::rotateToNewKeyTag(tag);
        const std::string name = std::string("current-") + tag;
        seeds.emplace_back(name + "-token.bin", *encrypter.encryptData(sec::bytesOf("0123456789abcdef-token")));
        seeds.emplace_back(name + "-empty.bin", *encrypter.encryptData({}));
    }
    const Bytes iv(16, 0x5A);
    const Bytes cipherKey = [] {
        const sec::Sha256Digest t1 = sec::hmacSha256(KnownKey(1), Bytes{0x00});
        return Bytes(t1.begin(), t1.end());
    }();
    const Bytes splitCipher = Aes(cipherKey, iv, "split-key-token");
    const sec::Sha256Digest splitMac = sec::hmacSha256(std::span(cipherKey).first(16), splitCipher);
    seeds.emplace_back(
        "split-key.bin",
        Concat({TLMEncrypter::getMetadataStringWithKeyTag(TLMEncrypter::kKeyTag, TLMEncrypter::kAlgorithmSplitKey),
                Text(":"), iv, Bytes(splitMac.begin(), splitMac.end()), splitCipher}));
    seeds.emplace_back("without-mac.bin",
                       Concat({TLMEncrypter::getMetadataStringWithKeyTag(TLMEncrypter::kKeyTagAlternate), Text(":"), iv,
                               Aes(KnownKey(2), iv, "no-mac-token")}));
    seeds.emplace_back("bare.bin", Aes(KnownKey(1), Bytes(16, 0), "bare-token"));
    return seeds;
}

}  // namespace fuzzsupport
