#include "platform/security/Crypto.h"

#include <gtest/gtest.h>

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

}  // namespace
