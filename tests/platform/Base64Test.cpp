// The one base64 reader: what it refuses, and the two readings of the bits
// under the padding (the security helpers refuse them, stored values ignore
// them).

#include "platform/foundation/Base64.h"
#include "platform/foundation/Value.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using platform::base64Decode;
using platform::Base64LeftoverBits;
using Bytes = std::vector<std::uint8_t>;

}  // namespace

TEST(Base64, TheEmptyTextAndEveryPaddingReadTheSameInBothModes) {
    struct Case {
        const char* name;
        std::string text;
        Bytes bytes;
    };
    const Case cases[] = {
        {"empty", "", {}},
        {"two pads", "Zg==", {'f'}},
        {"one pad", "Zm8=", {'f', 'o'}},
        {"no pad", "Zm9v", {'f', 'o', 'o'}},
        {"two groups", "Zm9vYg==", {'f', 'o', 'o', 'b'}},
        {"plus and slash", "+/8=", {0xFB, 0xFF}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(base64Decode(c.text, Base64LeftoverBits::MustBeZero), c.bytes) << c.name;
        EXPECT_EQ(base64Decode(c.text, Base64LeftoverBits::Ignored), c.bytes) << c.name;
    }
}

TEST(Base64, BadPaddingBlanksAndCharactersOutsideTheAlphabetAreRefusedInBothModes) {
    const std::pair<const char*, std::string> cases[] = {
        {"missing padding", "Zg"},        {"short padding", "Zg="},
        {"too much padding", "Zg==="},    {"only padding", "===="},
        {"three pads", "Z==="},           {"padding in the middle", "Zg==Zm9v"},
        {"pad before data", "Z=g="},      {"data after a pad", "Zg=A"},
        {"line break", "Zm9v\nYmFy"},     {"trailing newline", "Zm9v\n"},
        {"blank", "Zm9v YmFy"},           {"leading blank", " Zm9v"},
        {"carriage return", "Zm9v\r\n"},  {"url-safe minus", "Zm-v"},
        {"url-safe underscore", "Zm_v"},  {"star", "Zm9*"},
        {"NUL", std::string("Zm9\0", 4)}, {"byte above ASCII", "Zm9\xc3"},
    };
    for (const auto& [name, text] : cases) {
        EXPECT_EQ(base64Decode(text, Base64LeftoverBits::MustBeZero), std::nullopt) << name;
        EXPECT_EQ(base64Decode(text, Base64LeftoverBits::Ignored), std::nullopt) << name;
    }
}

TEST(Base64, BitsUnderThePaddingAreRefusedOrIgnoredAsAsked) {
    EXPECT_EQ(base64Decode("Zh=="), std::nullopt) << "refused unless asked";
    EXPECT_EQ(base64Decode("Zm9=", Base64LeftoverBits::MustBeZero), std::nullopt);
    EXPECT_EQ(base64Decode("Zh==", Base64LeftoverBits::Ignored), (Bytes{'f'}));
    EXPECT_EQ(base64Decode("Zm9=", Base64LeftoverBits::Ignored), (Bytes{'f', 'o'}));

    // Stored values keep reading what they always read.
    const auto stored = platform::Value::fromStoredForm(R"({"$type": "data", "base64": "Zh=="})");
    ASSERT_TRUE(stored);
    ASSERT_NE(stored->asData(), nullptr);
    EXPECT_EQ(*stored->asData(), (Bytes{'f'}));
}
