// Page blobs against the blob service stand-in: creation with size and
// sequence number, page writes and clears with their 512-byte rule, page
// ranges, resizing, sequence numbers, conditional creation, and the stream
// and output-stream uploads.

#include "storage/BLSCloudPageBlob.h"

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
#include "tests/storage/support/StorageTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

using namespace storagetest;
using Ranges = std::vector<BLSULLRange>;

constexpr const char* kLease = "0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0";

class CloudPageBlobTest : public StorageServerTest {
protected:
    void SetUp() override {
        StorageServerTest::SetUp();
        if (HasFatalFailure()) return;
        container = createdContainer("disks");
        ASSERT_FALSE(HasFailure());
    }

    std::shared_ptr<BLSCloudPageBlob> pageBlob(const std::string& name) {
        return container->pageBlobReferenceFromName(name);
    }

    std::tuple<ErrorOut, std::optional<Ranges>> pageRanges(const std::shared_ptr<BLSCloudPageBlob>& blob,
                                                           BLSULLRange range = {0, 0}) {
        Awaited<ErrorOut, std::optional<Ranges>> done;
        blob->downloadPageRangesWithBLSULLRange(range, done.handler());
        return done.get();
    }

    // The stand-in's copy of the blob, every byte of its size.
    Bytes stored(const std::string& name) { return server.blobBytes("disks", name).value_or(Bytes{}); }

    std::shared_ptr<BLSCloudBlobContainer> container;
};

TEST_F(CloudPageBlobTest, CreateSendsSizeAndSequenceNumber) {
    auto blob = pageBlob("vhd/a.img");
    EXPECT_EQ(blob->properties().blobType, BLSBlobTypePageBlob);

    // No sequence number: 0 on the wire, none on the object.
    ASSERT_FALSE(await([&](auto done) { blob->createWithSize(2048, done); }));
    auto creates = requestsFor(server, "createpageblob");
    ASSERT_EQ(creates.size(), 1u);
    EXPECT_EQ(creates[0].method, "PUT");
    EXPECT_EQ(creates[0].header("x-bs-blob-type"), "PageBlob");
    EXPECT_EQ(creates[0].header("x-bs-blob-content-length"), "2048");
    EXPECT_EQ(creates[0].header("x-bs-blob-sequence-number"), "0");
    EXPECT_EQ(creates[0].bodyLength, 0u);
    EXPECT_EQ(blob->properties().length, 2048);
    EXPECT_FALSE(blob->properties().sequenceNumber);
    EXPECT_TRUE(blob->properties().eTag);
    EXPECT_EQ(stored("vhd/a.img"), Bytes(2048, 0));

    // With one: sent and kept; a create replaces the blob.
    ASSERT_FALSE(await([&](auto done) { blob->createWithSize(1024, 7, done); }));
    creates = requestsFor(server, "createpageblob");
    ASSERT_EQ(creates.size(), 2u);
    EXPECT_EQ(creates[1].header("x-bs-blob-sequence-number"), "7");
    EXPECT_EQ(blob->properties().length, 1024);
    EXPECT_EQ(blob->properties().sequenceNumber, 7);
    EXPECT_EQ(stored("vhd/a.img"), Bytes(1024, 0));

    // The size must be a whole number of pages: the service says so.
    auto error = await([&](auto done) { blob->createWithSize(1000, done); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), 3);
    EXPECT_EQ(statusOf(*error), 400);

    // A size no request can carry is refused before sending.
    const auto sent = server.requests().size();
    error = await([&](auto done) { blob->createWithSize(std::uint64_t(1) << 63, done); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), BLSErrorDomain);
    EXPECT_EQ(error->code(), 1);
    EXPECT_EQ(server.requests().size(), sent);
}

TEST_F(CloudPageBlobTest, PageWritesClearsAndRangesReadBack) {
    auto blob = pageBlob("disk.img");
    ASSERT_FALSE(await([&](auto done) { blob->createWithSize(4096, done); }));

    const Bytes first = patternBytes(512, 11);
    const Bytes second = patternBytes(1024, 12);
    ASSERT_FALSE(await([&](auto done) { blob->uploadPagesWithData(first, 512, std::nullopt, done); }));
    ASSERT_FALSE(await([&](auto done) { blob->uploadPagesWithData(second, 2048, std::nullopt, done); }));

    auto writes = requestsFor(server, "putpage");
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].header("x-bs-range"), "bytes=512-1023");
    EXPECT_EQ(writes[0].header("x-bs-page-write"), "update");
    EXPECT_EQ(writes[0].bodyLength, 512u);
    EXPECT_FALSE(writes[0].header("Content-MD5")) << "no MD5 unless asked for";
    EXPECT_EQ(writes[1].header("x-bs-range"), "bytes=2048-3071");
    EXPECT_EQ(blob->properties().sequenceNumber, 0) << "taken from the write's answer";

    Bytes expected(4096, 0);
    std::copy(first.begin(), first.end(), expected.begin() + 512);
    std::copy(second.begin(), second.end(), expected.begin() + 2048);
    EXPECT_EQ(stored("disk.img"), expected);

    auto [rangesError, ranges] = pageRanges(blob);
    ASSERT_FALSE(rangesError);
    ASSERT_TRUE(ranges);
    EXPECT_EQ(*ranges, (Ranges{{512, 512}, {2048, 1024}}));
    EXPECT_EQ(blob->properties().length, 4096) << "the page list's answer gives the blob's length";
    EXPECT_FALSE(requestsFor(server, "getpageranges").back().header("x-bs-range")) << "length 0 lists all";

    // Clearing the first half of the second write: no body, no MD5.
    ASSERT_FALSE(await([&](auto done) { blob->clearPagesWithBLSULLRange(BLSULLRange{2048, 512}, done); }));
    writes = requestsFor(server, "putpage");
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[2].header("x-bs-page-write"), "clear");
    EXPECT_EQ(writes[2].header("x-bs-range"), "bytes=2048-2559");
    EXPECT_EQ(writes[2].bodyLength, 0u);
    EXPECT_FALSE(writes[2].header("Content-MD5"));
    std::fill(expected.begin() + 2048, expected.begin() + 2560, 0);
    EXPECT_EQ(stored("disk.img"), expected);

    std::tie(rangesError, ranges) = pageRanges(blob);
    ASSERT_TRUE(ranges);
    EXPECT_EQ(*ranges, (Ranges{{512, 512}, {2560, 512}}));

    // A ranged listing.
    std::tie(rangesError, ranges) = pageRanges(blob, BLSULLRange{0, 1024});
    ASSERT_FALSE(rangesError);
    ASSERT_TRUE(ranges);
    EXPECT_EQ(*ranges, (Ranges{{512, 512}}));
    EXPECT_EQ(requestsFor(server, "getpageranges").back().header("x-bs-range"), "bytes=0-1023");
}

TEST_F(CloudPageBlobTest, PlatformRangeFormsClearAndListLikeTheirWideTwins) {
    auto blob = pageBlob("words.img");
    ASSERT_FALSE(await([&](auto done) { blob->createWithSize(4096, done); }));
    const Bytes data = patternBytes(4096, 21);
    ASSERT_FALSE(await([&](auto done) { blob->uploadPagesWithData(data, 0, std::nullopt, done); }));

    ASSERT_FALSE(await([&](auto done) { blob->clearPagesWithRange(platform::Range{1024, 1024}, done); }));
    auto clear = requestsFor(server, "putpage").back();
    EXPECT_EQ(clear.header("x-bs-page-write"), "clear");
    EXPECT_EQ(clear.header("x-bs-range"), "bytes=1024-2047");
    EXPECT_EQ(clear.bodyLength, 0u);
    Bytes expected = data;
    std::fill(expected.begin() + 1024, expected.begin() + 2048, 0);
    EXPECT_EQ(stored("words.img"), expected);

    Awaited<ErrorOut, std::optional<Ranges>> all;
    blob->downloadPageRangesWithRange(platform::Range{0, 0}, all.handler());
    auto [allError, allRanges] = all.get();
    ASSERT_FALSE(allError);
    EXPECT_EQ(allRanges, (Ranges{{0, 1024}, {2048, 2048}}));
    EXPECT_FALSE(requestsFor(server, "getpageranges").back().header("x-bs-range")) << "length 0 lists all";

    Awaited<ErrorOut, std::optional<Ranges>> part;
    blob->downloadPageRangesWithRange(platform::Range{2048, 1024}, part.handler());
    auto [partError, partRanges] = part.get();
    ASSERT_FALSE(partError);
    EXPECT_EQ(partRanges, (Ranges{{2048, 1024}}));
    EXPECT_EQ(requestsFor(server, "getpageranges").back().header("x-bs-range"), "bytes=2048-3071");

    // The full forms carry the condition and the caller's context.
    const auto stale = BLSAccessCondition::makeWithIfMatchCondition("\"0x8D0000000000000\"");
    auto context = std::make_shared<BLSOperationContext>();
    auto error = await([&](auto done) {
        blob->clearPagesWithRange(platform::Range{0, 512}, &stale, nullptr, context, done);
    });
    ASSERT_TRUE(error);
    EXPECT_EQ(statusOf(*error), 412);
    EXPECT_EQ(requestsFor(server, "putpage").back().header("If-Match"), "\"0x8D0000000000000\"");
    EXPECT_EQ(stored("words.img"), expected) << "nothing cleared";
    EXPECT_EQ(context->requestResults().size(), 1u);

    const auto current = BLSAccessCondition::makeWithIfMatchCondition(*blob->properties().eTag);
    Awaited<ErrorOut, std::optional<Ranges>> guarded;
    blob->downloadPageRangesWithRange(platform::Range{0, 512}, &current, nullptr, context, guarded.handler());
    auto [guardedError, guardedRanges] = guarded.get();
    ASSERT_FALSE(guardedError);
    EXPECT_EQ(guardedRanges, (Ranges{{0, 512}}));
    EXPECT_EQ(requestsFor(server, "getpageranges").back().header("If-Match"), *blob->properties().eTag);
    EXPECT_EQ(context->requestResults().size(), 2u);
}

TEST_F(CloudPageBlobTest, UnalignedWritesReachTheServiceAndComeBackAsItsError) {
    auto blob = pageBlob("odd.img");
    ASSERT_FALSE(await([&](auto done) { blob->createWithSize(2048, done); }));
    const Bytes before = stored("odd.img");

    struct Case {
        const char* name;
        std::function<void(BLSCloudBlob::Completion)> start;
    };
    const Case cases[] = {
        {"write at an offset off the page boundary",
         [&](auto done) { blob->uploadPagesWithData(patternBytes(512, 1), 100, std::nullopt, done); }},
        {"write of a length that is not whole pages",
         [&](auto done) { blob->uploadPagesWithData(patternBytes(700, 2), 0, std::nullopt, done); }},
        {"clear of a partial page",
         [&](auto done) {
             blob->clearPagesWithBLSULLRange(BLSULLRange{0, 300}, done);
         }},
        {"write beyond the blob's size",
         [&](auto done) { blob->uploadPagesWithData(patternBytes(512, 3), 2048, std::nullopt, done); }},
    };
    std::size_t putPages = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto error = await(c.start);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->domain(), BLSErrorDomain);
        EXPECT_EQ(error->code(), 3);
        EXPECT_EQ(statusOf(*error), 416);
        EXPECT_EQ(serviceCodeOf(*error), "InvalidPageRange");
        // Sent as given, and not retried (a 4xx is final).
        EXPECT_EQ(requestsFor(server, "putpage").size(), ++putPages);
        EXPECT_EQ(stored("odd.img"), before);
    }
}

TEST_F(CloudPageBlobTest, TransactionalMD5AndSequenceNumberConditions) {
    auto blob = pageBlob("md5.img");
    ASSERT_FALSE(await([&](auto done) { blob->createWithSize(1024, 3, done); }));

    auto options = std::make_shared<BLSBlobRequestOptions>();
    options->setUseTransactionalMD5(true);
    const Bytes data = patternBytes(512, 5);
    ASSERT_FALSE(
        await([&](auto done) { blob->uploadPagesWithData(data, 0, std::nullopt, nullptr, options, nullptr, done); }));
    auto write = requestsFor(server, "putpage").back();
    ASSERT_TRUE(write.header("Content-MD5"));
    EXPECT_EQ(*write.header("Content-MD5"), write.bodyMD5) << "the MD5 the service computed of the body";

    // A given MD5 is sent as it is; a wrong one is the service's 400.
    auto error = await([&](auto done) {
        blob->uploadPagesWithData(data, 512, std::string("AAAAAAAAAAAAAAAAAAAAAA=="), nullptr, options, nullptr, done);
    });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), 3);
    EXPECT_EQ(statusOf(*error), 400);
    EXPECT_EQ(requestsFor(server, "putpage").back().header("Content-MD5"), "AAAAAAAAAAAAAAAAAAAAAA==");

    // Sequence number conditions travel with page writes.
    auto lessThan3 = BLSAccessCondition::makeWithIfSequenceNumberLessThan(3);
    error = await(
        [&](auto done) { blob->uploadPagesWithData(data, 512, std::nullopt, &lessThan3, nullptr, nullptr, done); });
    ASSERT_TRUE(error);
    EXPECT_EQ(statusOf(*error), 412);
    EXPECT_EQ(serviceCodeOf(*error), "SequenceNumberConditionNotMet");
    EXPECT_EQ(requestsFor(server, "putpage").back().header("x-bs-if-sequence-number-lt"), "3");

    auto equal3 = BLSAccessCondition::makeWithIfSequenceNumberEqualTo(3);
    EXPECT_FALSE(
        await([&](auto done) { blob->uploadPagesWithData(data, 512, std::nullopt, &equal3, nullptr, nullptr, done); }));
}

TEST_F(CloudPageBlobTest, ResizeTakesTheRequestedSize) {
    auto blob = pageBlob("grow.img");
    ASSERT_FALSE(await([&](auto done) { blob->createWithSize(1024, done); }));
    const Bytes data = patternBytes(512, 9);
    ASSERT_FALSE(await([&](auto done) { blob->uploadPagesWithData(data, 512, std::nullopt, done); }));

    ASSERT_FALSE(await([&](auto done) { blob->resizeWithSize(4096, done); }));
    auto resize = requestsFor(server, "setblobproperties");
    ASSERT_EQ(resize.size(), 1u);
    EXPECT_EQ(resize[0].header("x-bs-blob-content-length"), "4096");
    // The answer's own Content-Length is 0 (an empty body): the object keeps
    // the requested size and stays a page blob.
    EXPECT_EQ(blob->properties().length, 4096);
    EXPECT_EQ(blob->properties().blobType, BLSBlobTypePageBlob);
    EXPECT_EQ(blob->properties().sequenceNumber, 0);
    Bytes expected(4096, 0);
    std::copy(data.begin(), data.end(), expected.begin() + 512);
    EXPECT_EQ(stored("grow.img"), expected);

    // Shrinking cuts the written pages off.
    ASSERT_FALSE(await([&](auto done) { blob->resizeWithSize(512, done); }));
    EXPECT_EQ(blob->properties().length, 512);
    EXPECT_EQ(stored("grow.img"), Bytes(512, 0));

    // A size off the page boundary: the service's error, nothing changes here.
    auto error = await([&](auto done) { blob->resizeWithSize(1000, done); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), 3);
    EXPECT_EQ(statusOf(*error), 400);
    EXPECT_EQ(blob->properties().length, 512);
}

TEST_F(CloudPageBlobTest, SequenceNumberUpdateMaximumAndIncrement) {
    auto blob = pageBlob("seq.img");
    ASSERT_FALSE(await([&](auto done) { blob->createWithSize(1024, 5, done); }));

    struct Step {
        const char* name;
        std::function<void(BLSCloudBlob::Completion)> start;
        std::optional<std::string> action;  // x-bs-sequence-number-action sent
        std::optional<std::string> number;  // x-bs-blob-sequence-number sent
        std::int64_t expected;              // stored afterwards
    };
    const Step steps[] = {
        {"maximum below the stored number keeps it",
         [&](auto done) { blob->setSequenceNumberWithNumber(3, true, done); }, "max", "3", 5},
        {"maximum above raises it", [&](auto done) { blob->setSequenceNumberWithNumber(10, true, done); }, "max", "10",
         10},
        {"update sets it, also lower", [&](auto done) { blob->setSequenceNumberWithNumber(2, false, done); }, "update",
         "2", 2},
        {"increment adds one and sends no number",
         [&](auto done) { blob->incrementSequenceNumberWithCompletionHandler(done); }, "increment", std::nullopt, 3},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        ASSERT_FALSE(await(step.start));
        auto sent = requestsFor(server, "setblobproperties").back();
        EXPECT_EQ(sent.query, "comp=properties");
        EXPECT_EQ(sent.header("x-bs-sequence-number-action"), step.action);
        EXPECT_EQ(sent.header("x-bs-blob-sequence-number"), step.number);
        EXPECT_EQ(blob->properties().sequenceNumber, step.expected);
        // The properties answer says nothing of the length; the known one stays.
        EXPECT_EQ(blob->properties().length, 1024);
        EXPECT_EQ(blob->properties().blobType, BLSBlobTypePageBlob);
    }

    // The stand-in agrees.
    auto fresh = pageBlob("seq.img");
    ASSERT_FALSE(await([&](auto done) { fresh->downloadAttributesWithCompletionHandler(done); }));
    EXPECT_EQ(fresh->properties().sequenceNumber, 3);
}

TEST_F(CloudPageBlobTest, AnIncrementWhoseAnswerIsLostIsNotSentAgain) {
    auto blob = pageBlob("count.img");
    ASSERT_FALSE(await([&](auto done) { blob->createWithSize(512, 7, done); }));
    auto options = std::make_shared<BLSBlobRequestOptions>();
    options->setServerTimeout(0.5);
    auto storedSequenceNumber = [&] {
        // Wait until the stand-in has answered what it received (also what
        // the client gave up on); a guard against hangs, not a timing check.
        for (int i = 0; i < 200; ++i) {
            bool answered = true;
            for (auto& request : requestsFor(server, "setblobproperties")) answered = answered && request.status != 0;
            if (answered) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        auto fresh = pageBlob("count.img");
        EXPECT_FALSE(await([&](auto done) { fresh->downloadAttributesWithCompletionHandler(done); }));
        return fresh->properties().sequenceNumber;
    };

    // The stand-in counts the increment but answers after the client gave up.
    server.addFault(R"({"operation": "setblobproperties", "action": {"stall_before_headers": 2.5}})");
    ErrorOut error =
        await([&](auto done) { blob->incrementSequenceNumberWithAccessCondition(nullptr, options, nullptr, done); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), static_cast<long>(BLSErrorCode::URLSessionError));
    EXPECT_EQ(requestsFor(server, "setblobproperties").size(), 1u);
    EXPECT_EQ(storedSequenceNumber(), 8) << "counted once";

    // A plain update whose answer is lost is sent again: repeating it is harmless.
    server.addFault(R"({"operation": "setblobproperties", "action": {"stall_before_headers": 2.5}})");
    EXPECT_FALSE(
        await([&](auto done) { blob->setSequenceNumberWithNumber(20, false, nullptr, options, nullptr, done); }));
    EXPECT_EQ(requestsFor(server, "setblobproperties").size(), 3u);
    EXPECT_EQ(storedSequenceNumber(), 20);
}

TEST_F(CloudPageBlobTest, CreateIfNotExists) {
    auto blob = pageBlob("once.img");
    auto sent = server.requests().size();
    Awaited<ErrorOut, bool> first;
    blob->createIfNotExistsWithSize(1024, 4, first.handler());
    auto [firstError, created] = first.get();
    EXPECT_FALSE(firstError);
    EXPECT_TRUE(created);
    EXPECT_EQ(server.requests().size(), sent + 2) << "exists, then create";
    EXPECT_EQ(requestsFor(server, "createpageblob").size(), 1u);
    EXPECT_EQ(blob->properties().sequenceNumber, 4);

    sent = server.requests().size();
    Awaited<ErrorOut, bool> second;
    pageBlob("once.img")->createIfNotExistsWithSize(4096, second.handler());
    auto [secondError, createdAgain] = second.get();
    EXPECT_FALSE(secondError);
    EXPECT_FALSE(createdAgain);
    EXPECT_EQ(server.requests().size(), sent + 1) << "only the exists";
    EXPECT_EQ(stored("once.img").size(), 1024u) << "the blob was left alone";
}

}  // namespace

namespace {

TEST_F(CloudPageBlobTest, StreamUploadCreatesThenWritesFourMiBPages) {
    auto blob = pageBlob("stream.img");
    const std::size_t dataSize = 4 * kMiB + 1536;
    const std::uint64_t blobSize = 4 * kMiB + 4096;
    const Bytes data = patternBytes(dataSize, 21);

    Awaited<ErrorOut> done;
    blob->uploadFromStream(platform::InputStream::withData(data), blobSize, 9, done.handler());
    auto [error] = done.get();
    ASSERT_FALSE(error) << error->localizedDescription();
    EXPECT_EQ(done.calls(), 1);

    auto creates = requestsFor(server, "createpageblob");
    ASSERT_EQ(creates.size(), 1u);
    EXPECT_EQ(creates[0].header("x-bs-blob-content-length"), std::to_string(blobSize));
    EXPECT_EQ(creates[0].header("x-bs-blob-sequence-number"), "9");
    auto writes = requestsFor(server, "putpage");
    ASSERT_EQ(writes.size(), 2u);
    std::vector<std::string> ranges;
    for (auto& write : writes) ranges.push_back(write.header("x-bs-range").value_or(""));
    std::sort(ranges.begin(), ranges.end());  // two writes may run at once
    EXPECT_EQ(ranges, (std::vector<std::string>{"bytes=0-4194303", "bytes=4194304-4195839"}));

    Bytes expected = data;
    expected.resize(blobSize, 0);
    EXPECT_EQ(stored("stream.img"), expected);
}

TEST_F(CloudPageBlobTest, StreamUploadIntoExistingBlobSendsOnlyTheLease) {
    auto blob = pageBlob("leased.img");
    ASSERT_FALSE(await([&](auto done) { blob->createWithSize(8192, done); }));
    Awaited<ErrorOut, std::optional<std::string>> leased;
    blob->acquireLeaseWithLeaseTime(std::nullopt, std::string(kLease), leased.handler());
    ASSERT_FALSE(std::get<0>(leased.get()));

    // An ETag condition that no longer holds once the first page is written:
    // it must not travel with the writes.
    auto condition = BLSAccessCondition::makeWithIfMatchCondition("\"0x8D0000000000000\"");
    condition.setLeaseId(std::string(kLease));
    const Bytes data = patternBytes(3072, 22);
    const auto before = requestsFor(server, "putpage").size();
    ASSERT_FALSE(await([&](auto done) {
        blob->uploadFromStream(platform::InputStream::withData(data), &condition, nullptr, nullptr, done);
    }));
    auto writes = requestsFor(server, "putpage");
    ASSERT_EQ(writes.size(), before + 1);
    EXPECT_EQ(writes.back().header("x-bs-range"), "bytes=0-3071");
    EXPECT_EQ(writes.back().header("x-bs-lease-id"), kLease);
    EXPECT_FALSE(writes.back().header("If-Match"));
    Bytes expected = data;
    expected.resize(8192, 0);
    EXPECT_EQ(stored("leased.img"), expected);

    // Without the lease the leased blob refuses the write.
    auto error = await([&](auto done) { blob->uploadFromStream(platform::InputStream::withData(data), done); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), 3);
    EXPECT_EQ(statusOf(*error), 412);
}

TEST_F(CloudPageBlobTest, StreamUploadStopsWhenCreateOrWriteFails) {
    // The create fails (size off the page boundary): nothing is written.
    auto blob = pageBlob("bad.img");
    Awaited<ErrorOut> created;
    blob->uploadFromStream(platform::InputStream::withData(patternBytes(512, 1)), 1000, created.handler());
    auto [createError] = created.get();
    ASSERT_TRUE(createError);
    EXPECT_EQ(createError->code(), 3);
    EXPECT_EQ(statusOf(*createError), 400);
    EXPECT_EQ(created.calls(), 1);
    EXPECT_TRUE(requestsFor(server, "putpage").empty());

    // Data that ends off a page boundary: the service refuses the last write.
    auto odd = pageBlob("odd-stream.img");
    Awaited<ErrorOut> written;
    odd->uploadFromStream(platform::InputStream::withData(patternBytes(1000, 2)), 4096, written.handler());
    auto [writeError] = written.get();
    ASSERT_TRUE(writeError);
    EXPECT_EQ(writeError->code(), 3);
    EXPECT_EQ(statusOf(*writeError), 416);
    EXPECT_EQ(written.calls(), 1);

    // A stream that cannot be read ends the upload with its own error.
    auto missing = pageBlob("missing-source.img");
    ASSERT_FALSE(await([&](auto done) { missing->createWithSize(1024, done); }));
    auto error = await([&](auto done) {
        missing->uploadFromStream(platform::InputStream::withFile(platform::Paths::root() / "no such file"), done);
    });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), platform::StreamErrorDomain);
    EXPECT_EQ(stored("missing-source.img"), Bytes(1024, 0));
}

TEST_F(CloudPageBlobTest, OutputStreams) {
    // With a size the stream creates the blob when opened.
    auto blob = pageBlob("out.img");
    auto stream = blob->createOutputStreamWithSize(4096, 2);
    ASSERT_TRUE(stream);
    stream->open();
    EXPECT_EQ(blob->properties().sequenceNumber, 2);
    const Bytes data = patternBytes(2048, 31);
    EXPECT_EQ(stream->write(data.data(), 1024), 1024);
    EXPECT_EQ(stream->write(data.data() + 1024, 1024), 1024);
    stream->close();
    EXPECT_FALSE(stream->streamError());
    EXPECT_EQ(stream->streamStatus(), platform::StreamStatus::Closed);
    Bytes expected = data;
    expected.resize(4096, 0);
    EXPECT_EQ(stored("out.img"), expected);
    EXPECT_EQ(requestsFor(server, "createpageblob").size(), 1u);

    // Without one it writes into the existing blob from offset 0.
    auto again = blob->createOutputStream();
    again->open();
    const Bytes other = patternBytes(512, 32);
    EXPECT_EQ(again->write(other.data(), other.size()), 512);
    again->close();
    EXPECT_FALSE(again->streamError());
    std::copy(other.begin(), other.end(), expected.begin());
    EXPECT_EQ(stored("out.img"), expected);
    EXPECT_EQ(requestsFor(server, "createpageblob").size(), 1u) << "nothing created the second time";
}

}  // namespace
