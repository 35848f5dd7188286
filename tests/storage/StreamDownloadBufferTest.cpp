#include "storage/BLSStreamDownloadBuffer.h"

#include "platform/dispatch/RunLoop.h"
#include "platform/security/Crypto.h"
#include "storage/BLSErrors.h"
#include "storage/BLSOperationContext.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using platform::RunLoop;
using platform::StreamStatus;
using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

namespace {

Bytes bytes(std::string_view text) { return {text.begin(), text.end()}; }

Bytes pattern(std::size_t size, std::uint8_t seed) {
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(seed + i * 7 + i / 251);
    return out;
}

// A sink whose behaviour the test chooses: take at most `maxPerWrite` bytes
// per write, take nothing (0), or fail (-1). Records what it took.
class ScriptedStream : public platform::OutputStream {
public:
    enum class Mode { Take, TakeNothing, Fail };

    explicit ScriptedStream(Mode mode = Mode::Take, std::size_t maxPerWrite = std::numeric_limits<std::size_t>::max())
        : mMode(mode), mMaxPerWrite(maxPerWrite) {}

    long write(const std::uint8_t* data, std::size_t length) override {
        if (status() != StreamStatus::Open) {
            failWith(EBADF);
            return -1;
        }
        ++mWrites;
        if (mDelay.count() > 0) std::this_thread::sleep_for(mDelay);
        switch (mMode) {
            case Mode::TakeNothing: return 0;
            case Mode::Fail: failWith(EIO); return -1;
            case Mode::Take: break;
        }
        const std::size_t n = std::min(length, mMaxPerWrite);
        {
            std::lock_guard lock(mMutex);
            mTaken.insert(mTaken.end(), data, data + n);
        }
        if (n > 0) postEvent(platform::StreamEvent::HasSpaceAvailable);
        return static_cast<long>(n);
    }

    // Says it has room only while `room` is set.
    bool hasSpaceAvailable() const override { return status() == StreamStatus::Open && mRoom; }

    void failWith(int code) { fail(platform::Error(platform::StreamErrorDomain, code)); }
    void setMode(Mode mode) { mMode = mode; }
    void setRoom(bool room) { mRoom = room; }
    void setDelay(std::chrono::microseconds delay) { mDelay = delay; }
    Bytes taken() const {
        std::lock_guard lock(mMutex);
        return mTaken;
    }
    int writes() const { return mWrites; }

private:
    std::atomic<Mode> mMode;
    std::atomic<bool> mRoom{true};
    std::size_t mMaxPerWrite;
    std::chrono::microseconds mDelay{0};
    std::atomic<int> mWrites{0};
    mutable std::mutex mMutex;
    Bytes mTaken;
};

struct Fixture {
    std::shared_ptr<ScriptedStream> stream;
    std::shared_ptr<BLSStreamDownloadBuffer> buffer;
};

// The executor's wiring: the buffer is the stream's delegate, the stream is
// scheduled on `loop` and opened.
Fixture makeBuffer(const std::shared_ptr<RunLoop>& loop, std::uint64_t maxSize, bool md5 = false,
                   ScriptedStream::Mode mode = ScriptedStream::Mode::Take,
                   std::size_t maxPerWrite = std::numeric_limits<std::size_t>::max(), bool open = true,
                   std::shared_ptr<BLSOperationContext> context = std::make_shared<BLSOperationContext>()) {
    Fixture f;
    f.stream = std::make_shared<ScriptedStream>(mode, maxPerWrite);
    f.buffer = std::make_shared<BLSStreamDownloadBuffer>(f.stream, maxSize, md5, std::move(context));
    f.stream->setDelegate(f.buffer);
    f.stream->scheduleInRunLoop(loop);
    if (open) f.stream->open();
    return f;
}

// A context that notes when a producer begins to wait for the buffer to
// drain (the buffer says so at debug level, just before it waits).
struct ProducerWatch {
    std::shared_ptr<std::atomic<bool>> waiting = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<BLSOperationContext> context() const {
        auto made = std::make_shared<BLSOperationContext>();
        made->setLogLevel(BLSLogLevelDebug);
        made->setLogFunction([waiting = waiting](BLSLogLevel, const std::string& line) {
            if (line == "Waiting on datadownloadcondition in writeData.") *waiting = true;
        });
        return made;
    }
    bool producerWaits() const {
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (!*waiting && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
        return *waiting;
    }
};

void drain(RunLoop& loop) {
    while (loop.runUntil(platform::Clock::shared()->instant())) {
    }
}

Bytes concat(Bytes first, const Bytes& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

std::size_t queuedBytes(const BLSStreamDownloadBuffer& buffer) {
    std::size_t sum = 0;
    for (const auto& chunk : buffer.queue()) sum += chunk.size();
    if (auto current = buffer.currentDataToStream()) sum += current->size();
    return sum;
}

}  // namespace

TEST(StreamDownloadBuffer, AStreamThatTakesEverythingNeverSeesTheQueue) {
    auto loop = RunLoop::current();
    auto f = makeBuffer(loop, 1024);
    EXPECT_FALSE(f.buffer->streamWaiting());  // starts not waiting
    drain(*loop);                             // open's space event
    EXPECT_TRUE(f.buffer->streamWaiting());

    Bytes expected;
    for (int i = 0; i < 5; ++i) {
        Bytes chunk = pattern(300 + i, static_cast<std::uint8_t>(i));
        f.buffer->writeData(chunk);
        expected.insert(expected.end(), chunk.begin(), chunk.end());
        EXPECT_EQ(f.buffer->currentLength(), 0u) << "chunk " << i;
        EXPECT_TRUE(f.buffer->queue().empty());
        drain(*loop);
        EXPECT_TRUE(f.buffer->streamWaiting());
    }
    EXPECT_EQ(f.stream->taken(), expected);
    EXPECT_EQ(f.buffer->totalSizeStreamed(), expected.size());

    // The executor's completion wait ends at once.
    auto lock = f.buffer->lockDataDownloadCondition();
    EXPECT_EQ(f.buffer->currentLength(lock), 0u);
    EXPECT_FALSE(f.buffer->streamFailed(lock));
}

TEST(StreamDownloadBuffer, AStreamWithRoomTakesTheNextChunkBeforeItsSpaceEventIsHandled) {
    auto loop = RunLoop::current();
    auto f = makeBuffer(loop, 1024);
    drain(*loop);
    ASSERT_TRUE(f.buffer->streamWaiting());

    // The space events of these writes are still queued on the loop.
    const Bytes a = pattern(200, 1), b = pattern(300, 2), c = pattern(100, 3), d = pattern(50, 4);
    f.buffer->writeData(a);
    f.buffer->writeData(b);
    EXPECT_TRUE(f.buffer->queue().empty());
    EXPECT_EQ(f.buffer->currentLength(), 0u);
    EXPECT_EQ(f.stream->taken(), concat(a, b));
    EXPECT_TRUE(f.buffer->streamWaiting());

    // A stream that says it is full after a write waits for its event again.
    f.stream->setRoom(false);
    f.buffer->writeData(c);
    EXPECT_EQ(f.stream->taken(), concat(concat(a, b), c));
    EXPECT_FALSE(f.buffer->streamWaiting());
    f.buffer->writeData(d);
    ASSERT_EQ(f.buffer->queue().size(), 1u);
    EXPECT_EQ(f.buffer->queue()[0], d);
    EXPECT_EQ(f.buffer->currentLength(), d.size());
    EXPECT_EQ(f.stream->writes(), 3);

    f.stream->setRoom(true);
    drain(*loop);
    EXPECT_EQ(f.stream->taken(), concat(concat(concat(a, b), c), d));
    EXPECT_EQ(f.buffer->currentLength(), 0u);
    EXPECT_EQ(f.buffer->totalSizeStreamed(), a.size() + b.size() + c.size() + d.size());
    EXPECT_TRUE(f.buffer->streamWaiting());
}

TEST(StreamDownloadBuffer, APartialDirectWriteQueuesTheRestAndTheEventsDrainIt) {
    auto loop = RunLoop::current();
    auto f = makeBuffer(loop, 1024, false, ScriptedStream::Mode::Take, 100);
    drain(*loop);
    ASSERT_TRUE(f.buffer->streamWaiting());

    Bytes data = pattern(300, 3);
    f.buffer->writeData(data);
    auto queue = f.buffer->queue();
    ASSERT_EQ(queue.size(), 1u);
    EXPECT_EQ(queue[0], Bytes(data.begin() + 100, data.end()));
    EXPECT_EQ(f.buffer->currentLength(), 200u);
    EXPECT_EQ(f.buffer->totalSizeStreamed(), 100u);
    EXPECT_FALSE(f.buffer->streamWaiting());

    // Each space event writes once (100 bytes); the rest of a chunk stays current.
    drain(*loop);
    EXPECT_EQ(f.buffer->currentLength(), 0u);
    EXPECT_EQ(f.buffer->totalSizeStreamed(), 300u);
    EXPECT_EQ(f.stream->taken(), data);
    EXPECT_EQ(f.stream->writes(), 3);
    EXPECT_FALSE(f.buffer->currentDataToStream().has_value());
    EXPECT_TRUE(f.buffer->streamWaiting());
}

TEST(StreamDownloadBuffer, ChunksQueuedBeforeTheFirstSpaceEventGoOutInOrder) {
    auto loop = RunLoop::current();
    auto f = makeBuffer(loop, 1 << 20, false, ScriptedStream::Mode::Take, 70);
    Bytes expected;
    for (int i = 0; i < 4; ++i) {
        Bytes chunk = pattern(150, static_cast<std::uint8_t>(40 * i));
        f.buffer->writeData(chunk);
        expected.insert(expected.end(), chunk.begin(), chunk.end());
        // Invariant: the length counts queued chunks and the current rest.
        EXPECT_EQ(f.buffer->currentLength(), queuedBytes(*f.buffer));
    }
    EXPECT_EQ(f.buffer->currentLength(), 600u);
    while (loop->runUntil(platform::Clock::shared()->instant())) {
        EXPECT_EQ(f.buffer->currentLength(), queuedBytes(*f.buffer));
        EXPECT_EQ(f.buffer->currentLength() + f.buffer->totalSizeStreamed(), 600u);
    }
    EXPECT_EQ(f.stream->taken(), expected);
    EXPECT_EQ(f.buffer->currentLength(), 0u);
}

TEST(StreamDownloadBuffer, AStreamThatTakesNothingOrFailsStopsTheDownload) {
    struct Case {
        const char* name;
        ScriptedStream::Mode mode;
        bool direct;  // the failing write is the producer's own
        BLSErrorCode code;
        bool inner;  // "InnerError" holds the stream's error
    };
    const Case cases[] = {
        {"direct write takes nothing", ScriptedStream::Mode::TakeNothing, true, BLSErrorCode::OutputStreamFull, false},
        {"queued write takes nothing", ScriptedStream::Mode::TakeNothing, false, BLSErrorCode::OutputStreamFull, false},
        {"direct write fails", ScriptedStream::Mode::Fail, true, BLSErrorCode::OutputStreamError, true},
        {"queued write fails", ScriptedStream::Mode::Fail, false, BLSErrorCode::OutputStreamError, true},
    };
    auto loop = RunLoop::current();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto f = makeBuffer(loop, 1024, false, ScriptedStream::Mode::Take);
        if (c.direct) drain(*loop);
        f.stream->setMode(c.mode);
        f.buffer->writeData(bytes("payload"));
        drain(*loop);

        auto error = f.buffer->streamError();
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->domain(), BLSErrorDomain);
        EXPECT_EQ(error->code(), static_cast<long>(c.code));
        const auto* inner = error->userInfoValue<platform::Error>(BLSErrorKey::InnerError);
        if (c.inner) {
            ASSERT_NE(inner, nullptr);
            EXPECT_EQ(inner->domain(), platform::StreamErrorDomain);
            EXPECT_EQ(inner->code(), EIO);
        } else {
            EXPECT_EQ(inner, nullptr);  // the stream has no error to give
        }

        // Afterwards data is dropped without queueing and without blocking,
        // however much is pending (maxSizeToBuffer is 1024).
        const auto lengthBefore = f.buffer->currentLength();
        const auto queueBefore = f.buffer->queue().size();
        const int writesBefore = f.stream->writes();
        for (int i = 0; i < 20; ++i) f.buffer->writeData(pattern(4096, 1));
        EXPECT_EQ(f.buffer->currentLength(), lengthBefore);
        EXPECT_EQ(f.buffer->queue().size(), queueBefore);
        EXPECT_EQ(f.stream->writes(), writesBefore);
        EXPECT_EQ(f.buffer->streamError()->code(), static_cast<long>(c.code)) << "the first failure is kept";
        f.stream->removeFromRunLoop();
    }
}

TEST(StreamDownloadBuffer, MD5CoversEveryChunkAlsoAfterAFailure) {
    auto loop = RunLoop::current();
    auto f = makeBuffer(loop, 1024, true);
    drain(*loop);
    f.buffer->writeData(bytes("The quick brown "));
    drain(*loop);
    f.stream->setMode(ScriptedStream::Mode::Fail);
    f.buffer->writeData(bytes("fox jumps "));
    ASSERT_TRUE(f.buffer->streamError().has_value());
    f.buffer->writeData(bytes("over the lazy dog"));
    ASSERT_NE(f.buffer->md5Context(), nullptr);
    auto digest = f.buffer->md5Context()->finish();
    // MD5 of "The quick brown fox jumps over the lazy dog".
    EXPECT_EQ(platform::security::base64Encode(digest), "nhB9nTcrtoJr2B01QqQZ1g==");

    auto without = makeBuffer(loop, 1024, false);
    EXPECT_FALSE(without.buffer->calculateMD5());
    EXPECT_EQ(without.buffer->md5Context(), nullptr);
}

TEST(StreamDownloadBuffer, AZeroBoundLetsOneChunkQueueThenBlocksTheProducerUntilDrained) {
    auto loop = RunLoop::current();
    // Not opened yet: nothing drains until the test opens the stream.
    const ProducerWatch watch;
    auto f = makeBuffer(loop, 0, false, ScriptedStream::Mode::Take, std::numeric_limits<std::size_t>::max(), false,
                        watch.context());
    const Bytes first = pattern(500, 1), second = pattern(400, 2);
    f.buffer->writeData(first);  // 0 held is not above the bound: queued
    EXPECT_EQ(f.buffer->currentLength(), 500u);

    std::atomic<bool> secondReturned{false};
    std::thread producer([&] {
        f.buffer->writeData(second);
        secondReturned = true;
        loop->post([] {});  // wake the loop to look again
    });
    EXPECT_TRUE(watch.producerWaits());
    EXPECT_FALSE(secondReturned.load()) << "the producer must wait while the queue is above the bound";
    EXPECT_EQ(f.buffer->queue().size(), 1u);

    f.stream->open();
    Bytes expected = first;
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_TRUE(loop->runUntil([&] { return secondReturned.load() && f.stream->taken() == expected; }, 30s));
    producer.join();
    EXPECT_EQ(f.buffer->currentLength(), 0u);
}

// The stream's own failure event wakes a producer that waits for space, even
// though a failed stream is no longer "available".
TEST(StreamDownloadBuffer, AFailureEventWakesABlockedProducer) {
    auto loop = RunLoop::current();
    {
        // The event alone records the failure: nobody writes or waits here.
        auto idle = makeBuffer(loop, 1024);
        drain(*loop);
        idle.stream->failWith(EIO);
        EXPECT_FALSE(idle.buffer->streamError().has_value());
        drain(*loop);
        auto error = idle.buffer->streamError();
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->code(), static_cast<long>(BLSErrorCode::OutputStreamError));
    }
    auto f = makeBuffer(loop, 0, false, ScriptedStream::Mode::Take, std::numeric_limits<std::size_t>::max(), false);
    f.buffer->writeData(pattern(100, 1));
    std::atomic<bool> returned{false};
    std::thread producer([&] {
        f.buffer->writeData(pattern(100, 2));
        returned = true;
        loop->post([] {});
    });
    f.stream->failWith(EIO);  // posts ErrorOccurred on the loop
    EXPECT_TRUE(loop->runUntil([&] { return returned.load(); }, 30s));
    producer.join();
    auto error = f.buffer->streamError();
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code(), static_cast<long>(BLSErrorCode::OutputStreamError));
    const auto* inner = error->userInfoValue<platform::Error>(BLSErrorKey::InnerError);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->code(), EIO);
    EXPECT_EQ(f.stream->taken(), Bytes{});
}

// No event at all: the stream fails or is closed while nobody runs its loop.
// The blocked side notices by itself and stops with code 8.
TEST(StreamDownloadBuffer, AStreamThatDiesSilentlyNeverHangsEitherSide) {
    struct Case {
        const char* name;
        bool close;  // else fail
        long innerCode;
    };
    const Case cases[] = {{"closed", true, EBADF}, {"failed", false, EIO}};
    auto loop = RunLoop::current();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ProducerWatch watch;
        auto f = makeBuffer(loop, 0, false, ScriptedStream::Mode::Take, std::numeric_limits<std::size_t>::max(), true,
                            watch.context());
        f.stream->removeFromRunLoop();  // no events will come
        f.buffer->writeData(pattern(64, 1));
        std::thread producer([&] { f.buffer->writeData(pattern(64, 2)); });
        EXPECT_TRUE(watch.producerWaits());
        if (c.close) {
            f.stream->close();
        } else {
            f.stream->failWith(EIO);
        }
        producer.join();

        // The completion wait of the executor ends as well.
        auto lock = f.buffer->lockDataDownloadCondition();
        while (f.buffer->currentLength(lock) != 0 && !f.buffer->streamFailed(lock)) {
            f.buffer->dataDownloadCondition().wait_for(lock, 10ms);
        }
        lock.unlock();
        auto error = f.buffer->streamError();
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->code(), static_cast<long>(BLSErrorCode::OutputStreamError));
        const auto* inner = error->userInfoValue<platform::Error>(BLSErrorKey::InnerError);
        ASSERT_NE(inner, nullptr);
        EXPECT_EQ(inner->code(), c.innerCode);
    }
}

TEST(StreamDownloadBuffer, MemoryStaysBoundedWithASlowSink) {
    constexpr std::uint64_t kMax = 64 * 1024;
    constexpr std::size_t kChunk = 16 * 1024;
    constexpr int kChunks = 200;

    auto f = makeBuffer(RunLoop::current(), kMax, false, ScriptedStream::Mode::Take, 3000, false);
    f.stream->setDelay(std::chrono::microseconds(20));
    std::atomic<bool> done{false};
    std::atomic<bool> opened{false};
    std::thread consumer([&] {
        auto loop = RunLoop::current();
        f.stream->scheduleInRunLoop(loop);
        f.stream->open();
        opened = true;
        while (!done) loop->runUntil(platform::Clock::shared()->instant() + 20ms);
    });
    while (!opened) std::this_thread::yield();

    // A watcher samples the held amount while the producer pushes.
    std::atomic<std::uint64_t> largestSeen{0};
    std::atomic<bool> producing{true};
    std::thread watcher([&] {
        while (producing) {
            auto now = f.buffer->currentLength();
            if (now > largestSeen) largestSeen = now;
            std::this_thread::yield();
        }
    });

    Bytes expected;
    std::uint64_t largestAfterWrite = 0;
    for (int i = 0; i < kChunks; ++i) {
        Bytes chunk = pattern(kChunk, static_cast<std::uint8_t>(i));
        f.buffer->writeData(chunk);
        expected.insert(expected.end(), chunk.begin(), chunk.end());
        largestAfterWrite = std::max(largestAfterWrite, f.buffer->currentLength());
    }
    producing = false;
    watcher.join();

    {
        auto lock = f.buffer->lockDataDownloadCondition();
        while (f.buffer->currentLength(lock) != 0 && !f.buffer->streamFailed(lock)) {
            f.buffer->dataDownloadCondition().wait_for(lock, 100ms);
        }
    }
    done = true;
    consumer.join();

    EXPECT_LE(largestAfterWrite, kMax + kChunk);
    EXPECT_LE(largestSeen.load(), kMax + kChunk);
    EXPECT_GT(largestAfterWrite, 0u) << "the sink is slow enough that bytes were queued";
    EXPECT_FALSE(f.buffer->streamError().has_value());
    EXPECT_EQ(f.buffer->totalSizeStreamed(), expected.size());
    EXPECT_TRUE(f.stream->taken() == expected);
}
