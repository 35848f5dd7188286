#include "crashes/TelemetryCrashes/Internals/LogBuffer/TLMCrashesLogBuffer.h"
#include "platform/foundation/TemporaryFolder.h"
#include "tests/support/RunProgram.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::string fileText(const fs::path& path) { return testsupport::ReadWholeFile(path.string()); }

}  // namespace

TEST(CrashesLogBuffer, TheOldestSlotIsReplacedAndNoStaleTokenGoesWithItsNewLog) {
    platform::TemporaryFolder folder("logbuffer");
    ASSERT_TRUE(TLMCrashesLogBuffer::setup(folder.path()));
    for (int i = 0; i < 60; ++i) {
        const auto stored = TLMCrashesLogBuffer::store(bytes("log" + std::to_string(i)), "token" + std::to_string(i),
                                                       "id" + std::to_string(i), 100.0 + (i == 7 ? -50 : i));
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->index, static_cast<std::size_t>(i));
        EXPECT_FALSE(stored->overwrote);
    }
    // The 61st replaces the one buffered earliest (slot 7), without a token.
    const auto replaced = TLMCrashesLogBuffer::store(bytes("log60"), "", "id60", 200.0);
    ASSERT_TRUE(replaced);
    EXPECT_EQ(replaced->index, 7u);
    EXPECT_TRUE(replaced->overwrote);

    // A log is freed once stored; its slot writes an empty file.
    EXPECT_EQ(TLMCrashesLogBuffer::free("id3"), std::vector<std::size_t>{3});
    EXPECT_TRUE(TLMCrashesLogBuffer::free("unknown").empty());
    EXPECT_EQ(TLMCrashesLogBuffer::usedSlots(), 59u);

    // A token file left by an earlier crash for slot 7.
    testsupport::WriteWholeFile(TLMCrashesLogBuffer::tokenPath(7).string(), "stale token");
    TLMCrashesLogBuffer::saveAtCrash();
    EXPECT_TRUE(TLMCrashesLogBuffer::savedAtCrash());
    EXPECT_EQ(fileText(folder.path() / "0.tlcrasheslogbuffer"), "log0");
    EXPECT_EQ(fileText(folder.path() / "0.targettoken"), "token0");
    EXPECT_EQ(fileText(folder.path() / "59.tlcrasheslogbuffer"), "log59");
    EXPECT_EQ(fileText(folder.path() / "7.tlcrasheslogbuffer"), "log60");
    EXPECT_EQ(fileText(folder.path() / "7.targettoken"), "");
    EXPECT_EQ(fileText(folder.path() / "3.tlcrasheslogbuffer"), "");
    EXPECT_FALSE(fs::exists(folder.path() / "3.targettoken"));
}

TEST(CrashesLogBuffer, ALargeLogIsWrittenWholeAndOneOverTheSlotIsNotBuffered) {
    platform::TemporaryFolder folder("logbuffer");
    ASSERT_TRUE(TLMCrashesLogBuffer::setup(folder.path()));
    std::vector<std::uint8_t> large(TLMCrashesLogBuffer::kLogCapacity);
    for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<std::uint8_t>(i * 31 + 7);
    ASSERT_TRUE(TLMCrashesLogBuffer::store(large, "", "big", 1.0));
    large.push_back(0);
    EXPECT_FALSE(TLMCrashesLogBuffer::store(large, "", "bigger", 2.0));
    large.pop_back();
    TLMCrashesLogBuffer::saveAtCrash();
    const std::string written = fileText(folder.path() / "0.tlcrasheslogbuffer");
    EXPECT_EQ(std::vector<std::uint8_t>(written.begin(), written.end()), large);
    EXPECT_EQ(fileText(folder.path() / "1.tlcrasheslogbuffer"), "");
}
