// Block blobs against the blob service stand-in: whole-object uploads from
// files, data, text and streams (block count and sizes, block IDs, bounded
// parallelism, one commit after the last block), failures that must leave
// the blob as it was, Put Block with MD5s, Put Block List refusals and the
// block list download.

#include "storage/BLSCloudBlockBlob.h"

#include "storage/BLSAccessCondition.h"
#include "storage/BLSRequestOptions.h"
#include "tests/storage/UploadTestSupport.h"
#include "tests/support/TempRoot.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>
#include <filesystem>
#include <fstream>

namespace {

using namespace uploadtest;

// Serves `data`, then ends, or fails with EIO when `failAtEnd`; counts what
// has been read, for a look from another thread.
class SourceStream : public platform::InputStream {
public:
    SourceStream(Bytes data, bool failAtEnd) : mData(std::move(data)), mFailAtEnd(failAtEnd) {}
    void open() override {
        if (status() == platform::StreamStatus::NotOpen) setStatus(platform::StreamStatus::Open);
    }
    long read(std::uint8_t* buffer, std::size_t length) override {
        if (status() == platform::StreamStatus::Error) return -1;
        const std::size_t offset = mRead.load();
        if (offset == mData.size() && mFailAtEnd) {
            fail(platform::Error(platform::StreamErrorDomain, EIO));
            return -1;
        }
        const std::size_t count = std::min(length, mData.size() - offset);
        std::copy_n(mData.begin() + static_cast<long>(offset), count, buffer);
        mRead.store(offset + count);
        return static_cast<long>(count);
    }
    std::size_t bytesRead() const { return mRead.load(); }

private:
    Bytes mData;
    bool mFailAtEnd;
    std::atomic<std::size_t> mRead{0};
};

class CloudBlockBlobTest : public UploadServerTest {
protected:
    std::filesystem::path writeFile(const std::string& name, const Bytes& bytes) {
        auto path = testsupport::processRoot() / ("blockblob-" + name);
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.close();
        mFiles.push_back(path);
        return path;
    }
    void TearDown() override {
        for (auto& path : mFiles) {
            std::error_code ignored;
            std::filesystem::permissions(path, std::filesystem::perms::owner_all, ignored);
            std::filesystem::remove_all(path, ignored);
        }
        UploadServerTest::TearDown();
    }

    // The sizes of the committed blocks, in blob order.
    std::vector<std::int64_t> committedSizes(const std::shared_ptr<BLSCloudBlockBlob>& blob) {
        Awaited<ErrorOut, std::optional<std::vector<BLSBlockListItem>>> done;
        blob->downloadBlockListFromFilter(BLSBlockListFilterCommitted, done.handler());
        auto [error, items] = done.get();
        EXPECT_FALSE(error);
        std::vector<std::int64_t> sizes;
        if (items) {
            for (auto& item : *items) sizes.push_back(item.size);
        }
        return sizes;
    }

    // The log checks every successful whole-object upload must pass.
    void expectCommittedUpload(const Bytes& data, const std::string& name, std::size_t maxInFlight) {
        auto log = server.requests();
        std::vector<std::uint64_t> putSizes;
        std::size_t lastPut = 0;
        std::size_t listIndex = 0;
        int lists = 0;
        for (std::size_t i = 0; i < log.size(); ++i) {
            if (log[i].operation == "putblock") {
                putSizes.push_back(log[i].bodyLength);
                lastPut = i;
                EXPECT_TRUE(isHelperBlockId(blockIdOf(log[i]))) << blockIdOf(log[i]);
                EXPECT_EQ(log[i].status, 201);
            } else if (log[i].operation == "putblocklist") {
                ++lists;
                listIndex = i;
            }
        }
        // ceil(size / 4 MiB) blocks: all full but the last.
        std::size_t expectedBlocks = (data.size() + kChunk - 1) / kChunk;
        ASSERT_EQ(putSizes.size(), expectedBlocks);
        std::sort(putSizes.begin(), putSizes.end(), std::greater<>());
        for (std::size_t i = 0; i < putSizes.size(); ++i) {
            std::uint64_t expected = i + 1 < expectedBlocks ? kChunk : data.size() - (expectedBlocks - 1) * kChunk;
            EXPECT_EQ(putSizes[i], expected) << "block " << i;
        }
        ASSERT_EQ(lists, 1);
        if (expectedBlocks > 0) {
            EXPECT_GT(listIndex, lastPut) << "the commit comes after the last block";
        }
        auto stats = server.stats();
        if (expectedBlocks > 0) {
            EXPECT_GE(stats.maxInFlight["putblock"], 1);
            EXPECT_LE(stats.maxInFlight["putblock"], static_cast<int>(maxInFlight));
        }
        auto stored = server.blobBytes("uploads", name);
        ASSERT_TRUE(stored);
        EXPECT_TRUE(*stored == data) << "stored " << stored->size() << " bytes of " << data.size();
    }

    std::vector<std::filesystem::path> mFiles;
};

TEST_F(CloudBlockBlobTest, UploadFromFileCutsFourMiBBlocksAndCommitsOnce) {
    struct Case {
        const char* name;
        std::size_t size;
    };
    const Case cases[] = {
        {"empty", 0}, {"one byte", 1}, {"exactly 4 MiB", kChunk}, {"4 MiB + 1", kChunk + 1}, {"50 MiB", 50 * kMiB},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        freshContainer();
        Bytes data = patternBytes(c.size, static_cast<std::uint32_t>(c.size) + 7);
        auto path = writeFile("source.bin", data);
        auto blob = container->blockBlobReferenceFromName("profile/picture.png");
        auto error = await([&](auto done) { blob->uploadFromFileWithPath(path, done); });
        ASSERT_FALSE(error) << error->localizedDescription();
        expectCommittedUpload(data, "profile/picture.png", 3);

        // The committed order is the order the file was cut in.
        std::vector<std::int64_t> expectedSizes;
        for (std::size_t offset = 0; offset < c.size; offset += kChunk) {
            expectedSizes.push_back(static_cast<std::int64_t>(std::min(kChunk, c.size - offset)));
        }
        EXPECT_EQ(committedSizes(blob), expectedSizes);
    }
}

TEST_F(CloudBlockBlobTest, UploadsFromDataTextStreamAndFileUrl) {
    struct Case {
        const char* name;
        std::size_t size;
    };
    const Case sizes[] = {{"empty", 0}, {"one byte", 1}, {"4 MiB", kChunk}, {"4 MiB + 1", kChunk + 1}};
    for (const Case& c : sizes) {
        SCOPED_TRACE(c.name);
        Bytes data = patternBytes(c.size, 99);

        freshContainer();
        auto fromData = container->blockBlobReferenceFromName("data.bin");
        auto error = await([&](auto done) { fromData->uploadFromData(data, done); });
        ASSERT_FALSE(error) << error->localizedDescription();
        expectCommittedUpload(data, "data.bin", 3);

        freshContainer();
        auto fromStream = container->blockBlobReferenceFromName("stream.bin");
        error = await([&](auto done) { fromStream->uploadFromStream(platform::InputStream::withData(data), done); });
        ASSERT_FALSE(error) << error->localizedDescription();
        expectCommittedUpload(data, "stream.bin", 3);

        freshContainer();
        auto fromUrl = container->blockBlobReferenceFromName("url.bin");
        auto path = writeFile("url.bin", data);
        error = await([&](auto done) { fromUrl->uploadFromFileWithURL(path, done); });
        ASSERT_FALSE(error) << error->localizedDescription();
        expectCommittedUpload(data, "url.bin", 3);
    }

    freshContainer();
    auto fromText = container->blockBlobReferenceFromName("notes.txt");
    const std::string text = "Gleis 3 \xC3\xA4 Weiche";
    auto error = await([&](auto done) { fromText->uploadFromText(text, done); });
    ASSERT_FALSE(error);
    EXPECT_EQ(server.blobBytes("uploads", "notes.txt"), std::optional<Bytes>(Bytes(text.begin(), text.end())));
}

TEST_F(CloudBlockBlobTest, ParallelismFactorBoundsBlocksInFlight) {
    struct Case {
        std::int64_t factor;
        std::size_t size;
    };
    const Case cases[] = {{1, 3 * kChunk + 5}, {2, 6 * kChunk}, {5, 9 * kChunk + 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.factor);
        freshContainer();
        auto options = optionsWithParallelism(c.factor);
        Bytes data = patternBytes(c.size, 5);
        auto blob = container->blockBlobReferenceFromName("parallel.bin");
        auto error = await([&](auto done) { blob->uploadFromData(data, nullptr, options, nullptr, done); });
        ASSERT_FALSE(error);
        expectCommittedUpload(data, "parallel.bin", static_cast<std::size_t>(c.factor));
        if (c.factor == 1) {
            EXPECT_EQ(server.stats().maxInFlight["putblock"], 1);
        }
    }
}

TEST_F(CloudBlockBlobTest, TheSourceIsReadOneChunkAheadOfTheBlocksInFlightAndNoFurther) {
    // The first block's answer is held back: meanwhile the next chunk is
    // read (it goes out the moment the slot frees), but nothing beyond it.
    server.addFault(R"({"operation": "putblock", "action": {"stall_before_headers": 2.0}})");
    const Bytes data = patternBytes(5 * kChunk + 9, 77);
    auto source = std::make_shared<SourceStream>(data, false);
    auto blob = container->blockBlobReferenceFromName("ahead.bin");
    // The reader says when it stops for a slot: from then on it reads no
    // more until one frees.
    auto context = std::make_shared<BLSOperationContext>();
    auto waitingForSlot = std::make_shared<std::atomic<bool>>(false);
    context->setLogLevel(BLSLogLevelDebug);
    context->setLogFunction([waitingForSlot](BLSLogLevel, const std::string& line) {
        if (line == "Waiting for an upload slot.") *waitingForSlot = true;
    });
    Awaited<ErrorOut> done;
    blob->uploadFromStream(source, nullptr, optionsWithParallelism(1), context, done.handler());

    // The first block may still be on its way to the service when the
    // reader stops; wait for both.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((!*waitingForSlot || requestsFor(server, "putblock").empty()) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(*waitingForSlot) << "the reader never stopped for a slot";
    const auto putBlocks = requestsFor(server, "putblock");
    ASSERT_EQ(putBlocks.size(), 1u);
    ASSERT_EQ(putBlocks[0].status, 0) << "the first block was answered too soon for this test";
    EXPECT_EQ(source->bytesRead(), 2 * kChunk);

    auto [error] = done.get();
    ASSERT_FALSE(error) << error->localizedDescription();
    expectCommittedUpload(data, "ahead.bin", 1);
}

TEST_F(CloudBlockBlobTest, CompletionComesAfterTheCommit) {
    Bytes data = patternBytes(kChunk + 10, 3);
    auto blob = container->blockBlobReferenceFromName("ordered.bin");
    Awaited<std::optional<Bytes>> seen;
    auto handler = seen.handler();
    blob->uploadFromData(data, [&, handler](const ErrorOut& error) {
        EXPECT_FALSE(error);
        // What the service holds at the moment the caller hears of the end.
        handler(server.blobBytes("uploads", "ordered.bin"));
    });
    auto [stored] = seen.get();
    ASSERT_TRUE(stored);
    EXPECT_TRUE(*stored == data);
}

TEST_F(CloudBlockBlobTest, FailedBlockCommitsNothingAndLeavesTheBlobAlone) {
    const Bytes original = patternBytes(1000, 42);
    server.preloadBlob("uploads", "shared/layout.lay", original);
    auto blob = container->blockBlobReferenceFromName("shared/layout.lay");

    struct Case {
        const char* name;
        const char* fault;
        std::size_t size;
        std::int64_t factor;
    };
    const Case cases[] = {
        {"first of three blocks fails", R"({"operation": "putblock", "action": {"status": 500}})", 3 * kChunk, 3},
        {"first block fails while the reader waits for a slot",
         R"({"operation": "putblock", "action": {"status": 500}})", 3 * kChunk, 1},
        {"last block fails", R"({"operation": "putblock", "skip": 2, "action": {"status": 500}})", 3 * kChunk, 1},
        {"the only, partial block fails", R"({"operation": "putblock", "action": {"status": 500}})", 10, 3},
        {"many blocks, one in the middle fails", R"({"operation": "putblock", "skip": 4, "action": {"status": 500}})",
         12 * kChunk + 3, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server.addFault(c.fault);
        auto options = optionsWithParallelism(c.factor);
        auto before = server.requests().size();
        auto error = await([&](auto done) {
            blob->uploadFromData(patternBytes(c.size, 8), nullptr, options, noRetryContext(), done);
        });
        ASSERT_TRUE(error);
        EXPECT_TRUE(BLSIsError(*error, BLSErrorCode::ServerError));
        EXPECT_EQ(statusOf(*error), 500);
        auto log = server.requests();
        for (std::size_t i = before; i < log.size(); ++i) EXPECT_NE(log[i].operation, "putblocklist");
        EXPECT_EQ(server.blobBytes("uploads", "shared/layout.lay"), std::optional<Bytes>(original));
    }
}

TEST_F(CloudBlockBlobTest, RetriedBlockStillCommitsEverything) {
    server.addFault(R"({"operation": "putblock", "skip": 1, "action": {"status": 503}})");
    Bytes data = patternBytes(2 * kChunk + 100, 17);
    auto blob = container->blockBlobReferenceFromName("retried.bin");
    auto error = await([&](auto done) { blob->uploadFromData(data, done); });
    ASSERT_FALSE(error) << error->localizedDescription();
    EXPECT_EQ(requestsFor(server, "putblock").size(), 4u);
    EXPECT_EQ(requestsFor(server, "putblocklist").size(), 1u);
    EXPECT_EQ(server.blobBytes("uploads", "retried.bin"), std::optional<Bytes>(data));
}

TEST_F(CloudBlockBlobTest, UnreadableSourceReportsAndCommitsNothing) {
    const Bytes original = patternBytes(777, 4);
    server.preloadBlob("uploads", "me.png", original);
    auto blob = container->blockBlobReferenceFromName("me.png");

    auto directory = testsupport::processRoot() / "blockblob-dir";
    std::filesystem::create_directories(directory);
    mFiles.push_back(directory);

    struct Case {
        std::string name;
        std::function<void(BLSCloudBlob::Completion)> start;
        int expectedErrno;
    };
    std::vector<Case> cases = {
        {"missing file", [&](auto done) { blob->uploadFromFileWithPath(directory / "no-such-file.png", done); },
         ENOENT},
        {"a directory", [&](auto done) { blob->uploadFromFileWithPath(directory, done); }, EISDIR},
        {"stream that fails after 5 MiB",
         [&](auto done) {
             blob->uploadFromStream(std::make_shared<SourceStream>(patternBytes(5 * kMiB, 2), true), done);
         },
         EIO},
        {"stream that fails after 9 MiB, factor 1",
         [&](auto done) {
             auto options = optionsWithParallelism(1);
             blob->uploadFromStream(std::make_shared<SourceStream>(patternBytes(9 * kMiB, 2), true), nullptr, options,
                                    nullptr, done);
         },
         EIO},
    };
    if (::geteuid() != 0) {
        auto locked = writeFile("locked.png", patternBytes(100, 1));
        ::chmod(locked.c_str(), 0);
        cases.push_back({"file without read permission",
                         [&, locked](auto done) { blob->uploadFromFileWithPath(locked, done); }, EACCES});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto before = server.requests().size();
        auto error = await(c.start);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->domain(), platform::StreamErrorDomain);
        EXPECT_EQ(error->code(), c.expectedErrno);
        auto log = server.requests();
        for (std::size_t i = before; i < log.size(); ++i) EXPECT_NE(log[i].operation, "putblocklist");
        EXPECT_EQ(server.blobBytes("uploads", "me.png"), std::optional<Bytes>(original));
    }

    // No stream at all: an error, not silence.
    auto error = await([&](auto done) { blob->uploadFromStream(nullptr, done); });
    ASSERT_TRUE(error);
    EXPECT_TRUE(BLSIsError(*error, BLSErrorCode::InvalidArgumentOrState));
}

TEST_F(CloudBlockBlobTest, PutBlockSendsTransactionalMD5AndReportsMismatch) {
    auto blob = container->blockBlobReferenceFromName("blocks.bin");
    const Bytes data = patternBytes(3000, 11);
    const std::string id = platform::security::base64Encode(platform::security::bytesOf("block-0001"));

    // Without the option no MD5 goes out.
    auto error = await([&](auto done) { blob->uploadBlockFromData(data, id, done); });
    ASSERT_FALSE(error);
    auto puts = requestsFor(server, "putblock");
    ASSERT_EQ(puts.size(), 1u);
    EXPECT_FALSE(puts[0].header("Content-MD5"));
    EXPECT_EQ(blockIdOf(puts[0]), id);
    EXPECT_EQ(puts[0].bodyLength, data.size());

    auto options = std::make_shared<BLSBlobRequestOptions>();
    options->setUseTransactionalMD5(true);
    error =
        await([&](auto done) { blob->uploadBlockFromData(data, id, std::nullopt, nullptr, options, nullptr, done); });
    ASSERT_FALSE(error);
    puts = requestsFor(server, "putblock");
    ASSERT_EQ(puts.size(), 2u);
    EXPECT_EQ(puts[1].header("Content-MD5"), std::optional<std::string>(base64Md5(data)));
    EXPECT_EQ(puts[1].header("Content-MD5"), std::optional<std::string>(puts[1].bodyMD5));

    // A Content-MD5 that does not match the body: the service refuses it.
    const std::string corrupted = base64Md5(patternBytes(3000, 12));
    error = await(
        [&](auto done) { blob->uploadBlockFromData(data, id, corrupted, nullptr, nullptr, noRetryContext(), done); });
    ASSERT_TRUE(error);
    EXPECT_TRUE(BLSIsError(*error, BLSErrorCode::ServerError));
    EXPECT_EQ(statusOf(*error), 400);
    EXPECT_EQ(serviceCodeOf(*error), "Md5Mismatch");
}

TEST_F(CloudBlockBlobTest, BlockListsCommitAndDownload) {
    auto blob = container->blockBlobReferenceFromName("list.bin");
    auto idOf = [](const char* text) { return platform::security::base64Encode(platform::security::bytesOf(text)); };
    const Bytes a = patternBytes(100, 1), b = patternBytes(250, 2), c = patternBytes(40, 3);
    ASSERT_FALSE(await([&](auto done) { blob->uploadBlockFromData(a, idOf("block-a"), done); }));
    ASSERT_FALSE(await([&](auto done) { blob->uploadBlockFromData(b, idOf("block-b"), done); }));

    // Commit b then a: the blob is their bytes in list order.
    std::vector<BLSBlockListItem> list = {{idOf("block-b"), BLSBlockListModeUncommitted},
                                          {idOf("block-a"), BLSBlockListModeLatest}};
    ASSERT_FALSE(await([&](auto done) { blob->uploadBlockListFromArray(list, done); }));
    Bytes expected = b;
    expected.insert(expected.end(), a.begin(), a.end());
    EXPECT_EQ(server.blobBytes("uploads", "list.bin"), std::optional<Bytes>(expected));
    EXPECT_TRUE(blob->properties().eTag) << "the commit's ETag is kept";

    ASSERT_FALSE(await([&](auto done) { blob->uploadBlockFromData(c, idOf("block-c"), done); }));

    using Items = std::optional<std::vector<BLSBlockListItem>>;
    auto download = [&](BLSBlockListFilter filter) {
        Awaited<ErrorOut, Items> done;
        blob->downloadBlockListFromFilter(filter, done.handler());
        auto [error, items] = done.get();
        EXPECT_FALSE(error);
        return items.value_or(std::vector<BLSBlockListItem>{});
    };
    auto committed = download(BLSBlockListFilterCommitted);
    ASSERT_EQ(committed.size(), 2u);
    EXPECT_EQ(committed[0].blockID, idOf("block-b"));
    EXPECT_EQ(committed[0].size, 250);
    EXPECT_EQ(committed[0].blockListMode, BLSBlockListModeCommitted);
    EXPECT_EQ(committed[1].blockID, idOf("block-a"));
    EXPECT_EQ(committed[1].size, 100);
    EXPECT_EQ(blob->properties().length, 350) << "the block list download updates the length";

    auto uncommitted = download(BLSBlockListFilterUncommitted);
    ASSERT_EQ(uncommitted.size(), 1u);
    EXPECT_EQ(uncommitted[0].blockID, idOf("block-c"));
    EXPECT_EQ(uncommitted[0].size, 40);
    EXPECT_EQ(uncommitted[0].blockListMode, BLSBlockListModeUncommitted);

    EXPECT_EQ(download(BLSBlockListFilterAll).size(), 3u);
    auto gets = requestsFor(server, "getblocklist");
    ASSERT_EQ(gets.size(), 3u);
    EXPECT_NE(gets[1].query.find("blocklisttype=uncommitted"), std::string::npos);

    // A list naming a block the service does not have: the service's error,
    // the blob unchanged.
    std::vector<BLSBlockListItem> bad = {{idOf("block-zz"), BLSBlockListModeLatest}};
    auto error =
        await([&](auto done) { blob->uploadBlockListFromArray(bad, nullptr, nullptr, noRetryContext(), done); });
    ASSERT_TRUE(error);
    EXPECT_EQ(statusOf(*error), 400);
    EXPECT_EQ(server.blobBytes("uploads", "list.bin"), std::optional<Bytes>(expected));
}

TEST_F(CloudBlockBlobTest, BlockListRefusesToStoreAMissingContentMD5) {
    auto blob = container->blockBlobReferenceFromName("md5.bin");
    auto options = std::make_shared<BLSBlobRequestOptions>();
    options->setStoreBlobContentMD5(true);
    auto before = server.requests().size();
    auto error = await([&](auto done) { blob->uploadBlockListFromArray({}, nullptr, options, nullptr, done); });
    ASSERT_TRUE(error);
    EXPECT_TRUE(BLSIsError(*error, BLSErrorCode::InvalidArgumentOrState));
    EXPECT_EQ(descriptionOf(*error),
              "Cannot store blob content MD5 without content MD5 set on the blob object when doing a Put Block List.");
    EXPECT_EQ(server.requests().size(), before) << "nothing is sent";

    // A whole upload with the option computes the MD5 of all bytes and
    // stores it with the commit.
    Bytes data = patternBytes(kChunk + 777, 21);
    error = await([&](auto done) { blob->uploadFromData(data, nullptr, options, nullptr, done); });
    ASSERT_FALSE(error);
    auto lists = requestsFor(server, "putblocklist");
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(lists[0].header("x-bs-blob-content-md5"), std::optional<std::string>(base64Md5(data)));
    EXPECT_EQ(blob->properties().contentMD5, std::optional<std::string>(base64Md5(data)));
}

}  // namespace
