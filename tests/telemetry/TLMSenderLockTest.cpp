// The sender lock over whatever a home may hold in the lock file's place.

#include "telemetry/Internals/Channel/TLMSenderLock.h"

#include "platform/dispatch/Clock.h"
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
        TLMSenderLock first(file, true);
        TLMSenderLock second(file, false);
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
        auto clock = std::make_shared<platform::VirtualClock>();
        platform::ScopedClock scopedClock(clock);
        TLMSenderLock holder(file, true);
        TLMSenderLock storer(file, true);  // on the old file, as the holder was
        ASSERT_TRUE(holder.mayLoad());
        ASSERT_FALSE(storer.holdOrTake());
        c.change();
        TLMSenderLock launch(file, false);
        if (c.holderLooksFirst) {
            // It was the only one loading: it goes on at once.
            EXPECT_TRUE(holder.mayLoad());
            EXPECT_FALSE(launch.holdOrTake());
            EXPECT_TRUE(launch.heldByAnother());
        } else {
            // The holder loads nothing more, the launch nothing before the
            // holder has looked and its batches out were answered.
            ASSERT_TRUE(launch.holdOrTake());
            EXPECT_FALSE(launch.mayLoad());
            EXPECT_FALSE(holder.mayLoad());
            EXPECT_TRUE(holder.heldByAnother());
            EXPECT_FALSE(launch.othersStoredSinceLastLook());
            clock->advance(TLMSenderLock::kNewFileWait);
            EXPECT_TRUE(launch.mayLoad());
            // The first look: what the old holder stored and did not send
            // is the new one's.
            EXPECT_TRUE(launch.othersStoredSinceLastLook());
        }
        // Once: the old holder gives up what waits for a retry.
        EXPECT_EQ(holder.takeLostToAnother(), !c.holderLooksFirst);
        EXPECT_FALSE(holder.takeLostToAnother());
        EXPECT_FALSE(storer.takeLostToAnother());
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

TEST(TLMSenderLock, AHolderLoadsFromANewLockFileOnlyOnceItsWaitIsOver) {
    const std::filesystem::path folder = testsupport::processRoot() / "sender-lock";
    const std::filesystem::path file = TLMSenderLock::pathFor(folder / "Logs.sqlite");
    const auto takeAndEnd = [&](bool newHome) {
        TLMSenderLock earlier(file, newHome);
        ASSERT_TRUE(earlier.mayLoad() == newHome);
    };
    const std::chrono::seconds wait = TLMSenderLock::kNewFileWait;
    struct Case {
        const char* name;
        bool newHome;
        std::function<void(platform::VirtualClock&)> before;
        bool waits;
    };
    const Case cases[] = {
        {"a new home", true, [](platform::VirtualClock&) {}, false},
        {"no lock file beside a database", false, [](platform::VirtualClock&) {}, true},
        {"a file a holder dated in the past", false, [&](platform::VirtualClock&) { takeAndEnd(true); }, false},
        {"a file whose holder ended in its wait", false, [&](platform::VirtualClock&) { takeAndEnd(false); }, true},
        // A start soon after: only what is left of the wait.
        {"a file made a wait ago", false,
         [&](platform::VirtualClock& clock) {
             takeAndEnd(false);
             clock.advance(wait);
         },
         false},
        {"a file with a mark only", false, [&](platform::VirtualClock&) { writeFile(file, std::string(16, 'm')); },
         true},
        // The clock set back: the wait, no more.
        {"a file dated far ahead", false,
         [&](platform::VirtualClock&) { writeFile(file, std::string(16, 'm') + std::string(7, '\xFF') + '\x7F'); },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        auto clock = std::make_shared<platform::VirtualClock>();
        platform::ScopedClock scopedClock(clock);
        c.before(*clock);
        {
            TLMSenderLock lock(file, c.newHome);
            ASSERT_TRUE(lock.holdOrTake());
            EXPECT_EQ(lock.mayLoad(), !c.waits);
            EXPECT_EQ(lock.othersStoredSinceLastLook(), !c.waits);
            EXPECT_EQ(lock.waitLeft(), c.waits ? std::optional<platform::Clock::Duration>(wait) : std::nullopt);
            clock->advance(wait - std::chrono::seconds(1));
            EXPECT_EQ(lock.mayLoad(), !c.waits);
            clock->advance(std::chrono::seconds(1));
            EXPECT_TRUE(lock.mayLoad());
            EXPECT_EQ(lock.othersStoredSinceLastLook(), c.waits);  // its first look
            EXPECT_EQ(lock.waitLeft(), std::nullopt);
        }
        // Settled: the next holder loads at once.
        TLMSenderLock next(file, false);
        EXPECT_TRUE(next.mayLoad());
    }
}
