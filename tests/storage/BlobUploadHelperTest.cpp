// The upload helper driven directly: chunking of writes, the committed
// order, empty commits, block IDs, slots, failures that stop writes and
// the commit, and the append size limit.

#include "storage/BLSBlobUploadHelper.h"

#include "storage/BLSAccessCondition.h"
#include "storage/BLSCloudAppendBlob.h"
#include "storage/BLSCloudBlockBlob.h"
#include "storage/BLSCloudPageBlob.h"
#include "storage/BLSRequestOptions.h"
#include "tests/storage/UploadTestSupport.h"

#include <atomic>
#include <future>
#include <set>
#include <thread>

namespace {

using namespace uploadtest;

class BlobUploadHelperTest : public UploadServerTest {
protected:
    // Writes `data` in pieces of `piece` bytes; returns each write's result.
    std::vector<long> writeInPieces(BLSBlobUploadHelper& helper, const Bytes& data, std::size_t piece) {
        std::vector<long> results;
        for (std::size_t offset = 0; offset < data.size(); offset += piece) {
            std::size_t count = std::min(piece, data.size() - offset);
            results.push_back(helper.write(data.data() + offset, count, nullptr));
        }
        return results;
    }

    // close() on a thread of its own, so that a close that never returns
    // fails the test instead of hanging it.
    bool closeGuarded(const std::shared_ptr<BLSBlobUploadHelper>& helper) {
        auto result = std::make_shared<std::promise<bool>>();
        auto future = result->get_future();
        std::thread([helper, result] { result->set_value(helper->closeWithCompletionHandler(nullptr)); }).detach();
        if (future.wait_for(std::chrono::seconds(120)) != std::future_status::ready) {
            ADD_FAILURE() << "close never returned";
            return false;
        }
        return future.get();
    }
};

TEST_F(BlobUploadHelperTest, TenMiBBecomeBlocksOfFourFourTwoCommittedInOrder) {
    auto blob = container->blockBlobReferenceFromName("ten.bin");
    auto helper = BLSBlobUploadHelper::makeToBlockBlob(blob, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(helper);
    EXPECT_EQ(helper->maxOpenUploads(), 3u) << "the default parallelism";
    bool opened = false;
    helper->openWithCompletionHandler([&](bool success) { opened = success; });
    EXPECT_TRUE(opened);
    EXPECT_TRUE(requestsFor(server, "createblockblob").empty());

    Bytes data = patternBytes(10 * kMiB, 31);
    // Odd piece sizes straddle the chunk borders.
    for (long result : writeInPieces(*helper, data, 999'999)) EXPECT_GT(result, 0);
    EXPECT_TRUE(helper->closeWithCompletionHandler(nullptr));
    EXPECT_FALSE(helper->streamingError());
    EXPECT_TRUE(helper->allDataUploaded());

    auto ids = helper->blockIDs();
    ASSERT_EQ(ids.size(), 3u);
    const std::int64_t expectedSizes[] = {4 * 1048576, 4 * 1048576, 2 * 1048576};
    std::set<std::string> distinct;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        EXPECT_EQ(ids[i].size, expectedSizes[i]);
        EXPECT_EQ(ids[i].blockListMode, BLSBlockListModeLatest);
        EXPECT_TRUE(isHelperBlockId(ids[i].blockID)) << ids[i].blockID;
        distinct.insert(ids[i].blockID);
    }
    EXPECT_EQ(distinct.size(), 3u);

    // The service got exactly these blocks, and the list in cut order.
    auto puts = requestsFor(server, "putblock");
    ASSERT_EQ(puts.size(), 3u);
    for (auto& put : puts) {
        auto it = std::find_if(ids.begin(), ids.end(), [&](auto& item) { return item.blockID == blockIdOf(put); });
        ASSERT_NE(it, ids.end());
        EXPECT_EQ(static_cast<std::int64_t>(put.bodyLength), it->size);
    }
    Awaited<ErrorOut, std::optional<std::vector<BLSBlockListItem>>> listed;
    blob->downloadBlockListFromFilter(BLSBlockListFilterCommitted, listed.handler());
    auto [error, committed] = listed.get();
    ASSERT_FALSE(error);
    ASSERT_TRUE(committed);
    ASSERT_EQ(committed->size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ((*committed)[i].blockID, ids[i].blockID);
    EXPECT_EQ(server.blobBytes("uploads", "ten.bin"), std::optional<Bytes>(data));

    // Closing again sends nothing more.
    auto before = server.requests().size();
    EXPECT_TRUE(helper->closeWithCompletionHandler(nullptr));
    EXPECT_EQ(server.requests().size(), before);
}

TEST_F(BlobUploadHelperTest, ClosingWithNothingWrittenCommitsAnEmptyList) {
    auto blob = container->blockBlobReferenceFromName("empty.bin");
    auto helper = BLSBlobUploadHelper::makeToBlockBlob(blob, nullptr, nullptr, nullptr, nullptr);
    bool chunkCompletionCalled = false;
    EXPECT_TRUE(helper->closeWithCompletionHandler([&] { chunkCompletionCalled = true; }));
    EXPECT_FALSE(helper->streamingError());
    EXPECT_FALSE(chunkCompletionCalled) << "no last chunk, no chunk completion";
    EXPECT_TRUE(requestsFor(server, "putblock").empty());
    auto lists = requestsFor(server, "putblocklist");
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(server.blobBytes("uploads", "empty.bin"), std::optional<Bytes>(Bytes{}));
}

TEST_F(BlobUploadHelperTest, BlockIdsHaveTheDocumentedForm) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        auto id = BLSBlobUploadHelper::makeBlockID();
        EXPECT_TRUE(isHelperBlockId(id)) << id;
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 200u);
}

TEST_F(BlobUploadHelperTest, FactorOneUploadsOneChunkAtATime) {
    auto options = optionsWithParallelism(1);
    auto blob = container->blockBlobReferenceFromName("serial.bin");
    auto helper = BLSBlobUploadHelper::makeToBlockBlob(blob, nullptr, options, nullptr, nullptr);
    EXPECT_EQ(helper->maxOpenUploads(), 1u);
    EXPECT_TRUE(helper->hasSpaceAvailable());

    std::atomic<int> chunkCompletions{0};
    Bytes data = patternBytes(3 * kChunk + 17, 5);
    EXPECT_EQ(helper->write(data.data(), data.size(), [&] { ++chunkCompletions; }), static_cast<long>(data.size()));
    helper->closeWithCompletionHandler([&] { ++chunkCompletions; });
    EXPECT_FALSE(helper->streamingError());
    EXPECT_EQ(chunkCompletions.load(), 4) << "three full chunks from the write, the rest from close";
    EXPECT_EQ(server.stats().maxInFlight["putblock"], 1);
    EXPECT_EQ(server.blobBytes("uploads", "serial.bin"), std::optional<Bytes>(data));
}

TEST_F(BlobUploadHelperTest, FailureStopsWritesAndTheCommit) {
    const Bytes original = patternBytes(64, 9);
    server.preloadBlob("uploads", "keep.bin", original);
    server.addFault(R"({"operation": "putblock", "action": {"status": 500}})");
    auto options = optionsWithParallelism(1);
    auto blob = container->blockBlobReferenceFromName("keep.bin");
    auto helper = BLSBlobUploadHelper::makeToBlockBlob(blob, nullptr, options, noRetryContext(), nullptr);

    Bytes chunk = patternBytes(kChunk, 1);
    std::atomic<bool> firstDone{false};
    EXPECT_EQ(helper->write(chunk.data(), chunk.size(), [&] { firstDone = true; }), static_cast<long>(kChunk));
    // The second full chunk waits for the slot of the failed first one and
    // is then not sent at all.
    long second = helper->write(chunk.data(), chunk.size(), nullptr);
    EXPECT_EQ(second, -1);
    // The slot is given back just before the chunk's own completion runs.
    for (int i = 0; i < 500 && !firstDone.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(firstDone.load());
    ASSERT_TRUE(helper->streamingError());
    EXPECT_EQ(statusOf(*helper->streamingError()), 500);
    EXPECT_FALSE(helper->hasSpaceAvailable());
    EXPECT_EQ(helper->write(chunk.data(), 10, nullptr), -1) << "a write after a failure";

    EXPECT_TRUE(helper->closeWithCompletionHandler(nullptr));
    EXPECT_TRUE(helper->allDataUploaded());
    EXPECT_EQ(requestsFor(server, "putblock").size(), 1u);
    EXPECT_TRUE(requestsFor(server, "putblocklist").empty());
    EXPECT_EQ(server.blobBytes("uploads", "keep.bin"), std::optional<Bytes>(original));
    EXPECT_EQ(statusOf(*helper->streamingError()), 500) << "the first failure is kept";
}

TEST_F(BlobUploadHelperTest, FailedCommitIsTheOutcome) {
    server.addFault(R"({"operation": "putblocklist", "action": {"status": 409, "code": "LeaseIdMissing"}})");
    auto blob = container->blockBlobReferenceFromName("commit.bin");
    auto helper = BLSBlobUploadHelper::makeToBlockBlob(blob, nullptr, nullptr, noRetryContext(), nullptr);
    Bytes data = patternBytes(100, 3);
    helper->write(data.data(), data.size(), nullptr);
    EXPECT_TRUE(helper->closeWithCompletionHandler(nullptr));
    ASSERT_TRUE(helper->streamingError());
    EXPECT_EQ(statusOf(*helper->streamingError()), 409);
    EXPECT_FALSE(server.blobBytes("uploads", "commit.bin"));
}

TEST_F(BlobUploadHelperTest, AppendBeyondMaxSizeFailsWithCodeEightAndCloseReturns) {
    // The append blob exists; each append is limited to a blob of 5 MiB.
    auto blob = container->appendBlobReferenceFromName("log.txt");
    ASSERT_TRUE(blob);
    BLSAccessCondition condition = BLSAccessCondition::makeWithIfMaxSizeLessThanOrEqualTo(5 * 1048576);
    auto helper = BLSBlobUploadHelper::makeToAppendBlob(blob, true, &condition, nullptr, nullptr, nullptr);
    EXPECT_EQ(helper->maxOpenUploads(), 1u);
    Awaited<bool> opened;
    helper->openWithCompletionHandler(opened.handler());
    auto [success] = opened.get();
    ASSERT_TRUE(success);

    Bytes data = patternBytes(6 * kMiB, 12);
    EXPECT_EQ(helper->write(data.data(), data.size(), nullptr), static_cast<long>(data.size()));
    ASSERT_TRUE(closeGuarded(helper));
    ASSERT_TRUE(helper->streamingError());
    EXPECT_TRUE(BLSIsError(*helper->streamingError(), BLSErrorCode::OutputStreamError));
    EXPECT_TRUE(helper->streamingError()->userInfo().empty());
    EXPECT_TRUE(helper->allDataUploaded()) << "the refused chunk settled its slot";
    EXPECT_EQ(helper->write(data.data(), 1, nullptr), -1);

    // Only the first chunk went out, at position 0.
    auto appends = requestsFor(server, "appendblock");
    ASSERT_EQ(appends.size(), 1u);
    EXPECT_EQ(appends[0].bodyLength, kChunk);
    EXPECT_EQ(appends[0].header("x-bs-blob-condition-appendpos"), std::optional<std::string>("0"));
    EXPECT_EQ(appends[0].header("x-bs-blob-condition-maxsize"), std::optional<std::string>("5242880"));
}

TEST_F(BlobUploadHelperTest, RequestThatCannotBeMadeStillSettlesItsChunk) {
    // A lease ID with a line break cannot go into a header: the block is
    // refused before anything is sent, and close still returns.
    BLSAccessCondition condition = BLSAccessCondition::makeWithLeaseId("lease\r\nX-Injected: 1");
    auto blob = container->blockBlobReferenceFromName("refused.bin");
    auto helper = BLSBlobUploadHelper::makeToBlockBlob(blob, &condition, nullptr, noRetryContext(), nullptr);
    Bytes data = patternBytes(kChunk + 1, 2);
    helper->write(data.data(), data.size(), nullptr);
    ASSERT_TRUE(closeGuarded(helper));
    ASSERT_TRUE(helper->streamingError());
    EXPECT_TRUE(BLSIsError(*helper->streamingError(), BLSErrorCode::InvalidArgumentOrState));
    EXPECT_TRUE(requestsFor(server, "putblock").empty());
    EXPECT_TRUE(requestsFor(server, "putblocklist").empty());
}

TEST_F(BlobUploadHelperTest, PageBlobIsCreatedWrittenAtOffsetsAndGetsItsContentMD5) {
    auto blob = container->pageBlobReferenceFromName("disk.vhd");
    ASSERT_TRUE(blob);
    auto options = std::make_shared<BLSBlobRequestOptions>();
    options->setStoreBlobContentMD5(true);
    auto helper = BLSBlobUploadHelper::makeToPageBlob(blob, 8 * kMiB, 7, nullptr, options, nullptr, nullptr);
    Awaited<bool> opened;
    helper->openWithCompletionHandler(opened.handler());
    auto [success] = opened.get();
    ASSERT_TRUE(success);

    Bytes data = patternBytes(kChunk + 512, 23);
    helper->write(data.data(), data.size(), nullptr);
    ASSERT_TRUE(closeGuarded(helper));
    ASSERT_FALSE(helper->streamingError()) << helper->streamingError()->localizedDescription();

    auto creates = requestsFor(server, "createpageblob");
    ASSERT_EQ(creates.size(), 1u);
    EXPECT_EQ(creates[0].header("x-bs-blob-content-length"), std::optional<std::string>("8388608"));
    EXPECT_EQ(creates[0].header("x-bs-blob-sequence-number"), std::optional<std::string>("7"));
    auto writes = requestsFor(server, "putpage");
    ASSERT_EQ(writes.size(), 2u);
    std::set<std::string> ranges;
    for (auto& write : writes) ranges.insert(write.header("x-bs-range").value_or(""));
    EXPECT_EQ(ranges, (std::set<std::string>{"bytes=0-4194303", "bytes=4194304-4194815"}));
    auto properties = requestsFor(server, "setblobproperties");
    ASSERT_EQ(properties.size(), 1u);
    EXPECT_EQ(properties[0].header("x-bs-blob-content-md5"), std::optional<std::string>(base64Md5(data)));
    EXPECT_TRUE(requestsFor(server, "putblocklist").empty());

    auto stored = server.blobBytes("uploads", "disk.vhd");
    ASSERT_TRUE(stored);
    ASSERT_EQ(stored->size(), 8 * kMiB);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), stored->begin()));
}

}  // namespace
