#include "engine/services/Bundle.h"
#include "engine/services/Strings.h"
#include "engine/services/Uuid.h"

#include "platform/foundation/Bundle.h"

#include "tests/support/TempRoot.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>

namespace {

bool IsLowerHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

void ExpectUuidShape(const std::string& text) {
    ASSERT_EQ(text.size(), 36u) << text;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) EXPECT_EQ(text[i], '-') << text;
        else EXPECT_TRUE(IsLowerHex(text[i])) << text;
    }
    EXPECT_EQ(text[14], '4') << "version 4: " << text;
    EXPECT_NE(std::string("89ab").find(text[19]), std::string::npos) << "variant: " << text;
}

}  // namespace

TEST(ValueHelpers, UuidTextsAreVersionFourAndDistinct) {
    const std::string first = UUuid::NewUuidString();
    const std::string second = UUuid::NewUuidString();
    ExpectUuidShape(first);
    ExpectUuidShape(second);
    EXPECT_NE(first, second);
}

TEST(ValueHelpers, UuidFromManyThreadsNeverRepeats) {
    std::mutex mutex;
    std::set<std::string> seen;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                std::string text = UUuid::NewUuidString();
                std::lock_guard<std::mutex> lock(mutex);
                seen.insert(std::move(text));
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(seen.size(), 2000u);
    ExpectUuidShape(*seen.begin());
}

TEST(ValueHelpers, StringConversionToLegacyEncodings) {
    using UStrings::tEncoding;
    // ö is 0x9A and ß 0xA7 in Mac Roman.
    EXPECT_EQ(UStrings::CFStringToCString("Gr\u00F6\u00DFe", tEncoding::MacRoman), std::string("Gr\x9A\xA7"
                                                                                               "e"));
    EXPECT_EQ(UStrings::CFStringToCString("Gr\u00F6\u00DFe", tEncoding::UTF8), std::string("Gr\u00F6\u00DFe"));
    EXPECT_EQ(UStrings::CFStringToCString("", tEncoding::MacRoman), std::string());
    // Ł has no Mac Roman byte; broken UTF-8 is no text at all.
    EXPECT_EQ(UStrings::CFStringToCString("\u0141\u00F3d\u017A", tEncoding::MacRoman), std::nullopt);
    EXPECT_EQ(UStrings::CFStringToCString("bad \xFF byte", tEncoding::UTF8), std::nullopt);
    EXPECT_EQ(UStrings::CFStringToCString("bad \xFF byte", tEncoding::MacRoman), std::nullopt);

    // No length limit, and each result is the caller's own.
    const std::string longText(5000, 'x');
    const auto a = UStrings::CFStringToCString(longText, tEncoding::MacRoman);
    const auto b = UStrings::CFStringToCString("short", tEncoding::MacRoman);
    ASSERT_TRUE(a.has_value());
    EXPECT_EQ(*a, longText);
    EXPECT_EQ(b, std::string("short"));
}

TEST(ValueHelpers, BundleReadsTheInfoValues) {
    platform::Bundle* main = platform::Bundle::main();
    ASSERT_NE(main, nullptr);
    auto info = [&](const char* key) {
        const auto value = main->infoValue(key);
        return value && value->asString() ? *value->asString() : std::string();
    };
    ASSERT_FALSE(info("CFBundleName").empty());
    EXPECT_EQ(CBundle::Instance().GetBundleName(), info("CFBundleName"));
    EXPECT_EQ(CBundle::Instance().GetIdentifier(), info("CFBundleIdentifier"));
    EXPECT_EQ(CBundle::Instance().GetVersion(), info("CFBundleVersion"));
    EXPECT_EQ(&CBundle::Instance(), &CBundle::Instance());
}

// Runs in a fresh process, so the main bundle is found anew in the folder
// set up here: a number as version, and no name among the info values.
TEST(ValueHelpers, BundleVersionThatIsNoStringGivesQuestionMark) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::filesystem::path folder = testsupport::processRoot() / "OddBundle";
    std::filesystem::create_directories(folder);
    { std::ofstream(folder / "Info.json") << R"({"CFBundleVersion": 3, "CFBundleIdentifier": "org.example.odd"})"; }
    EXPECT_EXIT(
        {
            setenv("VEKMONT_RESOURCES", folder.c_str(), 1);
            const CBundle& bundle = CBundle::Instance();
            const bool ok = bundle.GetVersion() == "?" && bundle.GetIdentifier() == "org.example.odd" &&
                            bundle.GetBundleName() == "OddBundle";
            std::exit(ok ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}
