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

TEST(TLMSenderLock, ALockFileRemovedOrReplacedIsLeftForTheFileInItsPlace) {
    const std::filesystem::path folder = testsupport::processRoot() / "sender-lock";
    const std::filesystem::path file = TLMSenderLock::pathFor(folder / "Logs.sqlite");
    struct Case {
        const char* name;
        std::function<void()> change;
        bool holderLooksFirst;  // else a new launch tries the lock first
    };
    const auto removed = [&] { std::filesystem::remove(file); };
    const auto replaced = [&] {
        writeFile(folder / "new", "");
        std::filesystem::rename(folder / "new", file);
    };
    const Case cases[] = {
        {"removed, the holder looks first", removed, true},
        {"removed, a new launch tries first", removed, false},
        {"replaced, the holder looks first", replaced, true},
        {"replaced, a new launch tries first", replaced, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        TLMLogCapture capture;
        TLMSenderLock holder(file);
        TLMSenderLock storer(file);  // on the old file, as the holder was
        ASSERT_TRUE(holder.holdOrTake());
        ASSERT_FALSE(storer.holdOrTake());
        c.change();
        TLMSenderLock launch(file);
        if (c.holderLooksFirst) {
            EXPECT_TRUE(holder.holdOrTake());
            EXPECT_FALSE(launch.holdOrTake());
            EXPECT_TRUE(launch.heldByAnother());
        } else {
            ASSERT_TRUE(launch.holdOrTake());
            EXPECT_TRUE(launch.othersStoredSinceLastLook());  // the first look
            EXPECT_FALSE(holder.holdOrTake());
            EXPECT_TRUE(holder.heldByAnother());
            // What the old holder stored and did not send is the new one's.
            EXPECT_TRUE(launch.othersStoredSinceLastLook());
        }
        TLMSenderLock& sender = c.holderLooksFirst ? holder : launch;
        EXPECT_TRUE(sender.isHeld());
        // The old file is free now, but no longer the lock file.
        EXPECT_FALSE(storer.holdOrTake());
        EXPECT_TRUE(sender.othersStoredSinceLastLook());
        storer.markStored();
        EXPECT_TRUE(sender.othersStoredSinceLastLook());
        EXPECT_EQ(holder.isHeld() + launch.isHeld() + storer.isHeld(), 1);
        EXPECT_EQ(capture.linesAt(TLMLogLevelWarning).size(), 2u);  // the old holder's and the storer's
    }
}
