#include "platform/security/Crypto.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace sec = platform::security;

namespace {

template <std::size_t N>
std::string hex(const std::array<std::uint8_t, N>& digest) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (auto b : digest) {
        out += kHex[b >> 4];
        out += kHex[b & 0x0F];
    }
    return out;
}

std::vector<std::uint8_t> bytes(std::string_view text) { return {text.begin(), text.end()}; }

TEST(Crypto, HmacSha256PublishedVectors) {
    // RFC 4231, test cases 1 and 2.
    std::vector<std::uint8_t> key1(20, 0x0b);
    EXPECT_EQ(hex(sec::hmacSha256(key1, sec::bytesOf("Hi There"))),
              "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7");
    EXPECT_EQ(hex(sec::hmacSha256(sec::bytesOf("Jefe"), sec::bytesOf("what do ya want for nothing?"))),
              "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
    // An empty key is the empty key, not "no key" (HMAC-SHA256("", "") is a
    // well-known constant).
    EXPECT_EQ(hex(sec::hmacSha256({}, {})), "b613679a0814d9ec772f95d778c35fc5ff1697c493715653c6c712144292c5ad");
}

TEST(Crypto, DigestsPublishedVectors) {
    // RFC 1321 test suite.
    const std::pair<const char*, const char*> md5Cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    };
    for (const auto& [text, digest] : md5Cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(hex(sec::md5(sec::bytesOf(text))), digest);
    }
    // FIPS 180-2.
    EXPECT_EQ(hex(sec::sha256(sec::bytesOf("abc"))),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(hex(sec::sha256({})), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST(Crypto, IncrementalMd5OverSplitInput) {
    const std::string text = "message digest";
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        SCOPED_TRACE(cut);
        sec::Md5 md5;
        md5.update(sec::bytesOf(std::string_view(text).substr(0, cut)));
        md5.update({});
        md5.update(sec::bytesOf(std::string_view(text).substr(cut)));
        EXPECT_EQ(hex(md5.finish()), "f96b697d7cb7938d525a2f31aaf161d0");
    }

    // A million "a" in uneven pieces (the classic long MD5 vector).
    const std::vector<std::uint8_t> chunk(997, 'a');
    sec::Md5 million;
    std::size_t left = 1000000;
    while (left > 0) {
        std::size_t n = std::min(left, chunk.size());
        million.update(std::span(chunk.data(), n));
        left -= n;
    }
    EXPECT_EQ(hex(million.finish()), "7707d6ae4e027c70eea2a935c2296f21");

    // A spent digest says so instead of giving a wrong answer.
    EXPECT_THROW(million.finish(), std::logic_error);
    EXPECT_THROW(million.update(sec::bytesOf("a")), std::logic_error);
}

TEST(Crypto, Base64PublishedVectorsBothWays) {
    // RFC 4648 section 10.
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [plain, encoded] : cases) {
        SCOPED_TRACE(plain);
        EXPECT_EQ(sec::base64Encode(sec::bytesOf(plain)), encoded);
        EXPECT_EQ(sec::base64Decode(encoded), bytes(plain));
    }
    // The two characters beyond letters and digits, and every byte value.
    const std::vector<std::uint8_t> high{0xFB, 0xFF};
    EXPECT_EQ(sec::base64Encode(high), "+/8=");
    EXPECT_EQ(sec::base64Decode("+/8="), high);
    std::vector<std::uint8_t> all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<std::uint8_t>(i));
    EXPECT_EQ(sec::base64Decode(sec::base64Encode(all)), all);
}

TEST(Crypto, Base64DecoderIsStrict) {
    const std::pair<const char*, std::string> cases[] = {
        {"missing padding", "Zg"},
        {"short padding", "Zg="},
        {"too much padding", "Zg==="},
        {"only padding", "===="},
        {"three pads", "Z==="},
        {"padding in the middle", "Zg==Zm9v"},
        {"pad before data", "Z=g="},
        {"line break", "Zm9v\nYmFy"},
        {"trailing newline", "Zm9v\n"},
        {"blank", "Zm9v YmFy"},
        {"leading blank", " Zm9v"},
        {"url-safe minus", "Zm-v"},
        {"url-safe underscore", "Zm_v"},
        {"star", "Zm9*"},
        {"NUL", std::string("Zm9\0", 4)},
        {"byte above ASCII", "Zm9\xc3"},
        {"non-zero bits under two pads", "Zh=="},
        {"non-zero bits under one pad", "Zm9="},
    };
    for (const auto& [name, text] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(sec::base64Decode(text), std::nullopt);
    }
}

std::vector<std::uint8_t> unhex(std::string_view text) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
    }
    return out;
}

TEST(Crypto, Aes256CbcPublishedVectorWithPadding) {
    // NIST SP 800-38A, F.2.5 and F.2.6 (CBC-AES256): four blocks, then the
    // whole block of padding that PKCS#7 adds to a multiple of 16.
    const auto key = unhex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
    const auto iv = unhex("000102030405060708090a0b0c0d0e0f");
    const auto plain = unhex(
        "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
        "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
    const auto expected = unhex(
        "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
        "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b");
    const std::span<const std::uint8_t, 32> k(key.data(), 32);
    const std::span<const std::uint8_t, 16> v(iv.data(), 16);

    const sec::Bytes cipher = sec::aes256CbcEncrypt(k, v, plain);
    ASSERT_EQ(cipher.size(), 80u);
    EXPECT_EQ(sec::Bytes(cipher.begin(), cipher.begin() + 64), expected);
    EXPECT_EQ(sec::aes256CbcDecrypt(k, v, cipher), plain);
    EXPECT_EQ(sec::aes256CbcEncrypt(k, v, {}).size(), 16u);

    // Without its padding block the last byte reads 0x10, which the block
    // does not carry sixteen times: refused, as are lengths not a multiple
    // of 16 and nothing at all.
    EXPECT_EQ(sec::aes256CbcDecrypt(k, v, expected), std::nullopt);
    for (std::size_t length : {0u, 15u, 17u, 79u}) {
        EXPECT_EQ(sec::aes256CbcDecrypt(k, v, std::span(cipher).first(length)), std::nullopt) << length;
    }
}

TEST(Crypto, RandomBytesAndConstantTimeComparison) {
    sec::Bytes a(32), b(32);
    ASSERT_EQ(sec::randomBytes(a), 0);
    ASSERT_EQ(sec::randomBytes(b), 0);
    EXPECT_NE(a, b);
    EXPECT_EQ(sec::randomBytes({}), 0);

    sec::Bytes c = a;
    EXPECT_TRUE(sec::constantTimeEqual(a, c));
    c.back() ^= 1;
    EXPECT_FALSE(sec::constantTimeEqual(a, c));
    EXPECT_FALSE(sec::constantTimeEqual(a, std::span(a).first(31)));
    EXPECT_TRUE(sec::constantTimeEqual({}, {}));
}

// Runs last at exit: after any teardown that OpenSSL registered when the
// test first used it. Prints what a thread of the app would still compute.
void hashAndCipherAtExit() {
    const std::vector<std::uint8_t> key(32, 0x2a), iv(16, 0x07);
    const std::span<const std::uint8_t, 32> k(key.data(), 32);
    const std::span<const std::uint8_t, 16> v(iv.data(), 16);
    const auto plain = bytes("a token on its way");
    const bool roundTrip = sec::aes256CbcDecrypt(k, v, sec::aes256CbcEncrypt(k, v, plain)) == plain;
    const std::string line = "late sha256 " + hex(sec::sha256(sec::bytesOf("abc"))) + " hmac " +
                             hex(sec::hmacSha256(sec::bytesOf("Jefe"), sec::bytesOf("what do ya want for nothing?"))) +
                             " md5 " + hex(sec::md5(sec::bytesOf("abc"))) + (roundTrip ? " aes ok" : " aes lost");
    std::fprintf(stderr, "%s\n", line.c_str());
}

TEST(Crypto, DigestsAndCiphersStillWorkWhileTheProcessExits) {
    // A fresh process, where nothing used OpenSSL yet.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::atexit(hashAndCipherAtExit);
            (void)sec::sha256(sec::bytesOf("the first use"));
            std::exit(0);
        },
        ::testing::ExitedWithCode(0),
        "late sha256 ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad "
        "hmac 5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843 "
        "md5 900150983cd24fb0d6963f7d28e17f72 aes ok");
}

}  // namespace
