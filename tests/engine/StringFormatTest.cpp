#include "engine/services/StringFormat.h"

#include "platform/foundation/TextEncoding.h"

#include <gtest/gtest.h>

#include <string>

TEST(StringFormat, CutsAtTheLimitAndNeverInsideACharacter) {
    const std::string longText(5000, 'x');
    EXPECT_EQ(FormatString("%s", longText.c_str()), std::string(4095, 'x'));

    // A character that straddles the limit is dropped whole, for each width.
    for (const std::string ch : {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x9A\x82"}) {
        const std::string text = std::string(4094, 'a') + ch + "tail";
        const std::string cut = FormatString("%s", text.c_str());
        EXPECT_EQ(cut, std::string(4094, 'a')) << "character of " << ch.size() << " bytes";
        EXPECT_TRUE(platform::isValidUtf8(cut));
    }

    // A character that ends exactly at the limit is kept.
    const std::string fits = std::string(4093, 'a') + "\xC3\xA9";
    EXPECT_EQ(FormatString("%s", (fits + "z").c_str()), fits);

    EXPECT_EQ(FormatString("%d-%s", 42, "b"), "42-b");
}
