// Containers against the blob service stand-in: create and delete with their
// conditional forms, exists, metadata and attributes, permissions, leases,
// listings with pages and prefixes, references, shared access signatures
// and containers made from addresses.

#include "storage/BLSCloudBlobContainer.h"

#include "storage/BLSAccessCondition.h"
#include "storage/BLSCloudAppendBlob.h"
#include "storage/BLSCloudBlob.h"
#include "storage/BLSCloudBlobDirectory.h"
#include "storage/BLSCloudBlockBlob.h"
#include "storage/BLSCloudClient.h"
#include "storage/BLSCloudPageBlob.h"
#include "storage/BLSCloudStorageAccount.h"
#include "storage/BLSErrors.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSRequestOptions.h"
#include "storage/BLSRequestResult.h"
#include "storage/BLSRetryPolicy.h"
#include "storage/BLSSharedAccessSignatureHelper.h"
#include "storage/BLSStorageCredentials.h"
#include "tests/storage/support/StorageTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace storagetest;
using Policies = BLSCloudBlobContainer::StoredPolicies;
using namespace std::chrono_literals;

constexpr const char* kLeaseA = "11111111-2222-3333-4444-555555555555";
constexpr const char* kLeaseB = "66666666-7777-8888-9999-000000000000";

std::vector<std::string> blobNames(const BLSBlobResultSegment& segment) {
    std::vector<std::string> names;
    for (const auto& blob : segment.blobs) names.push_back(blob->blobName());
    return names;
}

std::vector<std::string> directoryNames(const BLSBlobResultSegment& segment) {
    std::vector<std::string> names;
    for (const auto& directory : segment.directories) names.push_back(directory->name());
    return names;
}

class CloudBlobContainerTest : public StorageServerTest {
protected:
    std::tuple<ErrorOut, bool> awaitFlag(const std::function<void(BLSCloudBlobContainer::FlagCompletion)>& start) {
        Awaited<ErrorOut, bool> done;
        start(done.handler());
        return done.get();
    }
    std::tuple<ErrorOut, std::optional<std::string>> awaitLeaseId(
        const std::function<void(BLSCloudBlobContainer::LeaseIdCompletion)>& start) {
        Awaited<ErrorOut, std::optional<std::string>> done;
        start(done.handler());
        auto result = done.get();
        EXPECT_EQ(done.calls(), 1);
        return result;
    }
    std::tuple<ErrorOut, std::shared_ptr<BLSBlobResultSegment>> awaitListing(
        const std::function<void(BLSCloudBlobContainer::ListBlobsCompletion)>& start) {
        Awaited<ErrorOut, std::shared_ptr<BLSBlobResultSegment>> done;
        start(done.handler());
        auto result = done.get();
        EXPECT_EQ(done.calls(), 1);
        return result;
    }
    std::shared_ptr<BLSBlobResultSegment> list(const std::shared_ptr<BLSCloudBlobContainer>& container,
                                               const std::optional<BLSContinuationToken>& token,
                                               const std::optional<std::string>& prefix, bool flat,
                                               std::int64_t maxResults = -1) {
        auto [error, segment] = awaitListing([&](auto done) {
            container->listBlobsSegmentedWithContinuationToken(token, prefix, flat, 0, maxResults, done);
        });
        EXPECT_FALSE(error) << (error ? error->localizedDescription() : "");
        EXPECT_TRUE(segment);
        return segment ? segment : std::make_shared<BLSBlobResultSegment>();
    }
};

}  // namespace

TEST_F(CloudBlobContainerTest, CreateExistsAndDeleteWithTheirConditionalForms) {
    auto container = client->containerReferenceFromName("layouts");

    auto [missingError, missing] = awaitFlag([&](auto done) { container->existsWithCompletionHandler(done); });
    EXPECT_FALSE(missingError);
    EXPECT_FALSE(missing);

    ASSERT_FALSE(await([&](auto done) { container->createContainerWithCompletionHandler(done); }));
    ASSERT_EQ(requestsFor(server, "createcontainer").size(), 1u);
    EXPECT_EQ(requestsFor(server, "createcontainer")[0].status, 201);
    // The create's ETag and Last-Modified land on the reference.
    ASSERT_TRUE(container->properties().eTag);
    EXPECT_FALSE(container->properties().eTag->empty());
    EXPECT_TRUE(container->properties().lastModified);
    const std::string createdETag = *container->properties().eTag;

    auto again = await([&](auto done) { container->createContainerWithCompletionHandler(done); });
    ASSERT_TRUE(again);
    EXPECT_TRUE(BLSIsError(*again, BLSErrorCode::ServerError));
    EXPECT_EQ(statusOf(*again), 409);
    EXPECT_EQ(serviceCodeOf(*again), "ContainerAlreadyExists");

    auto [existsError, exists] = awaitFlag([&](auto done) { container->existsWithCompletionHandler(done); });
    EXPECT_FALSE(existsError);
    EXPECT_TRUE(exists);
    EXPECT_EQ(container->properties().eTag, createdETag);

    // An existing container: one request, no create.
    server.reset();
    ASSERT_FALSE(await([&](auto done) { container->createContainerWithCompletionHandler(done); }));
    const auto before = server.requests().size();
    auto [ifNotError, createdNow] =
        awaitFlag([&](auto done) { container->createContainerIfNotExistsWithCompletionHandler(done); });
    EXPECT_FALSE(ifNotError);
    EXPECT_FALSE(createdNow);
    auto after = server.requests();
    ASSERT_EQ(after.size(), before + 1);
    EXPECT_EQ(after.back().operation, "getcontainerproperties");

    // Delete if exists: the check, then the delete.
    auto [deleteError, deleted] =
        awaitFlag([&](auto done) { container->deleteContainerIfExistsWithCompletionHandler(done); });
    EXPECT_FALSE(deleteError);
    EXPECT_TRUE(deleted);
    after = server.requests();
    ASSERT_GE(after.size(), 2u);
    EXPECT_EQ(after[after.size() - 2].operation, "getcontainerproperties");
    EXPECT_EQ(after.back().operation, "deletecontainer");
    EXPECT_EQ(after.back().status, 202);

    const auto beforeSecondDelete = server.requests().size();
    auto [secondDeleteError, deletedAgain] =
        awaitFlag([&](auto done) { container->deleteContainerIfExistsWithCompletionHandler(done); });
    EXPECT_FALSE(secondDeleteError);
    EXPECT_FALSE(deletedAgain);
    EXPECT_EQ(server.requests().size(), beforeSecondDelete + 1);

    // A missing container is created; both requests share one context.
    auto context = std::make_shared<BLSOperationContext>();
    auto [createIfError, createdIf] = awaitFlag([&](auto done) {
        container->createContainerIfNotExistsWithAccessType(BLSContainerPublicAccessTypeOff, nullptr, context, done);
    });
    EXPECT_FALSE(createIfError);
    EXPECT_TRUE(createdIf);
    ASSERT_EQ(context->requestResults().size(), 2u);
    EXPECT_EQ(context->requestResults()[0]->response()->statusCode, 404);
    EXPECT_EQ(context->requestResults()[1]->response()->statusCode, 201);

    ASSERT_FALSE(await([&](auto done) { container->deleteContainerWithCompletionHandler(done); }));
    auto gone = await([&](auto done) { container->deleteContainerWithCompletionHandler(done); });
    ASSERT_TRUE(gone);
    EXPECT_TRUE(BLSIsError(*gone, BLSErrorCode::ServerError));
    EXPECT_EQ(statusOf(*gone), 404);
}

TEST_F(CloudBlobContainerTest, WrongKeyIsRefusedWith403) {
    ASSERT_TRUE(createdContainer("layouts"));
    auto wrong = clientWithKey("d3Jvbmcta2V5LXdyb25nLWtleS13cm9uZy1rZXktMzI=");
    ASSERT_TRUE(wrong);
    auto container = wrong->containerReferenceFromName("layouts");

    auto [error, exists] = awaitFlag([&](auto done) { container->existsWithCompletionHandler(done); });
    ASSERT_TRUE(error);
    EXPECT_FALSE(exists);
    EXPECT_TRUE(BLSIsError(*error, BLSErrorCode::ServerError));
    EXPECT_EQ(statusOf(*error), 403);

    // Create if not exists stops at the refused check.
    const auto before = server.requests().size();
    auto [createError, createdNow] =
        awaitFlag([&](auto done) { container->createContainerIfNotExistsWithCompletionHandler(done); });
    ASSERT_TRUE(createError);
    EXPECT_EQ(statusOf(*createError), 403);
    EXPECT_FALSE(createdNow);
    EXPECT_EQ(server.requests().size(), before + 1);
}

TEST_F(CloudBlobContainerTest, MetadataUploadAndAttributesDownload) {
    auto container = createdContainer("layouts");
    const auto createdETag = container->properties().eTag;

    container->setMetadata({{"owner", "ann"}, {"kind", "layouts"}});
    ASSERT_FALSE(await([&](auto done) { container->uploadMetadataWithCompletionHandler(done); }));
    auto uploads = requestsFor(server, "setcontainermetadata");
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].header("x-bs-meta-owner"), "ann");
    EXPECT_EQ(uploads[0].header("x-bs-meta-kind"), "layouts");
    ASSERT_TRUE(container->properties().eTag);
    EXPECT_NE(container->properties().eTag, createdETag);

    // A fresh reference learns metadata, ETag, date and lease state.
    auto fresh = client->containerReferenceFromName("layouts");
    ASSERT_FALSE(await([&](auto done) { fresh->downloadAttributesWithCompletionHandler(done); }));
    EXPECT_EQ(fresh->metadata(), (BLSMetadata{{"owner", "ann"}, {"kind", "layouts"}}));
    EXPECT_EQ(fresh->properties().eTag, container->properties().eTag);
    EXPECT_TRUE(fresh->properties().lastModified);
    EXPECT_EQ(fresh->properties().leaseState, BLSLeaseStateAvailable);
    EXPECT_EQ(fresh->properties().leaseStatus, BLSLeaseStatusUnlocked);

    // Exists refreshes them too.
    auto third = client->containerReferenceFromName("layouts");
    third->setMetadata({{"stale", "yes"}});
    auto [existsError, exists] = awaitFlag([&](auto done) { third->existsWithCompletionHandler(done); });
    EXPECT_FALSE(existsError);
    EXPECT_TRUE(exists);
    EXPECT_EQ(third->metadata(), (BLSMetadata{{"owner", "ann"}, {"kind", "layouts"}}));

    // Metadata no header can carry is refused before anything is sent.
    const auto before = server.requests().size();
    for (const BLSMetadata& bad : {BLSMetadata{{"bad key", "x"}}, BLSMetadata{{"note", "line\r\nx-bs-meta-evil: 1"}}}) {
        container->setMetadata(bad);
        auto error = await([&](auto done) { container->uploadMetadataWithCompletionHandler(done); });
        ASSERT_TRUE(error);
        EXPECT_TRUE(BLSIsError(*error, BLSErrorCode::InvalidArgumentOrState));
    }
    EXPECT_EQ(server.requests().size(), before);

    // A failed request still hands back its error, and the missing
    // container's attributes are a 404.
    auto missing = client->containerReferenceFromName("nothing-here");
    auto error = await([&](auto done) { missing->downloadAttributesWithCompletionHandler(done); });
    ASSERT_TRUE(error);
    EXPECT_EQ(statusOf(*error), 404);
    EXPECT_TRUE(missing->metadata().empty());
}

TEST_F(CloudBlobContainerTest, PermissionsRoundTrip) {
    auto container = createdContainer("layouts");
    const auto start = std::chrono::sys_seconds(std::chrono::seconds(1700000000));
    const auto expiry = start + 48h;
    // Times no system clock value holds: "for ever" and a start long ago.
    const auto never = std::chrono::sys_days{std::chrono::year{9999} / 12 / 31} + 23h + 59min + 59s;
    const auto longAgo = std::chrono::sys_days{std::chrono::year{1601} / 1 / 1};

    BLSSharedAccessPolicy reader(std::string("reader"));
    reader.permissions = 1 | 32;  // r, l
    reader.sharedAccessStartTime = start;
    reader.sharedAccessExpiryTime = expiry;
    BLSSharedAccessPolicy writer(std::string("writer"));
    writer.permissions = 8;  // w
    writer.sharedAccessExpiryTime = expiry;
    BLSSharedAccessPolicy keeper(std::string("keeper"));
    keeper.permissions = 1;
    keeper.sharedAccessStartTime = longAgo;
    keeper.sharedAccessExpiryTime = never;
    const Policies policies{{"reader", reader}, {"writer", writer}, {"keeper", keeper}};

    ASSERT_FALSE(await([&](auto done) {
        container->uploadPermissions(policies, BLSContainerPublicAccessTypeBlob, nullptr, nullptr, nullptr, done);
    }));
    auto uploads = requestsFor(server, "setcontaineracl");
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].header("x-bs-blob-public-access"), "blob");

    Awaited<ErrorOut, std::optional<Policies>, BLSContainerPublicAccessType> download;
    container->downloadPermissionsWithCompletionHandler(download.handler());
    auto [error, stored, access] = download.get();
    ASSERT_FALSE(error) << error->localizedDescription();
    ASSERT_TRUE(stored);
    EXPECT_EQ(*stored, policies);
    EXPECT_EQ(stored->at("keeper").sharedAccessExpiryTime, never);
    EXPECT_EQ(stored->at("keeper").sharedAccessStartTime, longAgo);
    EXPECT_EQ(access, BLSContainerPublicAccessTypeBlob);

    // What was read is written back unchanged: the same body goes up again.
    ASSERT_FALSE(await([&](auto done) {
        container->uploadPermissions(*stored, BLSContainerPublicAccessTypeBlob, nullptr, nullptr, nullptr, done);
    }));
    uploads = requestsFor(server, "setcontaineracl");
    ASSERT_EQ(uploads.size(), 2u);
    EXPECT_EQ(uploads[1].bodyMD5, uploads[0].bodyMD5);

    // The short form sends no public access header, which turns it off.
    ASSERT_FALSE(await([&](auto done) { container->uploadPermissions(Policies{}, done); }));
    uploads = requestsFor(server, "setcontaineracl");
    ASSERT_EQ(uploads.size(), 3u);
    EXPECT_FALSE(uploads[2].header("x-bs-blob-public-access"));

    Awaited<ErrorOut, std::optional<Policies>, BLSContainerPublicAccessType> cleared;
    container->downloadPermissionsWithCompletionHandler(cleared.handler());
    auto [clearedError, clearedPolicies, clearedAccess] = cleared.get();
    ASSERT_FALSE(clearedError);
    ASSERT_TRUE(clearedPolicies);
    EXPECT_TRUE(clearedPolicies->empty());
    EXPECT_EQ(clearedAccess, BLSContainerPublicAccessTypeOff);

    // Policies XML cannot carry are refused without a request.
    BLSSharedAccessPolicy broken(std::string("bad\x01id"));
    broken.permissions = 1;
    const auto before = server.requests().size();
    auto refused = await([&](auto done) { container->uploadPermissions(Policies{{"bad\x01id", broken}}, done); });
    ASSERT_TRUE(refused);
    EXPECT_TRUE(BLSIsError(*refused, BLSErrorCode::XMLCreationError));
    EXPECT_EQ(server.requests().size(), before);

    // Permissions of a missing container: the 404 and no result.
    auto missing = client->containerReferenceFromName("nothing-here");
    Awaited<ErrorOut, std::optional<Policies>, BLSContainerPublicAccessType> none;
    missing->downloadPermissionsWithCompletionHandler(none.handler());
    auto [missingError, missingPolicies, missingAccess] = none.get();
    ASSERT_TRUE(missingError);
    EXPECT_EQ(statusOf(*missingError), 404);
    EXPECT_FALSE(missingPolicies);
    EXPECT_EQ(missingAccess, BLSContainerPublicAccessTypeOff);
}

TEST_F(CloudBlobContainerTest, LeasesAcquireRenewChangeReleaseAndBreak) {
    auto container = createdContainer("layouts");

    auto [acquireError, leaseId] = awaitLeaseId(
        [&](auto done) { container->acquireLeaseWithLeaseTime(std::int64_t{15}, std::string(kLeaseA), done); });
    ASSERT_FALSE(acquireError) << acquireError->localizedDescription();
    EXPECT_EQ(leaseId, kLeaseA);
    auto leases = requestsFor(server, "leasecontainer");
    ASSERT_EQ(leases.size(), 1u);
    EXPECT_EQ(leases[0].header("x-bs-lease-action"), "acquire");
    EXPECT_EQ(leases[0].header("x-bs-lease-duration"), "15");
    EXPECT_EQ(leases[0].header("x-bs-proposed-lease-id"), kLeaseA);

    const auto holdingA = BLSAccessCondition::makeWithLeaseId(kLeaseA);
    ASSERT_FALSE(await([&](auto done) { container->renewLeaseWithAccessCondition(&holdingA, done); }));
    leases = requestsFor(server, "leasecontainer");
    EXPECT_EQ(leases.back().header("x-bs-lease-action"), "renew");
    EXPECT_EQ(leases.back().header("x-bs-lease-id"), kLeaseA);

    auto [changeError, changed] = awaitLeaseId(
        [&](auto done) { container->changeLeaseWithProposedLeaseId(std::string(kLeaseB), &holdingA, done); });
    ASSERT_FALSE(changeError);
    EXPECT_EQ(changed, kLeaseB);

    // The old ID no longer releases it; the new one does.
    auto stale = await([&](auto done) { container->releaseLeaseWithAccessCondition(&holdingA, done); });
    ASSERT_TRUE(stale);
    EXPECT_EQ(statusOf(*stale), 409);
    const auto holdingB = BLSAccessCondition::makeWithLeaseId(kLeaseB);
    ASSERT_FALSE(await([&](auto done) { container->releaseLeaseWithAccessCondition(&holdingB, done); }));

    // No lease time asks for an infinite lease; the service picks the ID.
    auto [infiniteError, serviceId] =
        awaitLeaseId([&](auto done) { container->acquireLeaseWithLeaseTime(std::nullopt, std::nullopt, done); });
    ASSERT_FALSE(infiniteError);
    ASSERT_TRUE(serviceId);
    EXPECT_EQ(serviceId->size(), 36u);
    leases = requestsFor(server, "leasecontainer");
    EXPECT_EQ(leases.back().header("x-bs-lease-duration"), "-1");
    EXPECT_FALSE(leases.back().header("x-bs-proposed-lease-id"));

    Awaited<ErrorOut, std::optional<std::int64_t>> broken;
    container->breakLeaseWithBreakPeriod(std::int64_t{10}, broken.handler());
    auto [breakError, remaining] = broken.get();
    ASSERT_FALSE(breakError);
    EXPECT_EQ(remaining, std::optional<std::int64_t>(10));
    EXPECT_EQ(requestsFor(server, "leasecontainer").back().header("x-bs-lease-break-period"), "10");

    ASSERT_FALSE(await([&](auto done) { container->downloadAttributesWithCompletionHandler(done); }));
    EXPECT_EQ(container->properties().leaseState, BLSLeaseStateBreaking);
    EXPECT_EQ(container->properties().leaseStatus, BLSLeaseStatusLocked);
}

TEST_F(CloudBlobContainerTest, LeaseCallsWithoutTheIdsSendNothing) {
    auto container = createdContainer("layouts");
    const auto withLease = BLSAccessCondition::makeWithLeaseId(kLeaseA);
    const auto withoutLease = BLSAccessCondition::makeWithIfMatchCondition("\"x\"");
    const auto emptyLease = BLSAccessCondition::makeWithLeaseId("");
    const std::string renewText = "Cannot renew a lease without providing a lease ID.";
    const std::string releaseText = "Cannot release a lease without providing a lease ID.";
    const std::string changeText =
        "Cannot change a lease without providing an existing lease ID and a proposed new one.";

    struct Case {
        const char* name;
        std::function<void(std::function<void(const ErrorOut&)>)> start;
        std::string text;
    };
    auto changeWith = [&](std::optional<std::string> proposed, const BLSAccessCondition* condition) {
        return [&, proposed, condition](std::function<void(const ErrorOut&)> done) {
            container->changeLeaseWithProposedLeaseId(
                proposed, condition, [done](const ErrorOut& error, const std::optional<std::string>& id) {
                    EXPECT_FALSE(id);
                    done(error);
                });
        };
    };
    const Case cases[] = {
        {"renew without condition", [&](auto done) { container->renewLeaseWithAccessCondition(nullptr, done); },
         renewText},
        {"renew with a condition without lease",
         [&](auto done) { container->renewLeaseWithAccessCondition(&withoutLease, done); }, renewText},
        {"release without condition", [&](auto done) { container->releaseLeaseWithAccessCondition(nullptr, done); },
         releaseText},
        {"release with an empty lease ID",
         [&](auto done) { container->releaseLeaseWithAccessCondition(&emptyLease, done); }, releaseText},
        {"change without proposed ID", changeWith(std::nullopt, &withLease), changeText},
        {"change without current ID", changeWith(std::string(kLeaseB), nullptr), changeText},
        {"change with a condition without lease", changeWith(std::string(kLeaseB), &withoutLease), changeText},
    };
    const auto before = server.requests().size();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto error = await(c.start);
        ASSERT_TRUE(error);
        EXPECT_TRUE(BLSIsError(*error, BLSErrorCode::InvalidArgumentOrState));
        EXPECT_EQ(descriptionOf(*error), c.text);
    }
    EXPECT_EQ(server.requests().size(), before);
}

TEST_F(CloudBlobContainerTest, ListingFlatHierarchicalAndInPages) {
    auto container = createdContainer("layouts");
    server.preloadBlob("layouts", "a.layout", textBytes("alpha"));
    server.preloadBlob("layouts", "photos/1.png", textBytes("one!"));
    server.preloadBlob("layouts", "photos/2.png", textBytes("two"));
    server.preloadBlob("layouts", "photos/deep/3.png", textBytes("three"));
    server.preloadBlob("layouts", "z.txt", textBytes("zz"));

    auto flat = list(container, std::nullopt, std::nullopt, true);
    EXPECT_EQ(blobNames(*flat),
              (std::vector<std::string>{"a.layout", "photos/1.png", "photos/2.png", "photos/deep/3.png", "z.txt"}));
    EXPECT_TRUE(flat->directories.empty());
    EXPECT_FALSE(flat->continuationToken);
    auto listings = requestsFor(server, "listblobs");
    ASSERT_EQ(listings.size(), 1u);
    EXPECT_EQ(listings[0].query.find("delimiter"), std::string::npos) << listings[0].query;

    // Listed blobs are typed references of this container with the listed
    // properties.
    ASSERT_EQ(flat->blobs.size(), 5u);
    auto first = std::dynamic_pointer_cast<BLSCloudBlockBlob>(flat->blobs[0]);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->blobContainer(), container);
    EXPECT_EQ(first->client(), client);
    EXPECT_EQ(first->properties().length, std::optional<std::int64_t>(5));
    EXPECT_EQ(first->properties().blobType, BLSBlobTypeBlockBlob);
    EXPECT_TRUE(first->properties().eTag);
    EXPECT_EQ(flat->blobs[1]->properties().length, std::optional<std::int64_t>(4));

    auto top = list(container, std::nullopt, std::nullopt, false);
    EXPECT_EQ(blobNames(*top), (std::vector<std::string>{"a.layout", "z.txt"}));
    EXPECT_EQ(directoryNames(*top), (std::vector<std::string>{"photos/"}));
    EXPECT_NE(requestsFor(server, "listblobs").back().query.find("delimiter=%2F"), std::string::npos);
    ASSERT_EQ(top->directories.size(), 1u);
    EXPECT_EQ(top->directories[0]->blobContainer(), container);

    auto photos = list(container, std::nullopt, std::string("photos/"), false);
    EXPECT_EQ(blobNames(*photos), (std::vector<std::string>{"photos/1.png", "photos/2.png"}));
    EXPECT_EQ(directoryNames(*photos), (std::vector<std::string>{"photos/deep/"}));

    // Pages of two, each continuing where the last ended.
    std::vector<std::string> all;
    std::optional<BLSContinuationToken> token;
    int pages = 0;
    do {
        auto page = list(container, token, std::nullopt, true, 2);
        ++pages;
        EXPECT_LE(page->blobs.size(), 2u);
        for (auto& name : blobNames(*page)) all.push_back(name);
        if (page->continuationToken) {
            EXPECT_EQ(page->continuationToken->storageLocation, BLSStorageLocationPrimary);
            ASSERT_TRUE(page->continuationToken->nextMarker);
            EXPECT_FALSE(page->continuationToken->nextMarker->empty());
        }
        if (token) {
            EXPECT_NE(requestsFor(server, "listblobs").back().query.find("marker=" + *token->nextMarker),
                      std::string::npos);
        }
        token = page->continuationToken;
    } while (token && pages < 10);
    EXPECT_EQ(pages, 3);
    EXPECT_EQ(all, blobNames(*flat));
}

TEST_F(CloudBlobContainerTest, PrefixWithQueryCharactersArrivesAsOneValue) {
    auto container = createdContainer("layouts");
    server.preloadBlob("layouts", "q&a=1/x.txt", textBytes("x"));
    server.preloadBlob("layouts", "q&a=2.txt", textBytes("y"));
    server.preloadBlob("layouts", "q.txt", textBytes("z"));

    auto segment = list(container, std::nullopt, std::string("q&a=1"), true);
    EXPECT_EQ(blobNames(*segment), (std::vector<std::string>{"q&a=1/x.txt"}));
    auto query = requestsFor(server, "listblobs").back().query;
    EXPECT_NE(query.find("prefix=q%26a%3D1"), std::string::npos) << query;
    EXPECT_EQ(query.find("a=1&"), std::string::npos) << query;
}

TEST_F(CloudBlobContainerTest, TokenPinnedToAnExcludedLocationSendsNothing) {
    auto container = createdContainer("layouts");
    const auto before = server.requests().size();
    const auto secondaryToken = BLSContinuationToken::tokenFromString("bWFya2Vy", BLSStorageLocationSecondary);

    // The default mode is primary only, which the token's secondary excludes.
    auto [error, segment] = awaitListing([&](auto done) {
        container->listBlobsSegmentedWithContinuationToken(secondaryToken, std::nullopt, true, 0, -1, done);
    });
    ASSERT_TRUE(error);
    EXPECT_TRUE(BLSIsError(*error, BLSErrorCode::InvalidArgumentOrState));
    EXPECT_FALSE(segment);

    auto options = std::make_shared<BLSBlobRequestOptions>();
    options->setStorageLocationMode(BLSStorageLocationModeSecondaryOnly);
    const auto primaryToken = BLSContinuationToken::tokenFromString("bWFya2Vy", BLSStorageLocationPrimary);
    auto [secondError, secondSegment] = awaitListing([&](auto done) {
        container->listBlobsSegmentedWithContinuationToken(primaryToken, std::nullopt, true, 0, -1, nullptr, options,
                                                           nullptr, done);
    });
    ASSERT_TRUE(secondError);
    EXPECT_TRUE(BLSIsError(*secondError, BLSErrorCode::InvalidArgumentOrState));
    EXPECT_EQ(server.requests().size(), before);
}

TEST_F(CloudBlobContainerTest, TokenFromTheSecondaryKeepsTheNextPageThere) {
    server.stop();
    server.start(StorageTestServer::kDefaultAccount, StorageTestServer::defaultKey(), {true});
    auto credentials = std::make_shared<BLSStorageCredentials>(server.account(), server.keyBase64());
    auto both =
        std::make_shared<BLSCloudBlobClient>(BLSStorageUri(platform::net::URL::parse(server.baseUrl()),
                                                           platform::net::URL::parse(server.secondaryBaseUrl())),
                                             credentials);
    auto container = both->containerReferenceFromName("layouts");
    ASSERT_FALSE(await([&](auto done) { container->createContainerWithCompletionHandler(done); }));
    for (const char* name : {"a", "b", "c"}) server.preloadBlob("layouts", name, textBytes(name));

    auto options = std::make_shared<BLSBlobRequestOptions>();
    options->setStorageLocationMode(BLSStorageLocationModeSecondaryThenPrimary);
    auto [error, first] = awaitListing([&](auto done) {
        container->listBlobsSegmentedWithContinuationToken(std::nullopt, std::nullopt, true, 0, 2, nullptr, options,
                                                           nullptr, done);
    });
    ASSERT_FALSE(error) << error->localizedDescription();
    ASSERT_TRUE(first && first->continuationToken);
    EXPECT_EQ(first->continuationToken->storageLocation, BLSStorageLocationSecondary);

    // Primary first by mode, but the token holds the listing to the secondary.
    options = std::make_shared<BLSBlobRequestOptions>();
    options->setStorageLocationMode(BLSStorageLocationModePrimaryThenSecondary);
    const auto token = first->continuationToken;
    auto [nextError, next] = awaitListing([&](auto done) {
        container->listBlobsSegmentedWithContinuationToken(token, std::nullopt, true, 0, 2, nullptr, options, nullptr,
                                                           done);
    });
    ASSERT_FALSE(nextError) << nextError->localizedDescription();
    ASSERT_TRUE(next);
    EXPECT_EQ(blobNames(*next), (std::vector<std::string>{"c"}));
    auto listings = requestsFor(server, "listblobs");
    ASSERT_EQ(listings.size(), 2u);
    for (const auto& request : listings) {
        EXPECT_EQ(request.path.rfind("/" + server.account() + "-secondary/", 0), 0u) << request.path;
    }
}

TEST_F(CloudBlobContainerTest, ReferencesSendNothing) {
    auto container = client->containerReferenceFromName("layouts");
    EXPECT_EQ(container->name(), "layouts");
    EXPECT_EQ(container->client(), client);
    ASSERT_TRUE(container->storageUri().primaryUri());
    EXPECT_EQ(container->storageUri().primaryUri()->absoluteString(), server.baseUrl() + "/layouts");
    EXPECT_TRUE(container->metadata().empty());
    EXPECT_FALSE(container->properties().eTag);

    auto block = container->blockBlobReferenceFromName("a b.layout");
    ASSERT_TRUE(block);
    EXPECT_EQ(block->blobName(), "a b.layout");
    EXPECT_EQ(block->blobContainer(), container);
    EXPECT_EQ(block->client(), client);
    EXPECT_FALSE(block->snapshotTime());
    EXPECT_EQ(block->properties().blobType, BLSBlobTypeBlockBlob);
    EXPECT_EQ(block->storageUri().primaryUri()->absoluteString(), server.baseUrl() + "/layouts/a%20b.layout");

    const std::string snapshot = "2020-01-01T00:00:00.0000000Z";
    auto blockSnapshot = container->blockBlobReferenceFromName("a", snapshot);
    EXPECT_EQ(blockSnapshot->snapshotTime(), snapshot);
    auto page = container->pageBlobReferenceFromName("p");
    EXPECT_EQ(page->properties().blobType, BLSBlobTypePageBlob);
    EXPECT_FALSE(page->snapshotTime());
    EXPECT_EQ(container->pageBlobReferenceFromName("p", snapshot)->snapshotTime(), snapshot);
    auto append = container->appendBlobReferenceFromName("l");
    EXPECT_EQ(append->properties().blobType, BLSBlobTypeAppendBlob);
    EXPECT_EQ(container->appendBlobReferenceFromName("l", snapshot)->snapshotTime(), snapshot);

    auto directory = container->directoryReferenceFromName(std::string("photos"));
    EXPECT_EQ(directory->name(), "photos/");
    EXPECT_EQ(directory->blobContainer(), container);

    EXPECT_TRUE(server.requests().empty());
}

TEST_F(CloudBlobContainerTest, ContainerFromAnAddressWithItsOwnSignature) {
    auto container = createdContainer("shared");
    server.preloadBlob("shared", "doc.txt", textBytes("shared text"));
    EXPECT_EQ(container->createSharedAccessCanonicalName(), "/blob/" + server.account() + "/shared");

    BLSSharedAccessBlobParameters parameters;
    parameters.permissions = 1 | 32;  // r, l
    parameters.sharedAccessExpiryTime = std::chrono::system_clock::now() + 1h;
    ErrorOut sasError;
    auto sas = container->createSharedAccessSignatureWithParameters(parameters, sasError);
    ASSERT_TRUE(sas) << (sasError ? sasError->localizedDescription() : "");
    ASSERT_FALSE(sasError);
    ASSERT_EQ(sas->rfind("?", 0), 0u);
    EXPECT_NE(sas->find("sr=c"), std::string::npos);
    EXPECT_NE(sas->find("sig="), std::string::npos);

    auto url = platform::net::URL::parse(server.baseUrl() + "/shared" + *sas);
    ASSERT_TRUE(url);
    ErrorOut error;
    auto signedContainer = BLSCloudBlobContainer::makeWithUrl(*url, error);
    ASSERT_TRUE(signedContainer) << (error ? error->localizedDescription() : "");
    EXPECT_EQ(signedContainer->name(), "shared");
    ASSERT_TRUE(signedContainer->client()->credentials());
    EXPECT_TRUE(signedContainer->client()->credentials()->isSAS());
    EXPECT_EQ(signedContainer->storageUri().primaryUri()->absoluteString(), server.baseUrl() + "/shared");
    ASSERT_TRUE(signedContainer->client()->storageUri().primaryUri());
    EXPECT_EQ(signedContainer->client()->storageUri().primaryUri()->absoluteString(), server.baseUrl());

    // The server checks the signature: listing and reading are allowed...
    auto segment = list(signedContainer, std::nullopt, std::nullopt, true);
    EXPECT_EQ(blobNames(*segment), (std::vector<std::string>{"doc.txt"}));
    auto listing = requestsFor(server, "listblobs").back();
    EXPECT_EQ(listing.status, 200);
    EXPECT_NE(listing.query.find("sig="), std::string::npos);
    EXPECT_FALSE(listing.header("Authorization"));

    Awaited<ErrorOut, std::optional<Bytes>> read;
    signedContainer->blockBlobReferenceFromName("doc.txt")->downloadToDataWithCompletionHandler(read.handler());
    auto [readError, data] = read.get();
    ASSERT_FALSE(readError) << readError->localizedDescription();
    EXPECT_EQ(data, textBytes("shared text"));

    // ...writing metadata is not.
    signedContainer->setMetadata({{"a", "b"}});
    auto refused = await([&](auto done) { signedContainer->uploadMetadataWithCompletionHandler(done); });
    ASSERT_TRUE(refused);
    EXPECT_EQ(statusOf(*refused), 403);

    // A signature made by this client cannot be made from a signature.
    ErrorOut noKey;
    EXPECT_FALSE(signedContainer->createSharedAccessSignatureWithParameters(parameters, noKey));
    ASSERT_TRUE(noKey);
    EXPECT_TRUE(BLSIsError(*noKey, BLSErrorCode::InvalidArgumentOrState));

    // A tampered signature is refused by the server.
    std::string tampered = url->absoluteString();
    const auto sig = tampered.find("sig=") + 4;
    tampered[sig] = tampered[sig] == 'A' ? 'B' : 'A';
    ErrorOut tamperedError;
    auto forged = BLSCloudBlobContainer::makeWithUrl(*platform::net::URL::parse(tampered), tamperedError);
    ASSERT_TRUE(forged);
    auto [forgedError, forgedSegment] = awaitListing([&](auto done) {
        forged->listBlobsSegmentedWithContinuationToken(std::nullopt, std::nullopt, true, 0, -1, done);
    });
    ASSERT_TRUE(forgedError);
    EXPECT_EQ(statusOf(*forgedError), 403);
    EXPECT_FALSE(forgedSegment);

    // Anonymous credentials given with the address keep its signature.
    ErrorOut anonymousError;
    auto anonymous =
        BLSCloudBlobContainer::makeWithUrl(*url, std::make_shared<BLSStorageCredentials>(), anonymousError);
    ASSERT_TRUE(anonymous);
    EXPECT_TRUE(anonymous->client()->credentials()->isSAS());
    EXPECT_EQ(blobNames(*list(anonymous, std::nullopt, std::nullopt, true)), (std::vector<std::string>{"doc.txt"}));
}

TEST_F(CloudBlobContainerTest, AddressesThatCannotMakeAContainer) {
    const auto key = std::make_shared<BLSStorageCredentials>(server.account(), server.keyBase64());
    const auto sasUrl = *platform::net::URL::parse(
        server.baseUrl() + "/shared?sv=2016-03-14&sr=c&sp=r&se=2099-01-01T00%3A00%3A00Z&sig=abc");
    struct Case {
        const char* name;
        platform::net::URL url;
        std::shared_ptr<BLSStorageCredentials> credentials;
    };
    const Case cases[] = {
        {"key given with a signed address", sasUrl, key},
        {"signature given with a signed address", sasUrl, BLSStorageCredentials::makeWithSASToken("sv=1&sig=x")},
        {"address of the account", *platform::net::URL::parse(server.baseUrl()), key},
        {"address without account", *platform::net::URL::parse("http://127.0.0.1:" + std::to_string(server.port())),
         key},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ErrorOut error;
        EXPECT_FALSE(BLSCloudBlobContainer::makeWithUrl(c.url, c.credentials, error));
        ASSERT_TRUE(error);
        EXPECT_TRUE(BLSIsError(*error, BLSErrorCode::InvalidArgumentOrState));
    }

    // With a key and a plain address: a client of its own on the service.
    ErrorOut error;
    auto container =
        BLSCloudBlobContainer::makeWithUrl(*platform::net::URL::parse(server.baseUrl() + "/layouts"), key, error);
    ASSERT_TRUE(container);
    EXPECT_EQ(container->name(), "layouts");
    EXPECT_EQ(container->client()->credentials(), key);
    ASSERT_FALSE(await([&](auto done) { container->createContainerWithCompletionHandler(done); }));
    ASSERT_EQ(requestsFor(server, "createcontainer").size(), 1u);
    EXPECT_EQ(requestsFor(server, "createcontainer")[0].status, 201);
}

TEST_F(CloudBlobContainerTest, ListedItemsBecomeReferencesOfTheirKind) {
    auto container = client->containerReferenceFromName("layouts");
    const std::string body =
        "<EnumerationResults><Blobs>"
        "<Blob><Name>disk.vhd</Name><Properties><Content-Length>512</Content-Length><BlobType>PageBlob</BlobType>"
        "</Properties><Metadata><owner>ann</owner></Metadata></Blob>"
        "<BlobPrefix><Name>photos/</Name></BlobPrefix>"
        "<Blob><Name>log.txt</Name><Snapshot>2020-01-01T00:00:00.0000000Z</Snapshot><Properties>"
        "<BlobType>AppendBlob</BlobType><CopyId>c1</CopyId><CopyStatus>pending</CopyStatus>"
        "<CopyProgress>1024/4096</CopyProgress></Properties></Blob>"
        "<Blob><Name>odd</Name><Properties><BlobType>Mystery</BlobType></Properties></Blob>"
        "<Blob><Name>a.layout</Name><Properties><BlobType>BlockBlob</BlobType></Properties></Blob>"
        "</Blobs><NextMarker>next-page</NextMarker></EnumerationResults>";
    server.addFault(R"({"operation": "listblobs", "action": {"status": 200, "body": ")" + body + R"("}})");

    auto segment = list(container, std::nullopt, std::nullopt, false);
    EXPECT_EQ(blobNames(*segment), (std::vector<std::string>{"disk.vhd", "log.txt", "odd", "a.layout"}));
    EXPECT_EQ(directoryNames(*segment), (std::vector<std::string>{"photos/"}));
    ASSERT_EQ(segment->blobs.size(), 4u);

    auto page = std::dynamic_pointer_cast<BLSCloudPageBlob>(segment->blobs[0]);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->metadata(), (BLSMetadata{{"owner", "ann"}}));
    EXPECT_EQ(page->properties().length, std::optional<std::int64_t>(512));
    EXPECT_FALSE(page->snapshotTime());

    auto append = std::dynamic_pointer_cast<BLSCloudAppendBlob>(segment->blobs[1]);
    ASSERT_TRUE(append);
    EXPECT_EQ(append->snapshotTime(), std::optional<std::string>("2020-01-01T00:00:00.0000000Z"));
    EXPECT_EQ(append->blobCopyState().operationId, std::optional<std::string>("c1"));
    EXPECT_EQ(append->blobCopyState().copyStatus, BLSCopyStatusPending);
    EXPECT_EQ(append->blobCopyState().bytesCopied, std::optional<std::int64_t>(1024));
    EXPECT_EQ(append->blobCopyState().totalBytes, std::optional<std::int64_t>(4096));

    // An unknown kind is a plain blob.
    const auto& odd = segment->blobs[2];
    EXPECT_FALSE(std::dynamic_pointer_cast<BLSCloudPageBlob>(odd));
    EXPECT_FALSE(std::dynamic_pointer_cast<BLSCloudBlockBlob>(odd));
    EXPECT_FALSE(std::dynamic_pointer_cast<BLSCloudAppendBlob>(odd));
    EXPECT_EQ(odd->properties().blobType, BLSBlobTypeUnspecified);
    EXPECT_EQ(odd->blobContainer(), container);

    EXPECT_TRUE(std::dynamic_pointer_cast<BLSCloudBlockBlob>(segment->blobs[3]));

    ASSERT_TRUE(segment->continuationToken);
    EXPECT_EQ(segment->continuationToken->nextMarker, std::optional<std::string>("next-page"));
    EXPECT_EQ(segment->continuationToken->storageLocation, BLSStorageLocationPrimary);
}

TEST_F(CloudBlobContainerTest, UnreadableRepliesAreErrorsNotEmptyResults) {
    auto container = createdContainer("layouts");
    // No retries: a retry would fetch a good reply and hide the first.
    auto context = std::make_shared<BLSOperationContext>();
    context->setRetryPolicy(std::make_shared<BLSRetryPolicyNoRetry>());

    server.addFault(
        R"({"operation": "listblobs", "action": {"status": 200, "body": "<EnumerationResults><Blobs><Blob></Name>"}})");
    auto [listError, segment] = awaitListing([&](auto done) {
        container->listBlobsSegmentedWithContinuationToken(std::nullopt, std::nullopt, true, 0, -1, nullptr, nullptr,
                                                           context, done);
    });
    ASSERT_TRUE(listError);
    EXPECT_TRUE(BLSIsError(*listError, BLSErrorCode::ParseError));
    EXPECT_FALSE(segment);

    server.addFault(
        R"({"operation": "getcontaineracl", "action": {"status": 200, "body": "<SignedIdentifiers><SignedIdentifier>"}})");
    Awaited<ErrorOut, std::optional<Policies>, BLSContainerPublicAccessType> download;
    container->downloadPermissionsWithAccessCondition(nullptr, nullptr, context, download.handler());
    auto [error, policies, access] = download.get();
    ASSERT_TRUE(error);
    EXPECT_TRUE(BLSIsError(*error, BLSErrorCode::ParseError));
    EXPECT_FALSE(policies);
    EXPECT_EQ(access, BLSContainerPublicAccessTypeOff);
}
