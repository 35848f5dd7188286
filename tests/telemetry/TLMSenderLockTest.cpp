// The sender lock over whatever a home may hold in the lock file's place.

#include "telemetry/Internals/Channel/TLMSenderLock.h"

#include "platform/dispatch/Clock.h"
#include "tests/support/TempRoot.h"
#include "tests/telemetry/TLMLogCapture.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <string>

namespace {

void writeFile(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A lock file with a mark and the date from which a holder may load.
void writeDated(const std::filesystem::path& file, std::int64_t date) {
    std::string bytes(16, 'm');
    bytes.append(reinterpret_cast<const char*>(&date), sizeof date);
    writeFile(file, bytes);
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
    // Removed or replaced; then the holder looks first, or a new launch tries.
    for (const auto& [replaced, holderLooksFirst] :
         {std::pair{false, true}, {false, false}, {true, true}, {true, false}}) {
        SCOPED_TRACE(testing::Message() << "replaced " << replaced << ", holder first " << holderLooksFirst);
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        TLMLogCapture capture;
        auto clock = std::make_shared<platform::VirtualClock>();
        platform::ScopedClock scopedClock(clock);
        TLMSenderLock holder(file, true);
        TLMSenderLock storer(file, true);  // on the old file, as the holder was
        ASSERT_TRUE(holder.mayLoad());
        ASSERT_FALSE(storer.holdOrTake());
        std::filesystem::remove(file);
        if (replaced) writeFile(file, "");
        TLMSenderLock launch(file, false);
        if (holderLooksFirst) {
            EXPECT_TRUE(holder.mayLoad());  // the only one loading: at once
            EXPECT_FALSE(launch.holdOrTake());
            EXPECT_TRUE(launch.heldByAnother());
        } else {
            // Neither loads before the holder's look and its batches' answers.
            ASSERT_TRUE(launch.holdOrTake());
            EXPECT_FALSE(launch.mayLoad());
            EXPECT_FALSE(holder.mayLoad());
            EXPECT_TRUE(holder.heldByAnother());
            EXPECT_FALSE(launch.othersStoredSinceLastLook());
            clock->advance(TLMSenderLock::kNewFileWait);
            EXPECT_TRUE(launch.mayLoad());
            EXPECT_TRUE(launch.othersStoredSinceLastLook());  // what the old holder left unsent
        }
        // Once: the old holder gives up what waits for a retry.
        EXPECT_EQ(holder.takeLostToAnother(), !holderLooksFirst);
        EXPECT_FALSE(holder.takeLostToAnother());
        EXPECT_FALSE(storer.takeLostToAnother());
        // The old file is free now, but no longer the lock file.
        EXPECT_FALSE(storer.holdOrTake());
        TLMSenderLock& sender = holderLooksFirst ? holder : launch;
        EXPECT_TRUE(sender.othersStoredSinceLastLook());
        storer.markStored();
        EXPECT_TRUE(sender.othersStoredSinceLastLook());
        EXPECT_EQ((std::array{holder.isHeld(), launch.isHeld(), storer.isHeld()}),
                  (std::array{holderLooksFirst, !holderLooksFirst, false}));
        EXPECT_EQ(capture.linesAt(TLMLogLevelWarning).size(), 2u);  // the old holder's and the storer's
    }
}

TEST(TLMSenderLock, AHolderLoadsFromANewLockFileOnlyOnceItsWaitIsOver) {
    const std::filesystem::path folder = testsupport::processRoot() / "sender-lock";
    const std::filesystem::path file = TLMSenderLock::pathFor(folder / "Logs.sqlite");
    const std::chrono::seconds wait = TLMSenderLock::kNewFileWait;
    constexpr std::int64_t kEarliest = std::numeric_limits<std::int64_t>::min();
    constexpr std::int64_t kLatest = std::numeric_limits<std::int64_t>::max();
    const platform::Clock::Date beforeEpoch = platform::Clock::Date() - std::chrono::hours(24 * 365);
    std::shared_ptr<platform::VirtualClock> clock;
    const auto takeAndEnd = [&](bool newHome, std::chrono::seconds after = {}) {
        TLMSenderLock(file, newHome).mayLoad();
        clock->advance(after);
    };
    const struct {
        const char* name;
        bool newHome;
        std::function<void()> before;
        bool waits;
        platform::Clock::Date date = std::chrono::system_clock::now();
    } cases[] = {
        {"a new home", true, [] {}, false},
        {"no lock file beside a database", false, [] {}, true},
        {"a file a holder dated in the past", false, [&] { takeAndEnd(true); }, false},
        {"a file whose holder ended in its wait", false, [&] { takeAndEnd(false); }, true},
        // A start soon after: only what is left of the wait.
        {"a file made a wait ago", false, [&] { takeAndEnd(false, wait); }, false},
        {"a file with a mark only", false, [&] { writeFile(file, std::string(16, 'm')); }, true},
        // The clock set back: the wait, no more.
        {"a file dated far ahead", false,
         [&] { writeFile(file, std::string(16, 'm') + std::string(7, '\xFF') + '\x7F'); }, true},
        // Dates no subtraction from the clock's may reach.
        {"a file dated at the earliest", false, [&] { writeDated(file, kEarliest); }, false},
        {"a file dated at the latest, the clock before 1970", false, [&] { writeDated(file, kLatest); }, true,
         beforeEpoch},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        clock = std::make_shared<platform::VirtualClock>(c.date);
        platform::ScopedClock scopedClock(clock);
        c.before();
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
        // Settled: the next holder loads at once (a clock before the settled
        // date finds it ahead, and waits the wait).
        TLMSenderLock next(file, false);
        EXPECT_EQ(next.mayLoad(), c.date > platform::Clock::Date());
    }
}
