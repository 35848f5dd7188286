#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/Stream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

using platform::OutputStream;
using platform::RunLoop;
using platform::Stream;
using platform::StreamEvent;
using platform::StreamStatus;
using namespace std::chrono_literals;

namespace {

using Events = std::vector<StreamEvent>;

class Recorder : public platform::StreamDelegate {
public:
    void handleEvent(Stream& stream, StreamEvent event) override {
        std::lock_guard lock(mMutex);
        mEvents.push_back(event);
        mThreads.push_back(std::this_thread::get_id());
        mStreams.push_back(&stream);
    }
    Events events() const {
        std::lock_guard lock(mMutex);
        return mEvents;
    }
    std::vector<std::thread::id> threads() const {
        std::lock_guard lock(mMutex);
        return mThreads;
    }
    std::vector<Stream*> streams() const {
        std::lock_guard lock(mMutex);
        return mStreams;
    }

private:
    mutable std::mutex mMutex;
    Events mEvents;
    std::vector<std::thread::id> mThreads;
    std::vector<Stream*> mStreams;
};

long write(OutputStream& stream, std::string_view text) {
    return stream.write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

void drain(RunLoop& loop) { loop.runUntil(platform::Clock::shared()->instant()); }

}  // namespace

TEST(StreamEvents, OutputStreamsAnnounceOpenSpaceAndFailureOnTheirLoop) {
    const auto folder = platform::Paths::root();
    struct Case {
        const char* name;
        std::shared_ptr<OutputStream> stream;
    };
    Case cases[] = {
        {"memory", OutputStream::toMemory()},
        {"file", OutputStream::toFile(folder / "events.bin")},
    };
    auto loop = RunLoop::current();
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto recorder = std::make_shared<Recorder>();
        c.stream->setDelegate(recorder);
        c.stream->scheduleInRunLoop(loop);
        EXPECT_EQ(c.stream->scheduledRunLoop(), loop);

        c.stream->open();
        EXPECT_TRUE(recorder->events().empty()) << "events wait for the loop to run";
        drain(*loop);
        EXPECT_EQ(recorder->events(), (Events{StreamEvent::OpenCompleted, StreamEvent::HasSpaceAvailable}));

        EXPECT_EQ(write(*c.stream, "abc"), 3);
        EXPECT_EQ(write(*c.stream, ""), 0);  // took nothing: no event
        drain(*loop);
        EXPECT_EQ(recorder->events(),
                  (Events{StreamEvent::OpenCompleted, StreamEvent::HasSpaceAvailable, StreamEvent::HasSpaceAvailable}));

        // Closing posts nothing; writing afterwards fails the stream.
        c.stream->close();
        EXPECT_EQ(write(*c.stream, "x"), -1);
        drain(*loop);
        EXPECT_EQ(recorder->events().back(), StreamEvent::ErrorOccurred);
        EXPECT_EQ(recorder->events().size(), 4u);
        for (auto id : recorder->threads()) EXPECT_EQ(id, std::this_thread::get_id());
        for (auto* s : recorder->streams()) EXPECT_EQ(s, c.stream.get());
    }
}

TEST(StreamEvents, AFileInAMissingFolderReportsOnlyTheError) {
    auto loop = RunLoop::current();
    auto recorder = std::make_shared<Recorder>();
    auto stream = OutputStream::toFile(platform::Paths::root() / "no-such-folder" / "file.bin");
    stream->setDelegate(recorder);
    stream->scheduleInRunLoop(loop);
    stream->open();
    drain(*loop);
    EXPECT_EQ(recorder->events(), Events{StreamEvent::ErrorOccurred});
    EXPECT_EQ(stream->status(), StreamStatus::Error);
    ASSERT_TRUE(stream->streamError().has_value());
    EXPECT_EQ(stream->streamError()->code(), ENOENT);

    // A failed stream stays failed with its first error and reports no more.
    EXPECT_EQ(write(*stream, "x"), -1);
    drain(*loop);
    EXPECT_EQ(recorder->events().size(), 1u);
    EXPECT_EQ(stream->streamError()->code(), ENOENT);
}

TEST(StreamEvents, EventsGoOnlyToTheCurrentLoopAndALiveDelegate) {
    auto loop = RunLoop::current();

    // Not scheduled: events are dropped, not kept for later; scheduling an
    // open stream then tells of its room once.
    auto recorder = std::make_shared<Recorder>();
    auto unscheduled = OutputStream::toMemory();
    unscheduled->setDelegate(recorder);
    unscheduled->open();
    EXPECT_EQ(write(*unscheduled, "a"), 1);
    drain(*loop);
    EXPECT_TRUE(recorder->events().empty());
    unscheduled->scheduleInRunLoop(loop);
    drain(*loop);
    EXPECT_EQ(recorder->events(), Events{StreamEvent::HasSpaceAvailable});
    unscheduled->removeFromRunLoop();
    recorder = std::make_shared<Recorder>();

    // Removed while events are queued: the queued events are dropped.
    auto removed = OutputStream::toMemory();
    removed->setDelegate(recorder);
    removed->scheduleInRunLoop(loop);
    removed->open();
    removed->removeFromRunLoop();
    EXPECT_EQ(removed->scheduledRunLoop(), nullptr);
    drain(*loop);
    EXPECT_TRUE(recorder->events().empty());

    // Moved to another loop: events queued on the old one are dropped, the
    // new ones arrive on the new loop's thread.
    auto moved = OutputStream::toMemory();
    moved->setDelegate(recorder);
    moved->scheduleInRunLoop(loop);
    moved->open();
    std::shared_ptr<RunLoop> other;
    std::thread::id otherThread;
    std::thread worker([&] {
        other = RunLoop::current();
        otherThread = std::this_thread::get_id();
        moved->scheduleInRunLoop(other);  // open, with room: one event
        EXPECT_EQ(write(*moved, "ab"), 2);
        drain(*other);
    });
    worker.join();
    drain(*loop);
    EXPECT_EQ(recorder->events(), (Events{StreamEvent::HasSpaceAvailable, StreamEvent::HasSpaceAvailable}));
    ASSERT_EQ(recorder->threads().size(), 2u);
    for (auto id : recorder->threads()) EXPECT_EQ(id, otherThread);

    // Closed or failed streams have no room to announce.
    auto closed = OutputStream::toMemory();
    closed->setDelegate(recorder);
    closed->open();
    closed->close();
    closed->scheduleInRunLoop(loop);
    drain(*loop);
    EXPECT_EQ(recorder->events().size(), 2u);
    closed->removeFromRunLoop();

    // The delegate is not owned: once it is gone, events go nowhere.
    auto gone = std::make_shared<Recorder>();
    std::weak_ptr<Recorder> watch = gone;
    auto orphan = OutputStream::toMemory();
    orphan->setDelegate(gone);
    orphan->scheduleInRunLoop(loop);
    gone.reset();
    EXPECT_TRUE(watch.expired());
    orphan->open();
    drain(*loop);
    EXPECT_EQ(orphan->delegate(), nullptr);

    // A stream freed with events queued: they are dropped.
    auto recorder2 = std::make_shared<Recorder>();
    {
        auto freed = OutputStream::toMemory();
        freed->setDelegate(recorder2);
        freed->scheduleInRunLoop(loop);
        freed->open();
    }
    drain(*loop);
    EXPECT_TRUE(recorder2->events().empty());
}

// The download road: a thread spins the stream's loop while the stream is
// usable, and another thread closes the stream; the spinning thread sees the
// status change and leaves.
TEST(StreamEvents, ASpinningThreadLeavesWhenAnotherThreadClosesTheStream) {
    auto stream = OutputStream::toMemory();
    auto recorder = std::make_shared<Recorder>();
    stream->setDelegate(recorder);
    std::atomic<bool> opened{false};
    std::shared_ptr<RunLoop> loop;
    std::thread spinner([&] {
        loop = RunLoop::current();
        stream->scheduleInRunLoop(loop);
        stream->open();
        opened = true;
        auto usable = [&] {
            auto s = stream->status();
            return s != StreamStatus::Closed && s != StreamStatus::Error && s != StreamStatus::AtEnd;
        };
        while (usable()) loop->runUntil(platform::Clock::shared()->instant() + 10ms);
    });
    while (!opened) std::this_thread::yield();
    stream->close();
    spinner.join();
    EXPECT_EQ(stream->status(), StreamStatus::Closed);
    stream->removeFromRunLoop();
}
