// Blobs against the blob service stand-in: the sharing client's road
// (account -> client -> container -> block blob -> exists / download), the
// other downloads, properties, metadata, leases, snapshots, copies, errors
// and retries, and the address initialisers.

#include "storage/BLSCloudAppendBlob.h"
#include "storage/BLSCloudBlob.h"
#include "storage/BLSCloudBlobContainer.h"
#include "storage/BLSCloudBlockBlob.h"
#include "storage/BLSCloudClient.h"
#include "storage/BLSCloudPageBlob.h"
#include "storage/BLSCloudStorageAccount.h"

#include "platform/foundation/Paths.h"
#include "platform/foundation/Stream.h"
#include "storage/BLSAccessCondition.h"
#include "storage/BLSErrors.h"
#include "storage/BLSExecutor.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSRequestOptions.h"
#include "storage/BLSRequestResult.h"
#include "storage/BLSSharedAccessSignatureHelper.h"
#include "storage/BLSStorageCredentials.h"
#include "storage/BLSUtil.h"
#include "tests/storage/support/StorageTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace storagetest;

constexpr const char* kLeaseA = "11111111-2222-3333-4444-555555555555";
constexpr const char* kLeaseB = "66666666-7777-8888-9999-000000000000";

class CloudBlobTest : public StorageServerTest {
protected:
    void SetUp() override {
        StorageServerTest::SetUp();
        if (HasFatalFailure()) return;
        container = containerNamed("layouts");
        ASSERT_TRUE(container);
    }

    std::shared_ptr<BLSCloudBlobContainer> containerNamed(const std::string& name) {
        return client->containerReferenceFromName(name);
    }

    std::tuple<ErrorOut, bool> exists(const std::shared_ptr<BLSCloudBlob>& blob) {
        Awaited<ErrorOut, bool> done;
        blob->existsWithCompletionHandler(done.handler());
        return done.get();
    }
    std::tuple<ErrorOut, std::optional<Bytes>> downloadData(const std::shared_ptr<BLSCloudBlob>& blob) {
        Awaited<ErrorOut, std::optional<Bytes>> done;
        blob->downloadToDataWithCompletionHandler(done.handler());
        return done.get();
    }

    std::shared_ptr<BLSCloudBlobContainer> container;
};

TEST_F(CloudBlobTest, SharingRoadExistsAndDownloadToData) {
    auto blob = container->blockBlobReferenceFromName("user 7/layout.lay");
    ASSERT_TRUE(blob);
    EXPECT_EQ(blob->properties().blobType, BLSBlobTypeBlockBlob);
    EXPECT_EQ(blob->blobName(), "user 7/layout.lay");
    EXPECT_EQ(blob->blobContainer(), container);
    EXPECT_TRUE(server.requests().empty()) << "a reference sends nothing";

    // Missing (container and blob): a plain NO, from one properties request.
    auto [missingError, missing] = exists(blob);
    EXPECT_FALSE(missingError);
    EXPECT_FALSE(missing);
    auto sent = server.requests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].method, "HEAD");
    EXPECT_EQ(sent[0].path, "/" + server.account() + "/layouts/user%207/layout.lay");

    // The download of a missing blob: the 404 as code 3, and no data at all
    // (the memory stream holds the service's error body, not the blob).
    auto [downloadError, data] = downloadData(blob);
    ASSERT_TRUE(downloadError);
    EXPECT_EQ(downloadError->domain(), BLSErrorDomain);
    EXPECT_EQ(downloadError->code(), 3);
    EXPECT_EQ(statusOf(*downloadError), 404);
    EXPECT_FALSE(data);

    struct Case {
        const char* name;
        std::size_t size;
    };
    const Case cases[] = {{"empty blob", 0}, {"a few bytes", 5}, {"more than 10 MiB", 10 * 1024 * 1024 + 12345}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes bytes = patternBytes(c.size, static_cast<std::uint32_t>(c.size) + 3);
        server.preloadBlob("layouts", "user 7/layout.lay", bytes);
        auto fresh = container->blockBlobReferenceFromName("user 7/layout.lay");
        auto [error, found] = exists(fresh);
        EXPECT_FALSE(error);
        EXPECT_TRUE(found);
        EXPECT_EQ(fresh->properties().length, static_cast<std::int64_t>(c.size));
        EXPECT_EQ(fresh->properties().blobType, BLSBlobTypeBlockBlob);

        auto [readError, read] = downloadData(fresh);
        ASSERT_FALSE(readError) << readError->localizedDescription();
        ASSERT_TRUE(read);
        EXPECT_EQ(read->size(), bytes.size());
        EXPECT_TRUE(*read == bytes);
        EXPECT_EQ(fresh->properties().length, static_cast<std::int64_t>(c.size));
    }
}

TEST_F(CloudBlobTest, StreamRangeTextAndFileDownloads) {
    Bytes hello = textBytes("hello world");
    server.preloadBlob("layouts", "hello.txt", hello, /*storeContentMD5=*/true);
    auto blob = container->blockBlobReferenceFromName("hello.txt");
    ASSERT_FALSE(await([&](auto done) { blob->downloadAttributesWithCompletionHandler(done); }));
    // MD5 of "hello world", base64.
    EXPECT_EQ(blob->properties().contentMD5, "XrY7u+Ae7tCTyyK7j1rNww==");
    EXPECT_EQ(blob->properties().length, 11);

    // A whole-blob stream download sends no range header.
    auto whole = platform::OutputStream::toMemory();
    ASSERT_FALSE(await([&](auto done) { blob->downloadToStream(whole, done); }));
    EXPECT_EQ(*whole->dataWrittenToMemory(), hello);
    auto gets = requestsFor(server, "getblob");
    ASSERT_EQ(gets.size(), 1u);
    EXPECT_FALSE(gets[0].header("x-bs-range"));
    EXPECT_FALSE(gets[0].header("Range"));

    // A range: its bytes, the blob's whole length (from Content-Range, not
    // the range's own Content-Length) and the whole blob's MD5 kept.
    auto part = platform::OutputStream::toMemory();
    ASSERT_FALSE(await([&](auto done) {
        blob->downloadToStream(part, BLSULLRange{6, 5}, nullptr, nullptr, nullptr, done);
    }));
    EXPECT_EQ(*part->dataWrittenToMemory(), textBytes("world"));
    EXPECT_EQ(blob->properties().length, 11);
    EXPECT_EQ(blob->properties().contentMD5, "XrY7u+Ae7tCTyyK7j1rNww==");
    gets = requestsFor(server, "getblob");
    ASSERT_EQ(gets.size(), 2u);
    EXPECT_EQ(gets[1].header("x-bs-range"), "bytes=6-10");

    // A range with its own MD5 asked for and checked; still the whole MD5 kept.
    auto options = std::make_shared<BLSBlobRequestOptions>();
    options->setUseTransactionalMD5(true);
    auto checked = platform::OutputStream::toMemory();
    ASSERT_FALSE(await([&](auto done) {
        blob->downloadToStream(checked, BLSULLRange{0, 5}, nullptr, options, nullptr, done);
    }));
    EXPECT_EQ(*checked->dataWrittenToMemory(), textBytes("hello"));
    EXPECT_EQ(blob->properties().contentMD5, "XrY7u+Ae7tCTyyK7j1rNww==");
    EXPECT_EQ(blob->properties().length, 11);

    // Text.
    Awaited<ErrorOut, std::optional<std::string>> text;
    blob->downloadToTextWithCompletionHandler(text.handler());
    auto [textError, value] = text.get();
    EXPECT_FALSE(textError);
    EXPECT_EQ(value, "hello world");

    // Bytes that are not UTF-8 give no text and an error.
    server.preloadBlob("layouts", "binary.bin", Bytes{0x68, 0xC3, 0x28, 0xFF});
    Awaited<ErrorOut, std::optional<std::string>> bad;
    container->blockBlobReferenceFromName("binary.bin")->downloadToTextWithCompletionHandler(bad.handler());
    auto [badError, badText] = bad.get();
    ASSERT_TRUE(badError);
    EXPECT_EQ(badError->code(), 6);
    EXPECT_FALSE(badText);

    // Files: written, then appended to.
    Bytes big = patternBytes(3 * 1024 * 1024 + 7, 99);
    server.preloadBlob("layouts", "big.lay", big);
    auto bigBlob = container->blockBlobReferenceFromName("big.lay");
    auto path = platform::Paths::root() / "download.lay";
    ASSERT_FALSE(await([&](auto done) { bigBlob->downloadToFileWithPath(path, false, done); }));
    auto readFile = [](const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    EXPECT_TRUE(readFile(path) == big);
    ASSERT_FALSE(await([&](auto done) { blob->downloadToFileWithURL(path, true, done); }));
    Bytes both = big;
    both.insert(both.end(), hello.begin(), hello.end());
    EXPECT_TRUE(readFile(path) == both);
    ASSERT_FALSE(await([&](auto done) { blob->downloadToFileWithPath(path, false, done); }));
    EXPECT_TRUE(readFile(path) == hello);
}

TEST_F(CloudBlobTest, DownloadIntoMissingFolderCompletesOnceWithStreamError) {
    // A 200 whose body could not be written is retried (at once, by the fixture).
    server.preloadBlob("layouts", "a.lay", patternBytes(70000));
    auto blob = container->blockBlobReferenceFromName("a.lay");
    auto path = platform::Paths::root() / "no such folder" / "a.lay";
    Awaited<ErrorOut> done;
    blob->downloadToFileWithPath(path, false, done.handler());
    auto [error] = done.get();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), BLSErrorDomain);
    EXPECT_EQ(error->code(), 8);
    EXPECT_FALSE(std::filesystem::exists(path));
    // Nothing later calls it a second time.
    ASSERT_FALSE(await([&](auto d) { blob->downloadAttributesWithCompletionHandler(d); }));
    EXPECT_EQ(done.calls(), 1);
}

TEST_F(CloudBlobTest, Md5Checks) {
    // A 200 whose headers were refused is retried (at once, by the fixture).
    Bytes bytes = patternBytes(200000, 5);
    server.preloadBlob("layouts", "stored.lay", bytes, /*storeContentMD5=*/true);
    auto blob = container->blockBlobReferenceFromName("stored.lay");

    // The service's MD5 is wrong for the body: code 4, and no data.
    server.addFault(R"({"operation": "getblob", "action": {"wrong_md5": true}})");
    auto [error, data] = downloadData(blob);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), BLSErrorDomain);
    EXPECT_EQ(error->code(), 4);
    EXPECT_FALSE(data);

    // With validation off the same answer is accepted.
    server.addFault(R"({"operation": "getblob", "action": {"wrong_md5": true}})");
    auto options = std::make_shared<BLSBlobRequestOptions>();
    options->setDisableContentMD5Validation(true);
    Awaited<ErrorOut, std::optional<Bytes>> unchecked;
    blob->downloadToDataWithAccessCondition(nullptr, options, nullptr, unchecked.handler());
    auto [uncheckedError, uncheckedData] = unchecked.get();
    EXPECT_FALSE(uncheckedError);
    ASSERT_TRUE(uncheckedData);
    EXPECT_TRUE(*uncheckedData == bytes);

    // An MD5 required per request but not sent: code 4 with empty user info.
    server.preloadBlob("layouts", "plain.lay", bytes);
    auto needMD5 = std::make_shared<BLSBlobRequestOptions>();
    needMD5->setUseTransactionalMD5(true);
    Awaited<ErrorOut, std::optional<Bytes>> required;
    container->blockBlobReferenceFromName("plain.lay")
        ->downloadToDataWithAccessCondition(nullptr, needMD5, nullptr, required.handler());
    auto [requiredError, requiredData] = required.get();
    ASSERT_TRUE(requiredError);
    EXPECT_EQ(requiredError->code(), 4);
    EXPECT_TRUE(requiredError->userInfo().empty());
    EXPECT_FALSE(requiredData);

    // A correct MD5 passes.
    auto [goodError, good] = downloadData(container->blockBlobReferenceFromName("stored.lay"));
    EXPECT_FALSE(goodError);
    ASSERT_TRUE(good);
    EXPECT_TRUE(*good == bytes);
}

TEST_F(CloudBlobTest, CutOffDownloadHandsOverNoData) {
    // The connection drops after part of the body reached memory: the
    // caller gets the error and no bytes that could pass for a whole file.
    Bytes bytes = patternBytes(3 * 1024 * 1024, 8);
    server.preloadBlob("layouts", "cut.lay", bytes);
    server.addFault(R"({"operation": "getblob", "action": {"drop_after_bytes": 100000}})");
    auto [error, data] = downloadData(container->blockBlobReferenceFromName("cut.lay"));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), BLSErrorDomain);
    EXPECT_EQ(error->code(), 2);
    EXPECT_FALSE(data);
    // Bytes had reached the caller's stream, so nothing was retried.
    EXPECT_EQ(requestsFor(server, "getblob").size(), 1u);

    server.addFault(R"({"operation": "getblob", "action": {"drop_after_bytes": 100000}})");
    Awaited<ErrorOut, std::optional<std::string>> text;
    container->blockBlobReferenceFromName("cut.lay")->downloadToTextWithCompletionHandler(text.handler());
    auto [textError, value] = text.get();
    ASSERT_TRUE(textError);
    EXPECT_FALSE(value);

    // Without the fault the same blob arrives whole.
    auto [wholeError, whole] = downloadData(container->blockBlobReferenceFromName("cut.lay"));
    ASSERT_FALSE(wholeError);
    ASSERT_TRUE(whole);
    EXPECT_TRUE(*whole == bytes);
}

TEST_F(CloudBlobTest, DownloadCutBeforeItsBodyIsRetriedIntoTheSameStream) {
    // The answer's head arrives, then the connection drops before any body
    // byte: the retry must write into the stream the first attempt opened,
    // on every road, and the caller gets the blob whole.
    Bytes bytes = patternBytes(300000, 21);
    server.preloadBlob("layouts", "plain.lay", bytes);
    server.preloadBlob("layouts", "summed.lay", bytes, /*storeContentMD5=*/true);
    auto readFile = [](const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    std::size_t getsBefore = 0;
    auto cutOnce = [&] {
        getsBefore = requestsFor(server, "getblob").size();
        server.addFault(R"({"operation": "getblob", "times": 1, "action": {"drop_after_bytes": 0}})");
    };
    auto expectOneRetry = [&](const char* road) {
        auto gets = requestsFor(server, "getblob");
        ASSERT_EQ(gets.size(), getsBefore + 2) << road;
        EXPECT_TRUE(gets[getsBefore].faulted) << road;
        EXPECT_FALSE(gets[getsBefore + 1].faulted) << road;
    };

    // Data: the body goes to memory straight from the transfer.
    cutOnce();
    auto [dataError, data] = downloadData(container->blockBlobReferenceFromName("plain.lay"));
    EXPECT_FALSE(dataError) << dataError->localizedDescription();
    EXPECT_TRUE(data == std::optional(bytes));
    expectOneRetry("data");

    // Text, of a blob with a stored MD5: through the download buffer, checked.
    const std::string textBlob(bytes.size(), 'v');
    server.preloadBlob("layouts", "text.txt", textBytes(textBlob), /*storeContentMD5=*/true);
    cutOnce();
    Awaited<ErrorOut, std::optional<std::string>> text;
    container->blockBlobReferenceFromName("text.txt")->downloadToTextWithCompletionHandler(text.handler());
    auto [textError, value] = text.get();
    EXPECT_FALSE(textError) << textError->localizedDescription();
    EXPECT_EQ(value, textBlob);
    expectOneRetry("text");

    // The caller's own stream, closed for it once the download is over.
    cutOnce();
    auto stream = platform::OutputStream::toFile(platform::Paths::root() / "stream.lay");
    EXPECT_FALSE(
        await([&](auto done) { container->blockBlobReferenceFromName("summed.lay")->downloadToStream(stream, done); }));
    EXPECT_EQ(stream->status(), platform::StreamStatus::Closed);
    EXPECT_TRUE(readFile(platform::Paths::root() / "stream.lay") == bytes);
    expectOneRetry("stream");

    // A file.
    cutOnce();
    auto path = platform::Paths::root() / "file.lay";
    EXPECT_FALSE(await([&](auto done) {
        container->blockBlobReferenceFromName("plain.lay")->downloadToFileWithPath(path, false, done);
    }));
    EXPECT_TRUE(readFile(path) == bytes);
    expectOneRetry("file");

    // A range into memory.
    cutOnce();
    auto part = platform::OutputStream::toMemory();
    EXPECT_FALSE(await([&](auto done) {
        container->blockBlobReferenceFromName("summed.lay")
            ->downloadToStream(part, BLSULLRange{1000, 5000}, nullptr, nullptr, nullptr, done);
    }));
    EXPECT_TRUE(*part->dataWrittenToMemory() == Bytes(bytes.begin() + 1000, bytes.begin() + 6000));
    expectOneRetry("range");
}

TEST_F(CloudBlobTest, ServiceErrorsByStatus) {
    server.preloadBlob("layouts", "a.lay", textBytes("abc"));
    auto blob = container->blockBlobReferenceFromName("a.lay");

    // 404.
    auto [missingError, missingData] = downloadData(container->blockBlobReferenceFromName("gone.lay"));
    ASSERT_TRUE(missingError);
    EXPECT_EQ(missingError->code(), 3);
    EXPECT_EQ(statusOf(*missingError), 404);

    // 412: a failed precondition.
    auto wrongTag = BLSAccessCondition::makeWithIfMatchCondition("\"not-the-etag\"");
    ErrorOut precondition =
        await([&](auto done) { blob->downloadAttributesWithAccessCondition(&wrongTag, nullptr, nullptr, done); });
    ASSERT_TRUE(precondition);
    EXPECT_EQ(precondition->code(), 3);
    EXPECT_EQ(statusOf(*precondition), 412);

    // 409: a second lease on a leased blob.
    Awaited<ErrorOut, std::optional<std::string>> first, second;
    blob->acquireLeaseWithLeaseTime(std::nullopt, std::string(kLeaseA), first.handler());
    EXPECT_FALSE(std::get<0>(first.get()));
    blob->acquireLeaseWithLeaseTime(std::nullopt, std::string(kLeaseB), second.handler());
    auto [conflict, noId] = second.get();
    ASSERT_TRUE(conflict);
    EXPECT_EQ(conflict->code(), 3);
    EXPECT_EQ(statusOf(*conflict), 409);
    EXPECT_FALSE(noId);

    // 403: signed with the wrong key. Exists reports it instead of NO.
    std::string badKey = "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=";
    ASSERT_NE(badKey, server.keyBase64());
    auto badClient = clientWithKey(badKey);
    ASSERT_TRUE(badClient);
    auto badBlob = badClient->containerReferenceFromName("layouts")->blockBlobReferenceFromName("a.lay");
    auto [forbidden, flag] = exists(badBlob);
    ASSERT_TRUE(forbidden);
    EXPECT_EQ(forbidden->code(), 3);
    EXPECT_EQ(statusOf(*forbidden), 403);
    EXPECT_FALSE(flag);
    auto [forbiddenRead, forbiddenData] = downloadData(badBlob);
    ASSERT_TRUE(forbiddenRead);
    EXPECT_EQ(statusOf(*forbiddenRead), 403);
    EXPECT_FALSE(forbiddenData);
}

TEST_F(CloudBlobTest, ServerBusyIsRetriedWithTheSameClientRequestId) {
    Bytes bytes = patternBytes(4096, 11);
    server.preloadBlob("layouts", "busy.lay", bytes);
    server.addFault(R"({"operation": "getblob", "times": 2, "action": {"status": 503}})");

    auto context = std::make_shared<BLSOperationContext>();
    Awaited<ErrorOut, std::optional<Bytes>> done;
    container->blockBlobReferenceFromName("busy.lay")
        ->downloadToDataWithAccessCondition(nullptr, nullptr, context, done.handler());
    auto [error, data] = done.get();
    ASSERT_FALSE(error) << error->localizedDescription();
    ASSERT_TRUE(data);
    EXPECT_TRUE(*data == bytes);

    auto gets = requestsFor(server, "getblob");
    ASSERT_EQ(gets.size(), 3u);
    EXPECT_EQ(gets[0].status, 503);
    EXPECT_EQ(gets[1].status, 503);
    EXPECT_EQ(gets[2].status, 200);
    for (const auto& request : gets) EXPECT_EQ(request.header("x-bs-client-request-id"), context->clientRequestId());
    EXPECT_EQ(context->requestResults().size(), 3u);

    // The short form, as the sharing client calls it: a fresh id, kept for its retries.
    server.reset();
    server.preloadBlob("layouts", "busy.lay", bytes);
    server.addFault(R"({"operation": "getblob", "times": 2, "action": {"status": 503}})");
    auto [shortError, shortData] = downloadData(container->blockBlobReferenceFromName("busy.lay"));
    ASSERT_FALSE(shortError);
    ASSERT_TRUE(shortData);
    EXPECT_TRUE(*shortData == bytes);
    gets = requestsFor(server, "getblob");
    ASSERT_EQ(gets.size(), 3u);
    ASSERT_TRUE(gets[0].header("x-bs-client-request-id"));
    EXPECT_NE(gets[0].header("x-bs-client-request-id"), context->clientRequestId());
    EXPECT_EQ(gets[1].header("x-bs-client-request-id"), gets[0].header("x-bs-client-request-id"));
    EXPECT_EQ(gets[2].header("x-bs-client-request-id"), gets[0].header("x-bs-client-request-id"));
}

TEST_F(CloudBlobTest, PropertiesAndMetadata) {
    server.preloadBlob("layouts", "p.lay", textBytes("0123456789"));
    auto blob = container->blockBlobReferenceFromName("p.lay");
    ASSERT_FALSE(await([&](auto done) { blob->downloadAttributesWithCompletionHandler(done); }));
    auto firstTag = blob->properties().eTag;
    ASSERT_TRUE(firstTag);

    blob->properties().contentType = "application/x-layout";
    blob->properties().cacheControl = "max-age=60";
    blob->properties().contentLanguage = "de";
    blob->setMetadata({{"Owner", "Ann"}, {"scale", "H0"}});
    ASSERT_FALSE(await([&](auto done) { blob->uploadPropertiesWithCompletionHandler(done); }));
    auto afterProperties = blob->properties().eTag;
    EXPECT_NE(afterProperties, firstTag);

    // A fresh reference sees what was sent.
    auto other = container->blockBlobReferenceFromName("p.lay");
    ASSERT_FALSE(await([&](auto done) { other->downloadAttributesWithCompletionHandler(done); }));
    EXPECT_EQ(other->properties().contentType, "application/x-layout");
    EXPECT_EQ(other->properties().cacheControl, "max-age=60");
    EXPECT_EQ(other->properties().contentLanguage, "de");
    EXPECT_EQ(other->properties().length, 10);
    EXPECT_EQ(other->properties().eTag, afterProperties);
    EXPECT_EQ(other->properties().leaseState, BLSLeaseStateAvailable);
    EXPECT_EQ(other->properties().leaseStatus, BLSLeaseStatusUnlocked);

    // Metadata.
    ASSERT_FALSE(await([&](auto done) { blob->uploadMetadataWithCompletionHandler(done); }));
    EXPECT_NE(blob->properties().eTag, afterProperties);
    ASSERT_FALSE(await([&](auto done) { other->downloadAttributesWithCompletionHandler(done); }));
    EXPECT_EQ(other->metadata(), (BLSMetadata{{"Owner", "Ann"}, {"scale", "H0"}}));
    blob->setMetadata({{"Owner", "Bo"}});
    ASSERT_FALSE(await([&](auto done) { blob->uploadMetadataWithCompletionHandler(done); }));
    ASSERT_FALSE(await([&](auto done) { other->downloadAttributesWithCompletionHandler(done); }));
    EXPECT_EQ(other->metadata(), (BLSMetadata{{"Owner", "Bo"}}));
    EXPECT_EQ(other->properties().eTag, blob->properties().eTag);
    EXPECT_EQ(other->properties().contentType, "application/x-layout");

    // A failed upload changes nothing of the object.
    auto gone = container->blockBlobReferenceFromName("gone.lay");
    gone->properties().contentType = "text/plain";
    ErrorOut error = await([&](auto done) { gone->uploadPropertiesWithCompletionHandler(done); });
    ASSERT_TRUE(error);
    EXPECT_EQ(statusOf(*error), 404);
    EXPECT_FALSE(gone->properties().eTag);
    EXPECT_EQ(gone->properties().contentType, "text/plain");
}

TEST_F(CloudBlobTest, Leases) {
    server.preloadBlob("layouts", "l.lay", textBytes("lease me"));
    auto blob = container->blockBlobReferenceFromName("l.lay");

    // Refusals send nothing.
    auto before = server.requests().size();
    ErrorOut renew = await([&](auto done) { blob->renewLeaseWithAccessCondition(nullptr, done); });
    ASSERT_TRUE(renew);
    EXPECT_EQ(renew->code(), 1);
    EXPECT_EQ(descriptionOf(*renew), "Cannot renew a lease without providing a lease ID.");
    BLSAccessCondition noLease = BLSAccessCondition::makeWithIfMatchCondition("\"x\"");
    ErrorOut release = await([&](auto done) { blob->releaseLeaseWithAccessCondition(&noLease, done); });
    ASSERT_TRUE(release);
    EXPECT_EQ(release->code(), 1);
    EXPECT_EQ(descriptionOf(*release), "Cannot release a lease without providing a lease ID.");
    const char* changeText = "Cannot change a lease without providing an existing lease ID and a proposed new one.";
    // An empty ID identifies no lease.
    BLSAccessCondition emptyLease = BLSAccessCondition::makeWithLeaseId("");
    ErrorOut emptyRelease = await([&](auto done) { blob->releaseLeaseWithAccessCondition(&emptyLease, done); });
    ASSERT_TRUE(emptyRelease);
    EXPECT_EQ(emptyRelease->code(), 1);
    EXPECT_EQ(descriptionOf(*emptyRelease), "Cannot release a lease without providing a lease ID.");
    BLSAccessCondition withA = BLSAccessCondition::makeWithLeaseId(kLeaseA);
    const std::pair<std::optional<std::string>, const BLSAccessCondition*> refusedChanges[] = {
        {std::nullopt, &withA},           {std::string(kLeaseB), nullptr},
        {std::string(kLeaseB), &noLease}, {std::string(kLeaseB), &emptyLease},
        {std::string(), &withA},
    };
    for (const auto& [proposed, condition] : refusedChanges) {
        Awaited<ErrorOut, std::optional<std::string>> change;
        blob->changeLeaseWithProposedLeaseId(proposed, condition, change.handler());
        auto [changeError, changeId] = change.get();
        ASSERT_TRUE(changeError);
        EXPECT_EQ(changeError->code(), 1);
        EXPECT_EQ(descriptionOf(*changeError), changeText);
        EXPECT_FALSE(changeId);
    }
    EXPECT_EQ(server.requests().size(), before);

    // Acquire (infinite when no time is given), renew, change, release.
    Awaited<ErrorOut, std::optional<std::string>> acquire;
    blob->acquireLeaseWithLeaseTime(std::nullopt, std::string(kLeaseA), acquire.handler());
    auto [acquireError, leaseId] = acquire.get();
    ASSERT_FALSE(acquireError);
    EXPECT_EQ(leaseId, kLeaseA);
    auto leases = requestsFor(server, "leaseblob");
    ASSERT_EQ(leases.size(), 1u);
    EXPECT_EQ(leases[0].header("x-bs-lease-action"), "acquire");
    EXPECT_EQ(leases[0].header("x-bs-lease-duration"), "-1");
    EXPECT_TRUE(blob->properties().eTag);

    ASSERT_FALSE(await([&](auto done) { blob->renewLeaseWithAccessCondition(&withA, done); }));

    // Writes without the lease fail with 412.
    ErrorOut locked = await([&](auto done) { blob->uploadMetadataWithCompletionHandler(done); });
    ASSERT_TRUE(locked);
    EXPECT_EQ(statusOf(*locked), 412);

    Awaited<ErrorOut, std::optional<std::string>> change;
    blob->changeLeaseWithProposedLeaseId(std::string(kLeaseB), &withA, change.handler());
    auto [changeError, newId] = change.get();
    ASSERT_FALSE(changeError);
    EXPECT_EQ(newId, kLeaseB);

    ASSERT_FALSE(await([&](auto done) { blob->downloadAttributesWithCompletionHandler(done); }));
    EXPECT_EQ(blob->properties().leaseState, BLSLeaseStateLeased);
    EXPECT_EQ(blob->properties().leaseStatus, BLSLeaseStatusLocked);
    EXPECT_EQ(blob->properties().leaseDuration, BLSLeaseDurationInfinite);

    BLSAccessCondition withB = BLSAccessCondition::makeWithLeaseId(kLeaseB);
    ErrorOut wrongRelease = await([&](auto done) { blob->releaseLeaseWithAccessCondition(&withA, done); });
    ASSERT_TRUE(wrongRelease);
    EXPECT_EQ(statusOf(*wrongRelease), 409);
    ASSERT_FALSE(await([&](auto done) { blob->releaseLeaseWithAccessCondition(&withB, done); }));
    ASSERT_FALSE(await([&](auto done) { blob->downloadAttributesWithCompletionHandler(done); }));
    EXPECT_EQ(blob->properties().leaseState, BLSLeaseStateAvailable);

    // A fixed lease broken at once: the remaining time is 0.
    Awaited<ErrorOut, std::optional<std::string>> fixed;
    blob->acquireLeaseWithLeaseTime(30, std::nullopt, fixed.handler());
    auto [fixedError, fixedId] = fixed.get();
    ASSERT_FALSE(fixedError);
    ASSERT_TRUE(fixedId);
    EXPECT_FALSE(fixedId->empty());
    EXPECT_EQ(requestsFor(server, "leaseblob").back().header("x-bs-lease-duration"), "30");
    Awaited<ErrorOut, std::optional<std::int64_t>> broken;
    blob->breakLeaseWithBreakPeriod(0, broken.handler());
    auto [breakError, remaining] = broken.get();
    ASSERT_FALSE(breakError);
    EXPECT_EQ(remaining, 0);
    EXPECT_EQ(requestsFor(server, "leaseblob").back().header("x-bs-lease-break-period"), "0");
    ASSERT_FALSE(await([&](auto done) { blob->downloadAttributesWithCompletionHandler(done); }));
    EXPECT_EQ(blob->properties().leaseState, BLSLeaseStateBroken);

    // Breaking where there is no lease: the service's 409.
    auto unleased = container->blockBlobReferenceFromName("free.lay");
    server.preloadBlob("layouts", "free.lay", textBytes("x"));
    Awaited<ErrorOut, std::optional<std::int64_t>> noLeaseBreak;
    unleased->breakLeaseWithBreakPeriod(std::nullopt, noLeaseBreak.handler());
    auto [noLeaseError, noTime] = noLeaseBreak.get();
    ASSERT_TRUE(noLeaseError);
    EXPECT_EQ(statusOf(*noLeaseError), 409);
    EXPECT_FALSE(noTime);
}

// A container takes ETag and date from every lease answer, a refusal too;
// a blob only from a successful one.
TEST_F(CloudBlobTest, RefusedLeaseAnswersUpdateTheContainerButNotTheBlob) {
    ASSERT_FALSE(await([&](auto done) { container->createContainerWithCompletionHandler(done); }));
    server.preloadBlob("layouts", "l.lay", textBytes("lease me"));
    auto blob = container->blockBlobReferenceFromName("l.lay");
    ASSERT_FALSE(await([&](auto done) { blob->downloadAttributesWithCompletionHandler(done); }));
    ASSERT_TRUE(blob->properties().eTag);
    const auto blobTag = blob->properties().eTag;
    const auto blobModified = blob->properties().lastModified;
    const auto containerModified = container->properties().lastModified;

    for (const char* operation : {"leasecontainer", "leaseblob"}) {
        server.addFault(std::string(R"({"operation": ")") + operation +
                        R"(", "action": {"status": 409, "code": "LeaseAlreadyPresent", "headers": [)"
                        R"(["ETag", "\"0x8D0REFUSED\""], ["Last-Modified", "Wed, 01 Jan 2025 10:00:00 GMT"]]}})");
    }
    auto expectRefused = [](const auto& leased) {
        Awaited<ErrorOut, std::optional<std::string>> lease;
        leased->acquireLeaseWithLeaseTime(std::nullopt, std::string(kLeaseA), lease.handler());
        auto [error, leaseId] = lease.get();
        ASSERT_TRUE(error);
        EXPECT_EQ(statusOf(*error), 409);
        EXPECT_FALSE(leaseId);
    };
    expectRefused(container);
    EXPECT_EQ(container->properties().eTag, std::optional<std::string>("\"0x8D0REFUSED\""));
    EXPECT_NE(container->properties().lastModified, containerModified);
    expectRefused(blob);
    EXPECT_EQ(blob->properties().eTag, blobTag);
    EXPECT_EQ(blob->properties().lastModified, blobModified);
    EXPECT_EQ(requestsFor(server, "leasecontainer").size(), 1u);
    EXPECT_EQ(requestsFor(server, "leaseblob").size(), 1u);
}

TEST_F(CloudBlobTest, SnapshotSharesPropertiesAndKeepsOldContent) {
    Bytes original = textBytes("first version");
    server.preloadBlob("layouts", "s.lay", original);
    auto blob = container->blockBlobReferenceFromName("s.lay");
    blob->setMetadata({{"Owner", "Ann"}});

    Awaited<ErrorOut, std::shared_ptr<BLSCloudBlob>> made;
    blob->snapshotBlobWithMetadata(nullptr, made.handler());
    auto [error, snapshot] = made.get();
    ASSERT_FALSE(error);
    ASSERT_TRUE(snapshot);
    ASSERT_TRUE(snapshot->snapshotTime());
    EXPECT_FALSE(snapshot->snapshotTime()->empty());
    EXPECT_EQ(snapshot->blobName(), "s.lay");
    EXPECT_EQ(snapshot->blobContainer(), container);
    EXPECT_EQ(snapshot->metadata(), (BLSMetadata{{"Owner", "Ann"}}));
    EXPECT_TRUE(blob->properties().eTag);
    EXPECT_EQ(snapshot->properties().eTag, blob->properties().eTag);
    // One properties object for both.
    snapshot->properties().contentLanguage = "fr";
    EXPECT_EQ(blob->properties().contentLanguage, "fr");

    // The base blob changes; the snapshot keeps the old bytes.
    server.preloadBlob("layouts", "s.lay", textBytes("second version, longer"));
    auto [snapError, snapData] = downloadData(snapshot);
    ASSERT_FALSE(snapError);
    ASSERT_TRUE(snapData);
    EXPECT_TRUE(*snapData == original);
    auto snapGet = requestsFor(server, "getblob").back();
    EXPECT_NE(snapGet.query.find("snapshot="), std::string::npos);
    auto [baseError, baseData] = downloadData(container->blockBlobReferenceFromName("s.lay"));
    ASSERT_TRUE(baseData);
    EXPECT_TRUE(*baseData == textBytes("second version, longer"));

    // Given metadata goes to the snapshot object and to the service.
    BLSMetadata given{{"kind", "backup"}};
    Awaited<ErrorOut, std::shared_ptr<BLSCloudBlob>> withMetadata;
    blob->snapshotBlobWithMetadata(&given, withMetadata.handler());
    auto [metaError, second] = withMetadata.get();
    ASSERT_FALSE(metaError);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->metadata(), given);
    EXPECT_NE(second->snapshotTime(), snapshot->snapshotTime());
    auto check = BLSCloudBlob::makeWithContainer(container, "s.lay", second->snapshotTime());
    ASSERT_FALSE(await([&](auto done) { check->downloadAttributesWithCompletionHandler(done); }));
    EXPECT_EQ(check->metadata(), given);

    // Snapshot of a missing blob: the error and no object.
    Awaited<ErrorOut, std::shared_ptr<BLSCloudBlob>> failed;
    container->blockBlobReferenceFromName("none.lay")->snapshotBlobWithMetadata(nullptr, failed.handler());
    auto [failedError, none] = failed.get();
    ASSERT_TRUE(failedError);
    EXPECT_EQ(statusOf(*failedError), 404);
    EXPECT_FALSE(none);
}

TEST_F(CloudBlobTest, CopyDeleteAndAbort) {
    Bytes bytes = patternBytes(50000, 21);
    server.preloadBlob("layouts", "src.lay", bytes);
    auto source = container->blockBlobReferenceFromName("src.lay");
    auto target = containerNamed("copies")->blockBlobReferenceFromName("dst.lay");
    Awaited<ErrorOut> makeContainer;
    containerNamed("copies")->createContainerWithCompletionHandler(makeContainer.handler());
    ASSERT_FALSE(std::get<0>(makeContainer.get()));

    Awaited<ErrorOut, std::optional<std::string>> copy;
    target->startAsyncCopyFromBlob(source, copy.handler());
    auto [copyError, copyId] = copy.get();
    ASSERT_FALSE(copyError);
    ASSERT_TRUE(copyId);
    EXPECT_FALSE(copyId->empty());
    EXPECT_EQ(target->blobCopyState().operationId, copyId);
    EXPECT_EQ(target->blobCopyState().copyStatus, BLSCopyStatusSuccess);
    auto copied = server.blobBytes("copies", "dst.lay");
    ASSERT_TRUE(copied);
    EXPECT_TRUE(*copied == bytes);
    auto copies = requestsFor(server, "copyblob");
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies[0].header("x-bs-copy-source"), server.baseUrl() + "/layouts/src.lay");

    // The copy's attributes carry the copy state.
    auto check = containerNamed("copies")->blockBlobReferenceFromName("dst.lay");
    ASSERT_FALSE(await([&](auto done) { check->downloadAttributesWithCompletionHandler(done); }));
    EXPECT_EQ(check->blobCopyState().operationId, copyId);
    ASSERT_TRUE(check->blobCopyState().source);
    EXPECT_EQ(check->blobCopyState().source->absoluteString(), server.baseUrl() + "/layouts/src.lay");

    // Copy from a snapshot source copies the snapshot's bytes.
    Awaited<ErrorOut, std::shared_ptr<BLSCloudBlob>> made;
    source->snapshotBlobWithMetadata(nullptr, made.handler());
    auto snapshot = std::get<1>(made.get());
    ASSERT_TRUE(snapshot);
    server.preloadBlob("layouts", "src.lay", textBytes("changed"));
    Awaited<ErrorOut, std::optional<std::string>> fromSnapshot;
    target->startAsyncCopyFromBlob(snapshot, fromSnapshot.handler());
    ASSERT_FALSE(std::get<0>(fromSnapshot.get()));
    copied = server.blobBytes("copies", "dst.lay");
    ASSERT_TRUE(copied);
    EXPECT_TRUE(*copied == bytes);

    // Abort with an id that is not pending: the service's 409.
    const std::string finishedCopy = *copyId;
    ErrorOut abortError = await([&](auto done) { target->abortAsyncCopyWithCopyId(finishedCopy, done); });
    ASSERT_TRUE(abortError);
    EXPECT_EQ(statusOf(*abortError), 409);

    // Delete: gone afterwards; a second delete is the 404.
    ASSERT_FALSE(await([&](auto done) { target->deleteWithCompletionHandler(done); }));
    EXPECT_FALSE(server.blobBytes("copies", "dst.lay"));
    auto [existsError, stillThere] = exists(target);
    EXPECT_FALSE(existsError);
    EXPECT_FALSE(stillThere);
    ErrorOut again = await([&](auto done) { target->deleteWithCompletionHandler(done); });
    ASSERT_TRUE(again);
    EXPECT_EQ(again->code(), 3);
    EXPECT_EQ(statusOf(*again), 404);

    // Deleting the snapshot alone leaves the base blob.
    ASSERT_FALSE(await([&](auto done) { snapshot->deleteWithCompletionHandler(done); }));
    EXPECT_TRUE(server.blobBytes("layouts", "src.lay"));
    auto [snapExistsError, snapExists] = exists(snapshot);
    EXPECT_FALSE(snapExistsError);
    EXPECT_FALSE(snapExists);
}

TEST_F(CloudBlobTest, BlobTypeMismatchChangesNothing) {
    Bytes bytes = textBytes("block blob bytes");
    server.preloadBlob("layouts", "b.lay", bytes);
    const char* text = "Blob type on the local object does not match blob type on the service.";

    auto page = container->pageBlobReferenceFromName("b.lay");
    page->properties().contentLanguage = "en";
    auto [error, data] = downloadData(page);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), 1);
    EXPECT_EQ(descriptionOf(*error), text);
    EXPECT_FALSE(data);
    EXPECT_EQ(page->properties().blobType, BLSBlobTypePageBlob);
    EXPECT_FALSE(page->properties().length);
    EXPECT_FALSE(page->properties().eTag);
    EXPECT_EQ(page->properties().contentLanguage, "en");

    auto append = container->appendBlobReferenceFromName("b.lay");
    auto [existsError, found] = exists(append);
    ASSERT_TRUE(existsError);
    EXPECT_EQ(existsError->code(), 1);
    EXPECT_EQ(descriptionOf(*existsError), text);
    EXPECT_FALSE(found);
    EXPECT_EQ(append->properties().blobType, BLSBlobTypeAppendBlob);

    // A plain blob made from an address has no kind of its own: it reads any.
    ErrorOut urlError;
    auto plain = BLSCloudBlob::makeWithUrl(
        *platform::net::URL::parse(server.baseUrl() + "/layouts/b.lay"),
        std::make_shared<BLSStorageCredentials>(server.account(), server.keyBase64()), std::nullopt, urlError);
    ASSERT_TRUE(plain) << (urlError ? urlError->localizedDescription() : "");
    EXPECT_EQ(plain->properties().blobType, BLSBlobTypeUnspecified);
    auto [plainError, plainData] = downloadData(plain);
    ASSERT_FALSE(plainError);
    ASSERT_TRUE(plainData);
    EXPECT_TRUE(*plainData == bytes);
    EXPECT_EQ(plain->properties().blobType, BLSBlobTypeBlockBlob);
}

TEST_F(CloudBlobTest, BlobFromAnAddressWithItsOwnSignature) {
    server.preloadBlob("layouts", "shared/doc.lay", textBytes("shared text"));
    BLSSharedAccessBlobParameters parameters;
    parameters.permissions = 1;  // read
    parameters.sharedAccessExpiryTime = std::chrono::system_clock::now() + std::chrono::hours(1);
    ErrorOut sasError;
    auto sas = container->blockBlobReferenceFromName("shared/doc.lay")
                   ->createSharedAccessSignatureWithParameters(parameters, sasError);
    ASSERT_TRUE(sas) << (sasError ? sasError->localizedDescription() : "");
    const std::string query = (*sas)[0] == '?' ? sas->substr(1) : *sas;
    auto url = platform::net::URL::parse(server.baseUrl() + "/layouts/shared/doc.lay?" + query);
    ASSERT_TRUE(url);

    struct Case {
        const char* name;
        std::shared_ptr<BLSStorageCredentials> credentials;
    };
    const Case cases[] = {
        {"no credentials given", nullptr},
        {"anonymous credentials given", std::make_shared<BLSStorageCredentials>()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ErrorOut plainError, blockError;
        auto plain = BLSCloudBlob::makeWithUrl(*url, c.credentials, std::nullopt, plainError);
        auto block =
            BLSCloudBlockBlob::makeWithStorageUri(BLSStorageUri(*url), c.credentials, std::nullopt, blockError);
        ASSERT_TRUE(plain && block);
        for (const auto& blob : {plain, std::shared_ptr<BLSCloudBlob>(block)}) {
            // The address's signature is the blob's credentials, and the
            // service accepts it.
            ASSERT_TRUE(blob->client()->credentials());
            EXPECT_TRUE(blob->client()->credentials()->isSAS());
            EXPECT_EQ(blob->blobName(), "shared/doc.lay");
            EXPECT_FALSE(blob->storageUri().primaryUri()->query());
            auto [readError, data] = downloadData(blob);
            ASSERT_FALSE(readError) << readError->localizedDescription();
            EXPECT_EQ(data, textBytes("shared text"));
            auto read = requestsFor(server, "getblob").back();
            EXPECT_NE(read.query.find("sig="), std::string::npos);
            EXPECT_FALSE(read.header("Authorization"));
        }
    }
}

TEST_F(CloudBlobTest, AddressInitialisersAndSignatures) {
    using platform::net::URL;
    auto key = std::make_shared<BLSStorageCredentials>(server.account(), server.keyBase64());
    auto sas = BLSStorageCredentials::makeWithSASToken("sv=2016-03-14&sr=b&sp=r&sig=abc%3D");
    const std::string base = server.baseUrl();

    struct Case {
        const char* name;
        std::string url;
        std::shared_ptr<BLSStorageCredentials> credentials;
        std::optional<std::string> snapshot;
        bool ok;
    };
    std::vector<std::pair<BLSLogLevel, std::string>> logged;
    std::mutex logMutex;
    BLSUtil::operationlessContext()->setLogLevel(BLSLogLevelDebug);
    BLSUtil::operationlessContext()->setLogFunction([&](BLSLogLevel level, const std::string& text) {
        std::lock_guard<std::mutex> lock(logMutex);
        logged.emplace_back(level, text);
    });
    const Case cases[] = {
        {"plain address", base + "/layouts/dir/a.lay", key, std::nullopt, true},
        {"signature in the address, none given", base + "/layouts/a.lay?sv=2016-03-14&sr=b&sp=r&sig=abc%3D", nullptr,
         std::nullopt, true},
        {"signature in the address and a shared key", base + "/layouts/a.lay?sv=2016-03-14&sr=b&sp=r&sig=abc%3D", key,
         std::nullopt, false},
        {"signature in the address and a signature", base + "/layouts/a.lay?sv=2016-03-14&sr=b&sp=r&sig=abc%3D", sas,
         std::nullopt, false},
        {"snapshot in the address and given", base + "/layouts/a.lay?snapshot=2020-01-01T00%3A00%3A00.0000000Z", key,
         std::string("2021-01-01T00:00:00.0000000Z"), false},
        {"address of a container", base + "/layouts", key, std::nullopt, false},
    };
    const char* expectedLogs[] = {nullptr,
                                  nullptr,
                                  "Multiple credentials provided.",
                                  "Multiple credentials provided.",
                                  "Multiple snapshot times provided.",
                                  nullptr};
    int caseIndex = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            std::lock_guard<std::mutex> lock(logMutex);
            logged.clear();
        }
        const char* expectedLog = expectedLogs[caseIndex++];
        auto url = URL::parse(c.url);
        ASSERT_TRUE(url);
        ErrorOut e1, e2, e3, e4;
        auto plain = BLSCloudBlob::makeWithUrl(*url, c.credentials, c.snapshot, e1);
        auto block = BLSCloudBlockBlob::makeWithUrl(*url, c.credentials, c.snapshot, e2);
        auto page = BLSCloudPageBlob::makeWithStorageUri(BLSStorageUri(*url), c.credentials, c.snapshot, e3);
        auto append = BLSCloudAppendBlob::makeWithStorageUri(BLSStorageUri(*url), c.credentials, c.snapshot, e4);
        if (c.ok) {
            ASSERT_TRUE(plain && block && page && append);
            EXPECT_EQ(plain->properties().blobType, 0);
            EXPECT_EQ(block->properties().blobType, 2);
            EXPECT_EQ(page->properties().blobType, 1);
            EXPECT_EQ(append->properties().blobType, 3);
            EXPECT_FALSE(plain->blobContainer());
        } else {
            EXPECT_FALSE(plain || block || page || append);
            for (const ErrorOut* e : {&e1, &e2, &e3, &e4}) {
                ASSERT_TRUE(*e);
                EXPECT_EQ((*e)->domain(), BLSErrorDomain);
                EXPECT_EQ((*e)->code(), 1);
            }
        }
        std::lock_guard<std::mutex> lock(logMutex);
        if (expectedLog) {
            // Once per initialiser, at error level.
            ASSERT_EQ(logged.size(), 4u);
            for (const auto& [level, text] : logged) {
                EXPECT_EQ(level, BLSLogLevelError);
                EXPECT_EQ(text, expectedLog);
            }
        }
    }
    BLSUtil::operationlessContext()->setLogFunction(nullptr);

    // Name, address without query, snapshot time and credentials taken from the address.
    ErrorOut error;
    auto fromQuery = BLSCloudBlockBlob::makeWithUrl(
        *URL::parse(
            base +
            "/layouts/dir/a%20b.lay?snapshot=2020-01-01T00%3A00%3A00.0000000Z&sv=2016-03-14&sr=b&sp=r&sig=abc%3D"),
        error);
    ASSERT_TRUE(fromQuery);
    EXPECT_EQ(fromQuery->blobName(), "dir/a b.lay");
    EXPECT_EQ(fromQuery->snapshotTime(), "2020-01-01T00:00:00.0000000Z");
    EXPECT_FALSE(fromQuery->storageUri().primaryUri()->query());
    ASSERT_TRUE(fromQuery->client()->credentials());
    EXPECT_TRUE(fromQuery->client()->credentials()->isSAS());
    EXPECT_EQ(fromQuery->client()->storageUri().primaryUri()->absoluteString(), base);

    // Every reference kind from a container: its type, the container's client and address.
    const std::pair<std::shared_ptr<BLSCloudBlob>, long> kinds[] = {
        {BLSCloudBlockBlob::makeWithContainer(container, "k"), 2},
        {BLSCloudBlockBlob::makeWithContainer(container, "k", std::string("snap")), 2},
        {BLSCloudPageBlob::makeWithContainer(container, "k"), 1},
        {BLSCloudPageBlob::makeWithContainer(container, "k", std::string("snap")), 1},
        {BLSCloudAppendBlob::makeWithContainer(container, "k"), 3},
        {BLSCloudAppendBlob::makeWithContainer(container, "k", std::string("snap")), 3},
        {BLSCloudBlob::makeWithContainer(container, "k"), 0},
    };
    for (const auto& [blob, type] : kinds) {
        EXPECT_EQ(blob->properties().blobType, type);
        EXPECT_EQ(blob->client(), client);
        EXPECT_EQ(blob->storageUri().primaryUri()->absoluteString(), base + "/layouts/k");
        EXPECT_TRUE(blob->metadata().empty());
    }

    // Canonical name and signatures.
    auto named = container->blockBlobReferenceFromName("dir/a.lay");
    EXPECT_EQ(named->createSharedAccessCanonicalName(), "/blob/" + server.account() + "/layouts/dir/a.lay");
    ErrorOut plainError;
    auto fromAddress =
        BLSCloudBlob::makeWithUrl(*URL::parse(base + "/layouts/dir/a.lay"), key, std::nullopt, plainError);
    ASSERT_TRUE(fromAddress);
    EXPECT_EQ(fromAddress->createSharedAccessCanonicalName(), "/blob/" + server.account() + "/layouts/dir/a.lay");

    BLSSharedAccessBlobParameters parameters;
    parameters.permissions = 1;  // read
    parameters.sharedAccessExpiryTime = std::chrono::system_clock::now() + std::chrono::hours(1);
    ErrorOut sasError;
    auto query = named->createSharedAccessSignatureWithParameters(parameters, sasError);
    ASSERT_TRUE(query) << (sasError ? sasError->localizedDescription() : "");
    EXPECT_NE(query->find("sr=b"), std::string::npos);
    EXPECT_NE(query->find("sig="), std::string::npos);

    // The signature works against the service: read with it alone.
    server.preloadBlob("layouts", "dir/a.lay", textBytes("signed read"));
    std::string queryText = (*query)[0] == '?' ? query->substr(1) : *query;
    ErrorOut signedError;
    auto signedBlob =
        BLSCloudBlockBlob::makeWithUrl(*URL::parse(base + "/layouts/dir/a.lay?" + queryText), signedError);
    ASSERT_TRUE(signedBlob);
    auto [readError, readData] = downloadData(signedBlob);
    ASSERT_FALSE(readError) << readError->localizedDescription();
    ASSERT_TRUE(readData);
    EXPECT_TRUE(*readData == textBytes("signed read"));

    // No account key, no signature.
    ErrorOut noKeyError;
    EXPECT_FALSE(signedBlob->createSharedAccessSignatureWithParameters(parameters, noKeyError));
    ASSERT_TRUE(noKeyError);
    EXPECT_EQ(noKeyError->code(), 1);
}

}  // namespace
