// Virtual directories: names, addresses, blob names, parents and
// subdirectories, and the listing made from a directory.

#include "storage/BLSCloudBlobDirectory.h"

#include "storage/BLSCloudAppendBlob.h"
#include "storage/BLSCloudBlockBlob.h"
#include "storage/BLSCloudClient.h"
#include "storage/BLSCloudPageBlob.h"
#include "storage/BLSStorageCredentials.h"
#include "tests/storage/support/StorageTestSupport.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using ErrorOut = std::optional<platform::Error>;

std::shared_ptr<BLSCloudBlobClient> clientFor(const std::string& endpoint, const std::string& delimiter = "/") {
    auto client = std::make_shared<BLSCloudBlobClient>(BLSStorageUri(platform::net::URL::parse(endpoint)), nullptr);
    client->setDirectoryDelimiter(delimiter);
    return client;
}

std::string addressOf(const BLSStorageUri& uri) {
    return uri.primaryUri() ? uri.primaryUri()->absoluteString() : std::string("(none)");
}

}  // namespace

TEST(CloudBlobDirectory, NamesAndAddresses) {
    struct Case {
        const char* name;
        const char* delimiter;
        std::optional<std::string> given;
        std::string expectedName;
        std::string expectedAddress;
    };
    const std::string base = "https://a.blob.example.org/layouts";
    const Case cases[] = {
        {"plain name gets the delimiter", "/", "photos", "photos/", base + "/photos/"},
        {"name ending in the delimiter is kept", "/", "photos/", "photos/", base + "/photos/"},
        {"nested name", "/", "a/b", "a/b/", base + "/a/b/"},
        {"no name is the root", "/", std::nullopt, "", base + "/"},
        {"empty name is the root", "/", "", "", base + "/"},
        {"own delimiter", "::", "photos", "photos::", base + "/photos::"},
        {"own delimiter already there", "::", "photos::", "photos::", base + "/photos::"},
        {"name with a blank", "/", "my photos", "my photos/", base + "/my%20photos/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto client = clientFor("https://a.blob.example.org", c.delimiter);
        auto container = client->containerReferenceFromName("layouts");
        auto directory = BLSCloudBlobDirectory::makeWithDirectoryName(c.given, container);
        ASSERT_TRUE(directory);
        EXPECT_EQ(directory->name(), c.expectedName);
        EXPECT_EQ(addressOf(directory->storageUri()), c.expectedAddress);
        EXPECT_EQ(directory->blobContainer(), container);
        EXPECT_EQ(directory->client(), client);
    }
    EXPECT_FALSE(BLSCloudBlobDirectory::makeWithDirectoryName(std::string("photos"), nullptr));
}

TEST(CloudBlobDirectory, BlobsAndSubdirectoriesAreNamedBelowTheDirectory) {
    auto client = clientFor("https://a.blob.example.org");
    auto container = client->containerReferenceFromName("layouts");
    auto photos = container->directoryReferenceFromName(std::string("photos"));

    auto block = photos->blockBlobReferenceFromName("a.layout");
    EXPECT_EQ(block->blobName(), "photos/a.layout");
    EXPECT_EQ(block->blobContainer(), container);
    EXPECT_EQ(block->properties().blobType, BLSBlobTypeBlockBlob);
    EXPECT_FALSE(block->snapshotTime());
    EXPECT_EQ(addressOf(block->storageUri()), "https://a.blob.example.org/layouts/photos/a.layout");

    const std::string snapshot = "2021-05-06T07:08:09.1234567Z";
    EXPECT_EQ(photos->blockBlobReferenceFromName("a.layout", snapshot)->snapshotTime(), snapshot);
    auto page = photos->pageBlobReferenceFromName("disk.vhd");
    EXPECT_EQ(page->blobName(), "photos/disk.vhd");
    EXPECT_EQ(page->properties().blobType, BLSBlobTypePageBlob);
    EXPECT_EQ(photos->pageBlobReferenceFromName("disk.vhd", snapshot)->snapshotTime(), snapshot);
    auto append = photos->appendBlobReferenceFromName("log.txt");
    EXPECT_EQ(append->blobName(), "photos/log.txt");
    EXPECT_EQ(append->properties().blobType, BLSBlobTypeAppendBlob);
    EXPECT_EQ(photos->appendBlobReferenceFromName("log.txt", snapshot)->snapshotTime(), snapshot);

    auto year = photos->subdirectoryReferenceFromName("2020");
    EXPECT_EQ(year->name(), "photos/2020/");
    EXPECT_EQ(year->blobContainer(), container);
    EXPECT_EQ(year->blockBlobReferenceFromName("x.png")->blobName(), "photos/2020/x.png");

    auto root = container->directoryReferenceFromName(std::nullopt);
    EXPECT_EQ(root->blockBlobReferenceFromName("top.layout")->blobName(), "top.layout");
    EXPECT_EQ(root->subdirectoryReferenceFromName("photos")->name(), "photos/");
}

TEST(CloudBlobDirectory, Parents) {
    struct Case {
        const char* delimiter;
        std::string name;
        std::string parent;
    };
    const Case cases[] = {
        {"/", "a/b/", "a/"},     {"/", "a/b/c/", "a/b/"}, {"/", "a/", ""},         {"/", "", ""},
        {"::", "a::b::", "a::"}, {"::", "a::", ""},       {"|", "x|y|z|", "x|y|"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.delimiter + std::string(" ") + c.name);
        auto container = clientFor("https://a.blob.example.org", c.delimiter)->containerReferenceFromName("layouts");
        auto parent = container->directoryReferenceFromName(c.name)->parentReference();
        ASSERT_TRUE(parent);
        EXPECT_EQ(parent->name(), c.parent);
        EXPECT_EQ(parent->blobContainer(), container);
    }
}

TEST(CloudBlobDirectory, ListingUsesTheDirectoryAsPrefix) {
    testsupport::StorageTestServer server;
    server.start();
    auto client = std::make_shared<BLSCloudBlobClient>(
        BLSStorageUri(platform::net::URL::parse(server.baseUrl())),
        std::make_shared<BLSStorageCredentials>(server.account(), server.keyBase64()));
    for (const char* name : {"photos/1.png", "photos/deep/2.png", "photosynthesis.txt", "other.txt"}) {
        server.preloadBlob("layouts", name, {'x'});
    }
    auto photos = client->containerReferenceFromName("layouts")->directoryReferenceFromName(std::string("photos"));

    storagetest::Awaited<ErrorOut, std::shared_ptr<BLSBlobResultSegment>> listed;
    photos->listBlobsSegmentedWithContinuationToken(std::nullopt, false, 0, -1, listed.handler());
    auto [error, segment] = listed.get();
    ASSERT_FALSE(error) << error->localizedDescription();
    ASSERT_TRUE(segment);
    ASSERT_EQ(segment->blobs.size(), 1u);
    EXPECT_EQ(segment->blobs[0]->blobName(), "photos/1.png");
    ASSERT_EQ(segment->directories.size(), 1u);
    auto deep = segment->directories[0];
    EXPECT_EQ(deep->name(), "photos/deep/");
    EXPECT_EQ(deep->parentReference()->name(), "photos/");
    EXPECT_EQ(deep->blockBlobReferenceFromName("2.png")->blobName(), "photos/deep/2.png");

    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_NE(requests[0].query.find("prefix=photos%2F"), std::string::npos) << requests[0].query;
    EXPECT_NE(requests[0].query.find("delimiter=%2F"), std::string::npos) << requests[0].query;
}
