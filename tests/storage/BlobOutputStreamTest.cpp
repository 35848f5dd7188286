// The blob output stream: events on the run loops it is scheduled on (open
// completed once, space after writes, error once), statuses, writes before
// open and after close, and close returning only after the commit.

#include "storage/BLSBlobOutputStream.h"

#include "storage/BLSBlobUploadHelper.h"
#include "storage/BLSCloudBlockBlob.h"
#include "storage/BLSRequestOptions.h"
#include "tests/storage/UploadTestSupport.h"

#include <future>
#include <thread>

namespace {

using namespace uploadtest;
using platform::StreamEvent;
using platform::StreamStatus;

class Recorder : public platform::StreamDelegate {
public:
    void handleEvent(platform::Stream& stream, StreamEvent event) override {
        (void)stream;
        std::lock_guard lock(mMutex);
        mEvents.push_back(event);
        mThreads.push_back(std::this_thread::get_id());
    }
    std::vector<StreamEvent> events() const {
        std::lock_guard lock(mMutex);
        return mEvents;
    }
    std::vector<std::thread::id> threads() const {
        std::lock_guard lock(mMutex);
        return mThreads;
    }
    std::size_t count(StreamEvent event) const {
        auto all = events();
        return static_cast<std::size_t>(std::count(all.begin(), all.end(), event));
    }

private:
    mutable std::mutex mMutex;
    std::vector<StreamEvent> mEvents;
    std::vector<std::thread::id> mThreads;
};

class BlobOutputStreamTest : public UploadServerTest {
protected:
    // Runs this thread's loop in short turns until `done`, which may also
    // become true on another thread (a guard against hangs, not a timing).
    bool runUntil(const std::function<bool()>& done) {
        auto loop = platform::RunLoop::current();
        auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!done()) {
            if (std::chrono::steady_clock::now() > guard) return false;
            loop->runUntil(done, std::chrono::milliseconds(10));
        }
        return true;
    }
    // Lets queued events come in (real time: the clock is virtual).
    void drain() {
        platform::RunLoop::current()->runUntil([] { return false; }, std::chrono::milliseconds(200));
    }
};

TEST_F(BlobOutputStreamTest, EventsComeInOrderAndOnlyWhenDue) {
    auto blob = container->blockBlobReferenceFromName("stream.bin");
    auto stream = blob->createOutputStream();
    ASSERT_TRUE(stream);
    auto recorder = std::make_shared<Recorder>();
    stream->setDelegate(recorder);
    stream->scheduleInRunLoop(platform::RunLoop::current());
    EXPECT_EQ(stream->streamStatus(), StreamStatus::NotOpen);
    EXPECT_FALSE(stream->hasSpaceAvailable());

    Bytes early = patternBytes(10, 1);
    EXPECT_EQ(stream->write(early.data(), early.size()), 0) << "not open yet";

    stream->open();
    EXPECT_EQ(stream->streamStatus(), StreamStatus::Open);
    ASSERT_TRUE(runUntil([&] { return recorder->events().size() >= 2; }));
    drain();
    EXPECT_EQ(recorder->events(),
              (std::vector<StreamEvent>{StreamEvent::OpenCompleted, StreamEvent::HasSpaceAvailable}));
    for (auto id : recorder->threads()) EXPECT_EQ(id, std::this_thread::get_id());

    // Nothing written since: no new space event however long we wait.
    drain();
    EXPECT_EQ(recorder->events().size(), 2u);

    // Two writes without an event between them both go through; then one
    // more space event.
    Bytes first = patternBytes(3 * kMiB, 2);
    Bytes second = patternBytes(3 * kMiB, 3);
    EXPECT_EQ(stream->write(first.data(), first.size()), static_cast<long>(first.size()));
    EXPECT_EQ(stream->write(second.data(), second.size()), static_cast<long>(second.size()));
    ASSERT_TRUE(runUntil([&] { return recorder->events().size() >= 3; }));
    drain();
    auto events = recorder->events();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(recorder->count(StreamEvent::OpenCompleted), 1u);
    EXPECT_EQ(recorder->count(StreamEvent::ErrorOccurred), 0u);
    for (std::size_t i = 2; i < events.size(); ++i) EXPECT_EQ(events[i], StreamEvent::HasSpaceAvailable);

    stream->close();
    EXPECT_EQ(stream->streamStatus(), StreamStatus::Closed);
    EXPECT_EQ(stream->status(), StreamStatus::Closed);
    EXPECT_FALSE(stream->streamError());
    // close returned only after the commit.
    Bytes all = first;
    all.insert(all.end(), second.begin(), second.end());
    EXPECT_EQ(server.blobBytes("uploads", "stream.bin"), std::optional<Bytes>(all));
    EXPECT_EQ(requestsFor(server, "putblocklist").size(), 1u);

    auto sizeBefore = recorder->events().size();
    EXPECT_EQ(stream->write(early.data(), early.size()), 0) << "writes after close are not taken";
    drain();
    EXPECT_EQ(recorder->events().size(), sizeBefore) << "no space events once closed";
    EXPECT_EQ(requestsFor(server, "putblocklist").size(), 1u);
}

TEST_F(BlobOutputStreamTest, UnscheduledStreamStillWrites) {
    auto blob = container->blockBlobReferenceFromName("quiet.bin");
    auto stream = blob->createOutputStream();
    auto recorder = std::make_shared<Recorder>();
    stream->setDelegate(recorder);
    stream->open();
    Bytes data = patternBytes(kChunk + 3, 8);
    EXPECT_EQ(stream->write(data.data(), data.size()), static_cast<long>(data.size()));
    stream->close();
    drain();
    EXPECT_TRUE(recorder->events().empty());
    EXPECT_EQ(server.blobBytes("uploads", "quiet.bin"), std::optional<Bytes>(data));
}

TEST_F(BlobOutputStreamTest, FailedUploadGivesOneErrorEventAndNoCommit) {
    const Bytes original = patternBytes(500, 77);
    server.preloadBlob("uploads", "avatar.png", original);
    server.addFault(R"({"operation": "putblock", "action": {"status": 500}})");
    auto options = optionsWithParallelism(1);
    auto blob = container->blockBlobReferenceFromName("avatar.png");
    auto stream = blob->createOutputStreamWithAccessCondition(nullptr, options, noRetryContext());
    auto recorder = std::make_shared<Recorder>();
    stream->setDelegate(recorder);
    stream->scheduleInRunLoop(platform::RunLoop::current());
    stream->open();

    Bytes chunk = patternBytes(kChunk, 4);
    EXPECT_EQ(stream->write(chunk.data(), chunk.size()), static_cast<long>(kChunk));
    ASSERT_TRUE(runUntil([&] { return recorder->count(StreamEvent::ErrorOccurred) > 0; }));
    EXPECT_EQ(stream->write(chunk.data(), 100), -1);
    EXPECT_EQ(stream->streamStatus(), StreamStatus::Error);
    EXPECT_EQ(stream->status(), StreamStatus::Error);
    ASSERT_TRUE(stream->streamError());
    EXPECT_EQ(statusOf(*stream->streamError()), 500);

    stream->close();
    drain();
    EXPECT_EQ(recorder->count(StreamEvent::ErrorOccurred), 1u);
    EXPECT_EQ(recorder->events().front(), StreamEvent::OpenCompleted);
    EXPECT_EQ(stream->streamStatus(), StreamStatus::Error) << "the error outlives close";
    EXPECT_TRUE(requestsFor(server, "putblocklist").empty());
    EXPECT_EQ(server.blobBytes("uploads", "avatar.png"), std::optional<Bytes>(original));
}

TEST_F(BlobOutputStreamTest, EventsGoToEveryLoopButEachOnlyOnce) {
    auto blob = container->blockBlobReferenceFromName("two-loops.bin");
    auto stream = blob->createOutputStream();
    auto recorder = std::make_shared<Recorder>();
    stream->setDelegate(recorder);

    // A second loop on a thread of its own.
    std::promise<std::shared_ptr<platform::RunLoop>> loopPromise;
    std::atomic<bool> stop{false};
    std::thread other([&] {
        loopPromise.set_value(platform::RunLoop::current());
        platform::RunLoop::current()->runUntil([&] { return stop.load(); }, std::chrono::seconds(120));
    });
    auto otherLoop = loopPromise.get_future().get();
    stream->scheduleInRunLoop(platform::RunLoop::current());
    stream->scheduleInRunLoop(otherLoop);
    stream->scheduleInRunLoop(otherLoop);  // remembered once

    stream->open();
    ASSERT_TRUE(runUntil([&] { return recorder->events().size() >= 2; }));
    drain();
    EXPECT_EQ(recorder->count(StreamEvent::OpenCompleted), 1u);
    EXPECT_EQ(recorder->count(StreamEvent::HasSpaceAvailable), 1u);

    // Removed from this thread's loop: the next event arrives on the other.
    stream->removeFromRunLoop(platform::RunLoop::current());
    Bytes data = patternBytes(1000, 2);
    stream->write(data.data(), data.size());
    ASSERT_TRUE(runUntil([&] { return recorder->events().size() >= 3; }));
    EXPECT_EQ(recorder->threads().back(), other.get_id());

    stream->close();
    stop = true;
    otherLoop->post([] {});
    other.join();
    EXPECT_EQ(server.blobBytes("uploads", "two-loops.bin"), std::optional<Bytes>(data));
}

TEST_F(BlobOutputStreamTest, BaseClassSchedulingAndPropertiesAndStatusWhileWriting) {
    auto blob = container->blockBlobReferenceFromName("base.bin");
    auto options = optionsWithParallelism(1);
    std::shared_ptr<BLSBlobOutputStream> stream =
        blob->createOutputStreamWithAccessCondition(nullptr, options, nullptr);
    auto recorder = std::make_shared<Recorder>();
    platform::Stream& base = *stream;
    base.setDelegate(recorder);
    base.scheduleInRunLoop(platform::RunLoop::current());
    stream->open();
    ASSERT_TRUE(runUntil([&] { return recorder->events().size() >= 2; }));
    EXPECT_EQ(recorder->events()[0], StreamEvent::OpenCompleted);

    EXPECT_FALSE(stream->propertyForKey("NSStreamDataWrittenToMemoryStreamKey"));
    EXPECT_FALSE(stream->setProperty(std::string("x"), "anything"));

    // With a chunk in flight the stream says it is writing (or the chunk has
    // finished already and it is open again) — never anything else.
    Bytes data = patternBytes(kChunk, 6);
    stream->write(data.data(), data.size());
    auto status = stream->streamStatus();
    EXPECT_TRUE(status == StreamStatus::Writing || status == StreamStatus::Open);
    stream->close();
    EXPECT_EQ(stream->streamStatus(), StreamStatus::Closed);
    EXPECT_EQ(server.blobBytes("uploads", "base.bin"), std::optional<Bytes>(data));
}

}  // namespace
