// Append blobs against the blob service stand-in: offsets and committed
// block counts, the append-position and size conditions, appends that must
// not be repeated after a lost answer, conditional creation, and the stream
// and output-stream uploads (text, file, size limit).

#include "storage/BLSCloudAppendBlob.h"

#include "platform/foundation/Paths.h"
#include "platform/foundation/Stream.h"
#include "storage/BLSAccessCondition.h"
#include "storage/BLSBlobOutputStream.h"
#include "storage/BLSCloudBlobContainer.h"
#include "storage/BLSCloudClient.h"
#include "storage/BLSCloudStorageAccount.h"
#include "storage/BLSErrors.h"
#include "storage/BLSExecutor.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSRequestOptions.h"
#include "storage/BLSRequestResult.h"
#include "storage/BLSRetryPolicy.h"
#include "tests/storage/support/StorageTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using namespace storagetest;
using Offset = std::optional<std::int64_t>;

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class CloudAppendBlobTest : public StorageServerTest {
protected:
    void SetUp() override {
        StorageServerTest::SetUp();
        if (HasFatalFailure()) return;
        container = createdContainer("logs");
        ASSERT_FALSE(HasFailure());
    }

    std::shared_ptr<BLSCloudAppendBlob> appendBlob(const std::string& name) {
        return container->appendBlobReferenceFromName(name);
    }

    std::tuple<ErrorOut, Offset> append(const std::shared_ptr<BLSCloudAppendBlob>& blob, const Bytes& data,
                                        const BLSAccessCondition* condition = nullptr,
                                        std::shared_ptr<BLSBlobRequestOptions> options = nullptr,
                                        std::shared_ptr<BLSOperationContext> context = nullptr) {
        Awaited<ErrorOut, Offset> done;
        blob->appendBlockWithData(data, std::nullopt, condition, std::move(options), std::move(context),
                                  done.handler());
        auto result = done.get();
        EXPECT_EQ(done.calls(), 1);
        return result;
    }

    std::shared_ptr<BLSCloudAppendBlob> createdBlob(const std::string& name) {
        auto blob = appendBlob(name);
        EXPECT_FALSE(await([&](auto done) { blob->createWithCompletionHandler(done); }));
        return blob;
    }

    Bytes stored(const std::string& name) { return server.blobBytes("logs", name).value_or(Bytes{}); }

    // Waits until the stand-in has answered every append it received (also
    // those whose client gave up); a guard against hangs, not a timing check.
    void waitForServerAnswers() {
        for (int i = 0; i < 600; ++i) {
            bool answered = true;
            for (auto& request : requestsFor(server, "appendblock")) answered = answered && request.status != 0;
            if (answered) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ADD_FAILURE() << "the stand-in never answered";
    }

    std::shared_ptr<BLSCloudBlobContainer> container;
};

TEST_F(CloudAppendBlobTest, AppendsReportOffsetsLengthsAndBlockCounts) {
    auto blob = createdBlob("journal.log");
    EXPECT_EQ(blob->properties().blobType, BLSBlobTypeAppendBlob);
    auto creates = requestsFor(server, "createappendblob");
    ASSERT_EQ(creates.size(), 1u);
    EXPECT_EQ(creates[0].header("x-bs-blob-type"), "AppendBlob");
    EXPECT_EQ(creates[0].bodyLength, 0u);
    EXPECT_EQ(stored("journal.log"), Bytes{});

    const Bytes first = patternBytes(100, 1);
    const Bytes second = patternBytes(50, 2);
    const auto createdETag = blob->properties().eTag;

    auto [error1, offset1] = append(blob, first);
    ASSERT_FALSE(error1);
    EXPECT_EQ(offset1, 0);
    EXPECT_EQ(blob->properties().length, 100);
    EXPECT_EQ(blob->properties().appendBlobCommittedBlockCount, 1);
    EXPECT_NE(blob->properties().eTag, createdETag);

    auto [error2, offset2] = append(blob, second);
    ASSERT_FALSE(error2);
    EXPECT_EQ(offset2, 100);
    EXPECT_EQ(blob->properties().length, 150);
    EXPECT_EQ(blob->properties().appendBlobCommittedBlockCount, 2);

    auto appends = requestsFor(server, "appendblock");
    ASSERT_EQ(appends.size(), 2u);
    EXPECT_EQ(appends[0].query, "comp=appendblock");
    EXPECT_EQ(appends[0].bodyLength, 100u);
    EXPECT_FALSE(appends[0].header("x-bs-blob-condition-appendpos"));
    EXPECT_FALSE(appends[0].header("x-bs-blob-condition-maxsize"));
    EXPECT_FALSE(appends[0].header("Content-MD5"));
    EXPECT_EQ(stored("journal.log"), concat(first, second));

    // Transactional MD5: the MD5 of the block, as the service computed it.
    auto options = std::make_shared<BLSBlobRequestOptions>();
    options->setUseTransactionalMD5(true);
    auto [error3, offset3] = append(blob, patternBytes(10, 3), nullptr, options);
    ASSERT_FALSE(error3);
    EXPECT_EQ(offset3, 150);
    auto last = requestsFor(server, "appendblock").back();
    ASSERT_TRUE(last.header("Content-MD5"));
    EXPECT_EQ(*last.header("Content-MD5"), last.bodyMD5);

    // Appending to a blob of another kind, or to none, is the service's error.
    auto missing = appendBlob("nothing.log");
    auto [missingError, missingOffset] = append(missing, first);
    ASSERT_TRUE(missingError);
    EXPECT_EQ(missingError->code(), 3);
    EXPECT_EQ(statusOf(*missingError), 404);
    EXPECT_FALSE(missingOffset);
    EXPECT_FALSE(missing->properties().length);
}

TEST_F(CloudAppendBlobTest, AppendPositionAndMaxSizeConditions) {
    auto blob = createdBlob("guarded.log");
    const Bytes first = patternBytes(100, 4);
    ASSERT_FALSE(std::get<0>(append(blob, first)));
    const BLSBlobProperties before = blob->properties();

    struct Case {
        const char* name;
        BLSAccessCondition condition;
        const char* header;
        const char* value;
        const char* serviceCode;
    };
    const Case refused[] = {
        {"append position behind the end", BLSAccessCondition::makeWithIfAppendPositionEqualTo(50),
         "x-bs-blob-condition-appendpos", "50", "AppendPositionConditionNotMet"},
        {"append position beyond the end", BLSAccessCondition::makeWithIfAppendPositionEqualTo(101),
         "x-bs-blob-condition-appendpos", "101", "AppendPositionConditionNotMet"},
        {"size limit below the new length", BLSAccessCondition::makeWithIfMaxSizeLessThanOrEqualTo(149),
         "x-bs-blob-condition-maxsize", "149", "MaxBlobSizeConditionNotMet"},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.name);
        const auto appendsBefore = requestsFor(server, "appendblock").size();
        auto [error, offset] = append(blob, patternBytes(50, 5), &c.condition);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->domain(), BLSErrorDomain);
        EXPECT_EQ(error->code(), 3);
        EXPECT_EQ(statusOf(*error), 412);
        EXPECT_EQ(serviceCodeOf(*error), c.serviceCode);
        EXPECT_FALSE(offset);
        auto appends = requestsFor(server, "appendblock");
        ASSERT_EQ(appends.size(), appendsBefore + 1) << "a 412 is final";
        EXPECT_EQ(appends.back().header(c.header), c.value);
        // Nothing of the blob changed, here or there.
        EXPECT_EQ(blob->properties().length, before.length);
        EXPECT_EQ(blob->properties().appendBlobCommittedBlockCount, before.appendBlobCommittedBlockCount);
        EXPECT_EQ(blob->properties().eTag, before.eTag);
        EXPECT_EQ(stored("guarded.log"), first);
    }

    // Both conditions met, the size limit exactly reached.
    auto condition = BLSAccessCondition::makeWithIfAppendPositionEqualTo(100);
    condition.setMaxSize(150);
    const Bytes second = patternBytes(50, 6);
    auto [error, offset] = append(blob, second, &condition);
    ASSERT_FALSE(error);
    EXPECT_EQ(offset, 100);
    EXPECT_EQ(blob->properties().length, 150);
    EXPECT_EQ(stored("guarded.log"), concat(first, second));
}

TEST_F(CloudAppendBlobTest, AppendWithoutPositionIsNeverRepeated) {
    auto blob = createdBlob("once.log");
    const Bytes first = patternBytes(300, 7);
    const Bytes second = patternBytes(200, 8);
    auto options = std::make_shared<BLSBlobRequestOptions>();
    options->setServerTimeout(0.5);

    // The service takes the block but its answer comes after the client gave
    // up: a second send would store the block twice.
    server.addFault(R"({"operation": "appendblock", "action": {"stall_before_headers": 2.5}})");
    auto context = std::make_shared<BLSOperationContext>();
    auto [error, offset] = append(blob, first, nullptr, options, context);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), BLSErrorDomain);
    EXPECT_EQ(error->code(), 2) << "the transport's failure";
    EXPECT_FALSE(offset);
    waitForServerAnswers();
    EXPECT_EQ(requestsFor(server, "appendblock").size(), 1u);
    EXPECT_EQ(stored("once.log"), first);
    // The caller's context still records the attempt.
    auto results = context->requestResults();
    ASSERT_EQ(results.size(), 1u);
    ASSERT_TRUE(results[0]->error());
    EXPECT_EQ(results[0]->error()->code(), 2);
    EXPECT_TRUE(context->endTime());

    // A refusal with an answer took nothing, so it is retried as usual.
    server.addFault(R"({"operation": "appendblock", "action": {"status": 500}})");
    auto [serverError, serverOffset] = append(blob, second, nullptr, options);
    EXPECT_FALSE(serverError);
    EXPECT_EQ(requestsFor(server, "appendblock").size(), 3u);
    EXPECT_EQ(stored("once.log"), concat(first, second));

    // With an append position the service refuses a second copy itself, so
    // the lost answer is retried.
    server.addFault(R"({"operation": "appendblock", "action": {"stall_before_headers": 2.5}})");
    auto position = BLSAccessCondition::makeWithIfAppendPositionEqualTo(500);
    auto retried = std::make_shared<BLSOperationContext>();
    auto [positionError, positionOffset] = append(blob, second, &position, options, retried);
    waitForServerAnswers();
    EXPECT_EQ(requestsFor(server, "appendblock").size(), 5u) << "sent, lost, sent again";
    EXPECT_EQ(retried->requestResults().size(), 2u);
    if (positionError) {
        // Only possible when the stalled first send was taken before the retry.
        EXPECT_EQ(serviceCodeOf(*positionError), "AppendPositionConditionNotMet");
    } else {
        EXPECT_EQ(positionOffset, 500);
    }
    EXPECT_EQ(stored("once.log"), concat(concat(first, second), second)) << "the block is stored once";
}

TEST_F(CloudAppendBlobTest, CreateIfNotExists) {
    auto blob = appendBlob("maybe.log");
    auto sent = server.requests().size();
    Awaited<ErrorOut, bool> first;
    blob->createIfNotExistsWithCompletionHandler(first.handler());
    auto [firstError, created] = first.get();
    EXPECT_FALSE(firstError);
    EXPECT_TRUE(created);
    EXPECT_EQ(server.requests().size(), sent + 2) << "exists, then create";

    ASSERT_FALSE(std::get<0>(append(blob, patternBytes(20, 9))));
    sent = server.requests().size();
    Awaited<ErrorOut, bool> second;
    appendBlob("maybe.log")->createIfNotExistsWithCompletionHandler(second.handler());
    auto [secondError, createdAgain] = second.get();
    EXPECT_FALSE(secondError);
    EXPECT_FALSE(createdAgain);
    EXPECT_EQ(server.requests().size(), sent + 1) << "only the exists";
    EXPECT_EQ(stored("maybe.log"), patternBytes(20, 9)) << "the blob was not replaced";

    // A block blob of that name is not an append blob: the exists says so.
    server.preloadBlob("logs", "block.bin", patternBytes(5, 1));
    Awaited<ErrorOut, bool> third;
    appendBlob("block.bin")->createIfNotExistsWithCompletionHandler(third.handler());
    auto [typeError, createdOverBlock] = third.get();
    ASSERT_TRUE(typeError);
    EXPECT_EQ(typeError->code(), 1);
    EXPECT_FALSE(createdOverBlock);
}

TEST_F(CloudAppendBlobTest, StreamUploadsOfTextAndFile) {
    // A text, into a new blob.
    const std::string text = "Gleis 3: Weiche W7 umgestellt\nGleis 4: frei\n";
    const Bytes textBytes(text.begin(), text.end());
    auto notes = appendBlob("notes.txt");
    ASSERT_FALSE(
        await([&](auto done) { notes->uploadFromStream(platform::InputStream::withData(textBytes), true, done); }));
    EXPECT_EQ(stored("notes.txt"), textBytes);
    EXPECT_EQ(requestsFor(server, "createappendblob").size(), 1u);
    EXPECT_EQ(requestsFor(server, "appendblock").back().header("x-bs-blob-condition-appendpos"), "0")
        << "the new blob's length is known";

    // A file of one block and a bit, into an existing blob whose length the
    // caller gives: two appends, one after the other, each guarded by the
    // end the previous one left.
    const Bytes fileBytes = patternBytes(4 * kMiB + 100, 10);
    const auto path = platform::Paths::root() / "append-source.bin";
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(fileBytes.data()), static_cast<std::streamsize>(fileBytes.size()));
    }
    auto log = createdBlob("file.log");
    const auto appendsBefore = requestsFor(server, "appendblock").size();
    const auto atStart = BLSAccessCondition::makeWithIfAppendPositionEqualTo(0);
    ASSERT_FALSE(await([&](auto done) {
        log->uploadFromStream(platform::InputStream::withFile(path), false, &atStart, nullptr, nullptr, done);
    }));
    EXPECT_EQ(stored("file.log"), fileBytes);
    auto appends = requestsFor(server, "appendblock");
    ASSERT_EQ(appends.size(), appendsBefore + 2);
    EXPECT_EQ(appends[appendsBefore].bodyLength, 4 * kMiB);
    EXPECT_EQ(appends[appendsBefore].header("x-bs-blob-condition-appendpos"), "0");
    EXPECT_EQ(appends[appendsBefore + 1].bodyLength, 100u);
    EXPECT_EQ(appends[appendsBefore + 1].header("x-bs-blob-condition-appendpos"), std::to_string(4 * kMiB));
    EXPECT_EQ(server.stats().maxInFlight["appendblock"], 1);

    // Without a length from the caller the blocks go to the end of a blob
    // that already holds data: nothing pretends the blob is empty.
    ASSERT_FALSE(
        await([&](auto done) { log->uploadFromStream(platform::InputStream::withData(textBytes), false, done); }));
    EXPECT_EQ(stored("file.log"), concat(fileBytes, textBytes));
    appends = requestsFor(server, "appendblock");
    EXPECT_FALSE(appends.back().header("x-bs-blob-condition-appendpos"));
}

TEST_F(CloudAppendBlobTest, StreamUploadIntoANewBlobSurvivesALostAnswer) {
    // The service applies an append but its answer never arrives. A blob
    // made by the upload starts empty, so every append carries its position:
    // the lost one is sent again, the service refuses the copy it holds, and
    // with absorbConditionalErrorsOnRetry that refusal is taken as success.
    const Bytes data = patternBytes(4 * kMiB + 100, 14);  // two appends
    auto upload = [&](const std::string& name, bool absorb) {
        auto options = std::make_shared<BLSBlobRequestOptions>();
        options->setAbsorbConditionalErrorsOnRetry(absorb);
        auto context = std::make_shared<BLSOperationContext>();
        context->setRetryPolicy(std::make_shared<BLSRetryPolicyLinear>(3, 0.0));
        Awaited<ErrorOut> done;
        appendBlob(name)->uploadFromStream(platform::InputStream::withData(data), true, nullptr, options, context,
                                           done.handler());
        auto [error] = done.get();
        EXPECT_EQ(done.calls(), 1);
        return error;
    };

    server.addFault(R"({"operation": "appendblock", "action": {"drop_answer": true}})");
    ErrorOut error = upload("absorbed.log", true);
    EXPECT_FALSE(error) << error->localizedDescription();
    EXPECT_EQ(stored("absorbed.log"), data) << "every byte, each block once";
    auto appends = requestsFor(server, "appendblock");
    ASSERT_EQ(appends.size(), 3u) << "lost, refused as a copy, then the second block";
    EXPECT_EQ(appends[0].header("x-bs-blob-condition-appendpos"), "0");
    EXPECT_EQ(appends[1].header("x-bs-blob-condition-appendpos"), "0");
    EXPECT_EQ(appends[1].status, 412);
    EXPECT_EQ(appends[2].header("x-bs-blob-condition-appendpos"), std::to_string(4 * kMiB));
    EXPECT_EQ(appends[2].status, 201);

    // Without absorbing, the refusal ends the upload; still no block twice.
    server.addFault(R"({"operation": "appendblock", "action": {"drop_answer": true}})");
    error = upload("strict.log", false);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), 3);
    EXPECT_EQ(statusOf(*error), 412);
    EXPECT_EQ(serviceCodeOf(*error), "AppendPositionConditionNotMet");
    EXPECT_EQ(stored("strict.log"), Bytes(data.begin(), data.begin() + 4 * kMiB));
    EXPECT_EQ(requestsFor(server, "appendblock").size(), 5u) << "no append after the refusal";
}

TEST_F(CloudAppendBlobTest, StreamUploadSizeLimitEndsWithCode8) {
    // The ETag condition is dropped (it would fail every append after the
    // first); the size limit goes with every append and stops the upload
    // before the block that would pass it.
    auto blob = appendBlob("limited.log");
    auto condition = BLSAccessCondition::makeWithIfMatchCondition("\"0x8D0000000000000\"");
    condition.setMaxSize(static_cast<std::int64_t>(5 * kMiB));
    const Bytes data = patternBytes(6 * kMiB, 11);

    Awaited<ErrorOut> done;
    blob->uploadFromStream(platform::InputStream::withData(data), true, &condition, nullptr, nullptr, done.handler());
    auto [error] = done.get();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), BLSErrorDomain);
    EXPECT_EQ(error->code(), 8);
    EXPECT_EQ(done.calls(), 1);

    auto creates = requestsFor(server, "createappendblob");
    ASSERT_EQ(creates.size(), 1u);
    EXPECT_FALSE(creates[0].header("If-Match"));
    auto appends = requestsFor(server, "appendblock");
    ASSERT_EQ(appends.size(), 1u) << "the second block was never sent";
    EXPECT_EQ(appends[0].header("x-bs-blob-condition-maxsize"), std::to_string(5 * kMiB));
    EXPECT_FALSE(appends[0].header("If-Match"));
    EXPECT_EQ(stored("limited.log"), Bytes(data.begin(), data.begin() + 4 * kMiB));
}

TEST_F(CloudAppendBlobTest, StreamUploadWhoseCreateFailsUploadsNothing) {
    auto blob = client->containerReferenceFromName("no-such-container")->appendBlobReferenceFromName("x.log");
    Awaited<ErrorOut> done;
    blob->uploadFromStream(platform::InputStream::withData(patternBytes(10, 12)), true, done.handler());
    auto [error] = done.get();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), 3);
    EXPECT_EQ(statusOf(*error), 404);
    EXPECT_EQ(done.calls(), 1);
    EXPECT_TRUE(requestsFor(server, "appendblock").empty());
}

TEST_F(CloudAppendBlobTest, OutputStreams) {
    auto blob = appendBlob("out.log");
    auto stream = blob->createOutputStreamWithCreateNew(true);
    ASSERT_TRUE(stream);
    stream->open();
    const Bytes data = patternBytes(3000, 13);
    EXPECT_EQ(stream->write(data.data(), 1000), 1000);
    EXPECT_EQ(stream->write(data.data() + 1000, 2000), 2000);
    stream->close();
    EXPECT_FALSE(stream->streamError());
    EXPECT_EQ(stream->streamStatus(), platform::StreamStatus::Closed);
    EXPECT_EQ(stored("out.log"), data);

    // A size limit below what is written: code 8, nothing appended.
    auto limit = BLSAccessCondition::makeWithIfMaxSizeLessThanOrEqualTo(100);
    auto limited = createdBlob("small.log")->createOutputStreamWithCreateNew(false, &limit, nullptr, nullptr);
    limited->open();
    EXPECT_EQ(limited->write(data.data(), 200), 200);
    limited->close();
    ASSERT_TRUE(limited->streamError());
    EXPECT_EQ(limited->streamError()->code(), 8);
    EXPECT_EQ(limited->streamStatus(), platform::StreamStatus::Error);
    EXPECT_EQ(stored("small.log"), Bytes{});
}

}  // namespace
