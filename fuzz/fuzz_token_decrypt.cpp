// A stored target token from untrusted bytes (a damaged or edited log
// database): decryption gives the plain token or none and never reads past
// the value; what it gives encrypts and decrypts back the same. The same
// bytes as Base64 text decrypt as the bytes do.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "fuzz/support/FuzzSupport.h"
#include "fuzz/support/TokenFuzzSupport.h"
#include "platform/foundation/TextEncoding.h"
#include "platform/security/Crypto.h"
#include "telemetry/core/Util/TLMEncrypter.h"

using fuzzsupport::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzsupport::InstallTokenKeys();
    TLMEncrypter encrypter;
    const std::span<const std::uint8_t> value(data, size);
    const std::optional<TLMEncrypter::Bytes> plain = encrypter.decryptData(value);
    if (plain) {
        const std::optional<TLMEncrypter::Bytes> again = encrypter.encryptData(*plain);
        Require(again.has_value(), "a decrypted token encrypts again");
        Require(encrypter.decryptData(*again) == plain, "a token encrypted again reads back the same");
    }
    const std::optional<std::string> text = encrypter.decryptString(platform::security::base64Encode(value));
    Require(text.has_value() == (plain && platform::isValidUtf8(std::string(plain->begin(), plain->end()))),
            "the Base64 text decrypts as its bytes do");
    return 0;
}
