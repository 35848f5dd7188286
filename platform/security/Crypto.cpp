#include "platform/security/Crypto.h"

#include "platform/foundation/Base64.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <stdexcept>

namespace platform::security {

namespace {

// Threads of the app may still hash or cipher while exit() runs. OpenSSL's
// own teardown at exit would free its state under them, so it is set up
// without it, before this file first uses it (the URL session's worker does
// the same for TLS).
void keepOpenSslUntilExit() {
    static const bool initialised = OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr) == 1;
    (void)initialised;
}

// OpenSSL fails here only when it is broken or out of memory.
[[noreturn]] void fail(const char* what) { throw std::runtime_error(std::string("OpenSSL: ") + what + " failed"); }

// A non-null pointer for empty input: OpenSSL reads a null key as "keep
// the previous key" rather than "the empty key".
const unsigned char* dataOf(std::span<const std::uint8_t> bytes) {
    static const unsigned char kEmpty = 0;
    return bytes.empty() ? &kEmpty : bytes.data();
}

template <std::size_t N>
std::array<std::uint8_t, N> digest(const EVP_MD* md, std::span<const std::uint8_t> data) {
    keepOpenSslUntilExit();
    std::array<std::uint8_t, N> out{};
    unsigned int length = 0;
    if (EVP_Digest(dataOf(data), data.size(), out.data(), &length, md, nullptr) != 1 || length != N) {
        fail("digest");
    }
    return out;
}

struct CipherDeleter {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

// One pass of AES-256-CBC with PKCS#7 padding; nullopt when the final block
// does not check out (only decryption can meet that).
std::optional<Bytes> aes256Cbc(bool encrypt, std::span<const std::uint8_t, 32> key,
                               std::span<const std::uint8_t, 16> iv, std::span<const std::uint8_t> input) {
    if (input.size() > static_cast<std::size_t>(INT_MAX) - 32) throw std::length_error("AES input too long");
    keepOpenSslUntilExit();
    std::unique_ptr<EVP_CIPHER_CTX, CipherDeleter> ctx(EVP_CIPHER_CTX_new());
    if (!ctx) fail("EVP_CIPHER_CTX_new");
    if (EVP_CipherInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, key.data(), iv.data(), encrypt ? 1 : 0) != 1) {
        fail("AES init");
    }
    Bytes out(input.size() + 16);
    int written = 0;
    if (EVP_CipherUpdate(ctx.get(), out.data(), &written, dataOf(input), static_cast<int>(input.size())) != 1) {
        fail("AES update");
    }
    int last = 0;
    if (EVP_CipherFinal_ex(ctx.get(), out.data() + written, &last) != 1) {
        if (encrypt) fail("AES final");
        return std::nullopt;
    }
    out.resize(static_cast<std::size_t>(written + last));
    return out;
}

struct MacDeleter {
    void operator()(EVP_MAC_CTX* ctx) const { EVP_MAC_CTX_free(ctx); }
};

EVP_MAC* hmacAlgorithm() {
    keepOpenSslUntilExit();
    // Fetched once; an EVP_MAC may be shared between threads.
    static EVP_MAC* mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    if (!mac) fail("fetching HMAC");
    return mac;
}

}  // namespace

std::span<const std::uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

Sha256Digest hmacSha256(std::span<const std::uint8_t> key, std::span<const std::uint8_t> data) {
    std::unique_ptr<EVP_MAC_CTX, MacDeleter> ctx(EVP_MAC_CTX_new(hmacAlgorithm()));
    if (!ctx) fail("EVP_MAC_CTX_new");
    char digestName[] = "SHA256";
    OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digestName, 0),
                           OSSL_PARAM_construct_end()};
    if (EVP_MAC_init(ctx.get(), dataOf(key), key.size(), params) != 1) fail("HMAC init");
    if (EVP_MAC_update(ctx.get(), dataOf(data), data.size()) != 1) fail("HMAC update");
    Sha256Digest out{};
    std::size_t length = 0;
    if (EVP_MAC_final(ctx.get(), out.data(), &length, out.size()) != 1 || length != out.size()) {
        fail("HMAC final");
    }
    return out;
}

Sha256Digest sha256(std::span<const std::uint8_t> data) { return digest<32>(EVP_sha256(), data); }

Md5Digest md5(std::span<const std::uint8_t> data) { return digest<16>(EVP_md5(), data); }

struct Md5::State {
    EVP_MD_CTX* ctx = nullptr;
    bool finished = false;
    ~State() { EVP_MD_CTX_free(ctx); }
};

Md5::Md5() : mState(std::make_unique<State>()) {
    keepOpenSslUntilExit();
    mState->ctx = EVP_MD_CTX_new();
    if (!mState->ctx || EVP_DigestInit_ex(mState->ctx, EVP_md5(), nullptr) != 1) fail("MD5 init");
}

Md5::~Md5() = default;

void Md5::update(std::span<const std::uint8_t> data) {
    if (mState->finished) throw std::logic_error("Md5::update after finish");
    if (data.empty()) return;
    if (EVP_DigestUpdate(mState->ctx, data.data(), data.size()) != 1) fail("MD5 update");
}

Md5Digest Md5::finish() {
    if (mState->finished) throw std::logic_error("Md5::finish called twice");
    mState->finished = true;
    Md5Digest out{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(mState->ctx, out.data(), &length) != 1 || length != out.size()) fail("MD5 final");
    return out;
}

Bytes aes256CbcEncrypt(std::span<const std::uint8_t, 32> key, std::span<const std::uint8_t, 16> iv,
                       std::span<const std::uint8_t> plain) {
    return *aes256Cbc(true, key, iv, plain);
}

std::optional<Bytes> aes256CbcDecrypt(std::span<const std::uint8_t, 32> key, std::span<const std::uint8_t, 16> iv,
                                      std::span<const std::uint8_t> cipher) {
    if (cipher.empty() || cipher.size() % 16 != 0) return std::nullopt;
    return aes256Cbc(false, key, iv, cipher);
}

int randomBytes(std::span<std::uint8_t> out) {
    std::size_t filled = 0;
    while (filled < out.size()) {
        const ssize_t n = getrandom(out.data() + filled, out.size() - filled, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        filled += static_cast<std::size_t>(n);
    }
    return 0;
}

bool constantTimeEqual(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
    return a.size() == b.size() && (a.empty() || CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0);
}

std::string base64Encode(std::span<const std::uint8_t> data) {
    if (data.empty()) return {};
    std::string out(4 * ((data.size() + 2) / 3) + 1, '\0');
    // EVP_EncodeBlock takes an int length; encode in pieces that fit (a
    // multiple of 3 so no padding appears in the middle).
    constexpr std::size_t kChunk = 3 * (1u << 28);
    std::size_t written = 0;
    for (std::size_t offset = 0; offset < data.size(); offset += kChunk) {
        std::size_t length = std::min(kChunk, data.size() - offset);
        int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data() + written), data.data() + offset,
                                static_cast<int>(length));
        if (n < 0) fail("base64 encode");
        written += static_cast<std::size_t>(n);
    }
    out.resize(written);
    return out;
}

std::optional<Bytes> base64Decode(std::string_view text) {
    return platform::base64Decode(text, platform::Base64LeftoverBits::MustBeZero);
}

}  // namespace platform::security
