// The sender lock over whatever a home may hold in the lock file's place.

#include "telemetry/Internals/Channel/TLMSenderLock.h"

#include "tests/support/TempRoot.h"
#include "tests/telemetry/TLMLogCapture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>

namespace {

void writeFile(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::size_t aloneWarnings(TLMLogCapture& capture) {
    std::size_t count = 0;
    for (const TLMCapturedLine& line : capture.linesAt(TLMLogLevelWarning)) {
        if (line.message.find("as though no other process shared them") != std::string::npos) ++count;
    }
    return count;
}

}  // namespace

TEST(TLMSenderLock, OneHolderAtATimeAndEachMarkSeenOnceWhateverIsInTheFilesPlace) {
    const std::filesystem::path folder = testsupport::processRoot() / "sender-lock";
    const std::filesystem::path elsewhere = folder / "elsewhere";
    struct Case {
        const char* name;
        std::function<void(const std::filesystem::path&)> put;
        bool alone;  // no lock to be had: sends as though no other process did
    };
    const Case cases[] = {
        {"no file yet", [](const std::filesystem::path&) {}, false},
        {"a file shorter than a mark", [](const std::filesystem::path& file) { writeFile(file, "abc"); }, false},
        {"a file longer than a mark", [](const std::filesystem::path& file) { writeFile(file, std::string(100, 'x')); },
         false},
        {"a folder", [](const std::filesystem::path& file) { std::filesystem::create_directory(file); }, true},
        {"a symbolic link",
         [&](const std::filesystem::path& file) { std::filesystem::create_symlink(elsewhere, file); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        writeFile(elsewhere, "kept");
        const std::filesystem::path file = TLMSenderLock::pathFor(folder / "Logs.sqlite");
        c.put(file);
        TLMLogCapture capture;
        TLMSenderLock first(file);
        TLMSenderLock second(file);
        EXPECT_TRUE(first.holdOrTake());
        EXPECT_EQ(aloneWarnings(capture), c.alone ? 1u : 0u);
        EXPECT_EQ(second.holdOrTake(), c.alone);
        EXPECT_EQ(second.heldByAnother(), !c.alone);
        // The first look after taking counts as a mark; then only a new one.
        EXPECT_EQ(first.othersStoredSinceLastLook(), !c.alone);
        EXPECT_FALSE(first.othersStoredSinceLastLook());
        second.markStored();
        EXPECT_EQ(first.othersStoredSinceLastLook(), !c.alone);
        EXPECT_FALSE(first.othersStoredSinceLastLook());
        first.letGo();
        EXPECT_TRUE(second.holdOrTake());
        EXPECT_FALSE(second.heldByAnother());
        EXPECT_EQ(readFile(elsewhere), "kept");  // nothing written through a link
    }
}
