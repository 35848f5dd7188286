// Service clients: the handler chosen from the credentials, the directory
// delimiter, the default request options shared across threads, container
// references, container listings and the service properties.

#include "storage/BLSCloudClient.h"

#include "storage/BLSCloudBlobContainer.h"
#include "storage/BLSErrors.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSRetryPolicy.h"
#include "tests/storage/support/StorageTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

const std::string kKey = "a2V5LW9mLWFjY291bnQtYQ==";  // base64 of "key-of-account-a"

BLSStorageUri endpoint() { return BLSStorageUri(platform::net::URL::parse("https://a.blob.example.org")); }

bool signsWithSharedKey(const BLSCloudClient& client) {
    return std::dynamic_pointer_cast<BLSSharedKeyBlobAuthenticationHandler>(client.authenticationHandler()) != nullptr;
}
bool changesNothing(const BLSCloudClient& client) {
    return std::dynamic_pointer_cast<BLSNoOpAuthenticationHandler>(client.authenticationHandler()) != nullptr;
}

// A client that installs no handler of its own.
class BareClient : public BLSCloudClient {
public:
    BareClient() : BLSCloudClient(endpoint(), nullptr) {}
};

}  // namespace

TEST(CloudClient, HandlerFollowsTheCredentials) {
    struct Case {
        const char* name;
        std::shared_ptr<BLSStorageCredentials> credentials;
        bool sharedKey;
    };
    const Case cases[] = {
        {"shared key", std::make_shared<BLSStorageCredentials>("a", kKey), true},
        {"SAS", BLSStorageCredentials::makeWithSASToken("sv=2016-03-14&sig=abc"), false},
        {"named SAS", BLSStorageCredentials::makeWithSASToken("sv=2016-03-14&sig=abc", "a"), false},
        {"anonymous", std::make_shared<BLSStorageCredentials>(), false},
        {"key that is not base64", std::make_shared<BLSStorageCredentials>("a", "not base64!"), false},
        {"no credentials", nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto client = std::make_shared<BLSCloudBlobClient>(endpoint(), c.credentials);
        EXPECT_EQ(client->credentials(), c.credentials);
        EXPECT_EQ(client->storageUri(), endpoint());
        ASSERT_NE(client->authenticationHandler(), nullptr);
        EXPECT_EQ(signsWithSharedKey(*client), c.sharedKey);
        EXPECT_EQ(changesNothing(*client), !c.sharedKey);
        if (c.sharedKey) {
            auto handler =
                std::dynamic_pointer_cast<BLSSharedKeyBlobAuthenticationHandler>(client->authenticationHandler());
            EXPECT_EQ(handler->storageCredentials(), c.credentials);
        }
    }
}

TEST(CloudClient, SettingCredentialsReplacesTheHandler) {
    auto client = std::make_shared<BLSCloudBlobClient>(endpoint(), nullptr);
    ASSERT_TRUE(changesNothing(*client));

    auto sharedKey = std::make_shared<BLSStorageCredentials>("a", kKey);
    client->setCredentials(sharedKey);
    EXPECT_EQ(client->credentials(), sharedKey);
    ASSERT_TRUE(signsWithSharedKey(*client));
    EXPECT_EQ(std::dynamic_pointer_cast<BLSSharedKeyBlobAuthenticationHandler>(client->authenticationHandler())
                  ->storageCredentials(),
              sharedKey);

    client->setCredentials(BLSStorageCredentials::makeWithSASToken("sv=1&sig=2"));
    EXPECT_TRUE(changesNothing(*client));
    EXPECT_TRUE(client->credentials()->isSAS());
}

TEST(CloudClient, BaseClientHasNoHandlerToInstall) {
    BareClient client;
    EXPECT_EQ(client.authenticationHandler(), nullptr);
    try {
        client.setCredentials(std::make_shared<BLSStorageCredentials>("a", kKey));
        FAIL() << "expected std::logic_error";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Cannot set auth handler on a base BLSCloudClient");
    }
    EXPECT_EQ(client.authenticationHandler(), nullptr);
}

TEST(CloudClient, DirectoryDelimiter) {
    auto client = std::make_shared<BLSCloudBlobClient>(endpoint(), nullptr);
    EXPECT_EQ(client->directoryDelimiter(), "/");
    client->setDirectoryDelimiter("|");
    EXPECT_EQ(client->directoryDelimiter(), "|");
    client->setDirectoryDelimiter("::");
    EXPECT_EQ(client->directoryDelimiter(), "::");
    client->setDirectoryDelimiter("");
    EXPECT_EQ(client->directoryDelimiter(), "/");
}

TEST(CloudClient, DefaultRequestOptionsAreSharedAndSwappedWhole) {
    auto client = std::make_shared<BLSCloudBlobClient>(endpoint(), nullptr);
    EXPECT_EQ(client->defaultRequestOptions(), nullptr);

    auto ten = std::make_shared<BLSBlobRequestOptions>();
    ten->setServerTimeout(10);
    auto twenty = std::make_shared<BLSBlobRequestOptions>();
    twenty->setServerTimeout(20);
    client->setDefaultRequestOptions(ten);
    EXPECT_EQ(client->defaultRequestOptions(), ten);

    // Readers on other threads always see one whole options object while a
    // writer swaps them; run under ThreadSanitizer this also shows the swap
    // is free of data races.
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 4; ++i) {
        readers.emplace_back([&] {
            while (!stop.load()) {
                auto options = client->defaultRequestOptions();
                if (options == nullptr || (options->serverTimeout() != 10.0 && options->serverTimeout() != 20.0)) {
                    ++torn;
                }
            }
        });
    }
    for (int i = 0; i < 20000; ++i) {
        client->setDefaultRequestOptions(i % 2 == 0 ? twenty : ten);
    }
    stop = true;
    for (auto& reader : readers) {
        reader.join();
    }
    EXPECT_EQ(torn.load(), 0);
    EXPECT_EQ(client->defaultRequestOptions(), ten);

    client->setDefaultRequestOptions(nullptr);
    EXPECT_EQ(client->defaultRequestOptions(), nullptr);
}

namespace {

using namespace storagetest;

std::vector<std::string> containerNames(const BLSContainerResultSegment& segment) {
    std::vector<std::string> names;
    for (const auto& container : segment.results) names.push_back(container->name());
    return names;
}

class CloudClientServiceTest : public StorageServerTest {
protected:
    std::tuple<ErrorOut, std::shared_ptr<BLSContainerResultSegment>> listContainers(
        const std::optional<BLSContinuationToken>& token, const std::optional<std::string>& prefix,
        BLSContainerListingDetails details, std::int64_t maxResults) {
        Awaited<ErrorOut, std::shared_ptr<BLSContainerResultSegment>> done;
        client->listContainersSegmentedWithContinuationToken(token, prefix, details, maxResults, done.handler());
        return done.get();
    }
};

BLSServiceProperties sampleProperties() {
    BLSServiceProperties properties;
    BLSLoggingProperties logging;
    logging.logOperationTypes = BLSLoggingOperationsRead | BLSLoggingOperationsWrite;
    logging.retentionIntervalInDays = 7;
    properties.logging = logging;
    BLSMetricsProperties hour;
    hour.metricsLevel = BLSMetricsLevelServiceAndAPI;
    hour.retentionIntervalInDays = 5;
    properties.hourMetrics = hour;
    properties.minuteMetrics = BLSMetricsProperties();
    BLSCorsRule rule;
    rule.allowedOrigins = {"http://a.example", "http://b.example"};
    rule.exposedHeaders = {"x-bs-meta-*"};
    rule.allowedHeaders = {"x-bs-meta-owner"};
    rule.allowedHttpMethods = BLSCorsHttpMethodsGet | BLSCorsHttpMethodsPut;
    rule.maxAgeInSeconds = 500;
    properties.corsRules = std::vector<BLSCorsRule>{rule};
    properties.defaultServiceVersion = "2016-03-14";
    return properties;
}

}  // namespace

TEST(CloudClient, ContainerReferencesSendNothing) {
    auto client = std::make_shared<BLSCloudBlobClient>(endpoint(), nullptr);
    auto container = client->containerReferenceFromName("layouts");
    ASSERT_TRUE(container);
    EXPECT_EQ(container->name(), "layouts");
    EXPECT_EQ(container->client(), client);
    ASSERT_TRUE(container->storageUri().primaryUri());
    EXPECT_EQ(container->storageUri().primaryUri()->absoluteString(), "https://a.blob.example.org/layouts");
    EXPECT_TRUE(container->metadata().empty());
    EXPECT_FALSE(container->properties().eTag);
    EXPECT_NE(client->containerReferenceFromName("layouts"), container);
}

TEST_F(CloudClientServiceTest, ListsContainersByPrefixInPages) {
    for (const char* name : {"alpha1", "alpha2", "alpha3", "beta1"}) createdContainer(name);
    {
        auto alpha1 = client->containerReferenceFromName("alpha1");
        alpha1->setMetadata({{"owner", "ann"}});
        Awaited<ErrorOut> done;
        alpha1->uploadMetadataWithCompletionHandler(done.handler());
        ASSERT_FALSE(std::get<0>(done.get()));
    }

    auto [error, first] = listContainers(std::nullopt, std::string("alpha"), 0, 2);
    ASSERT_FALSE(error) << error->localizedDescription();
    ASSERT_TRUE(first);
    EXPECT_EQ(containerNames(*first), (std::vector<std::string>{"alpha1", "alpha2"}));
    ASSERT_TRUE(first->continuationToken);
    EXPECT_EQ(first->continuationToken->storageLocation, BLSStorageLocationPrimary);
    auto listing = requestsFor(server, "listcontainers").back();
    EXPECT_NE(listing.query.find("prefix=alpha"), std::string::npos);
    EXPECT_NE(listing.query.find("maxresults=2"), std::string::npos);
    EXPECT_EQ(listing.query.find("include"), std::string::npos);

    // Listed containers are references of this client with the listed
    // properties; without details no metadata is asked for.
    const auto& alpha1 = first->results[0];
    EXPECT_EQ(alpha1->client(), client);
    EXPECT_EQ(alpha1->storageUri().primaryUri()->absoluteString(), server.baseUrl() + "/alpha1");
    EXPECT_TRUE(alpha1->properties().eTag);
    EXPECT_TRUE(alpha1->properties().lastModified);
    EXPECT_EQ(alpha1->properties().leaseState, BLSLeaseStateAvailable);
    EXPECT_TRUE(alpha1->metadata().empty());

    // The last page has an empty next marker and so no token.
    auto [secondError, second] = listContainers(first->continuationToken, std::string("alpha"), 1, 2);
    ASSERT_FALSE(secondError);
    ASSERT_TRUE(second);
    EXPECT_EQ(containerNames(*second), (std::vector<std::string>{"alpha3"}));
    EXPECT_FALSE(second->continuationToken);
    EXPECT_NE(
        requestsFor(server, "listcontainers").back().query.find("marker=" + *first->continuationToken->nextMarker),
        std::string::npos);

    auto [allError, all] = listContainers(std::nullopt, std::nullopt, 1, -1);
    ASSERT_FALSE(allError);
    ASSERT_TRUE(all);
    EXPECT_EQ(containerNames(*all), (std::vector<std::string>{"alpha1", "alpha2", "alpha3", "beta1"}));
    EXPECT_EQ(all->results[0]->metadata(), (BLSMetadata{{"owner", "ann"}}));
    EXPECT_EQ(requestsFor(server, "listcontainers").back().query.find("maxresults"), std::string::npos);

    // The short forms list everything.
    Awaited<ErrorOut, std::shared_ptr<BLSContainerResultSegment>> shortForm;
    client->listContainersSegmentedWithContinuationToken(std::nullopt, shortForm.handler());
    auto [shortError, everything] = shortForm.get();
    ASSERT_FALSE(shortError);
    EXPECT_EQ(everything->results.size(), 4u);
}

TEST_F(CloudClientServiceTest, ServicePropertiesRoundTrip) {
    const BLSServiceProperties properties = sampleProperties();
    Awaited<ErrorOut> upload;
    client->uploadServicePropertiesWithServiceProperties(properties, upload.handler());
    auto [uploadError] = upload.get();
    ASSERT_FALSE(uploadError) << uploadError->localizedDescription();
    auto uploads = requestsFor(server, "setserviceproperties");
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].status, 202);
    EXPECT_GT(uploads[0].bodyLength, 0u);

    Awaited<ErrorOut, std::optional<BLSServiceProperties>> download;
    client->downloadServicePropertiesWithCompletionHandler(download.handler());
    auto [downloadError, downloaded] = download.get();
    ASSERT_FALSE(downloadError) << downloadError->localizedDescription();
    ASSERT_TRUE(downloaded);
    EXPECT_EQ(*downloaded, properties);

    // Settings XML cannot carry are refused before sending.
    BLSServiceProperties broken = properties;
    broken.defaultServiceVersion = std::string("2016\x01");
    const auto before = server.requests().size();
    Awaited<ErrorOut> refused;
    client->uploadServicePropertiesWithServiceProperties(broken, refused.handler());
    auto [refusedError] = refused.get();
    ASSERT_TRUE(refusedError);
    EXPECT_TRUE(BLSIsError(*refusedError, BLSErrorCode::XMLCreationError));
    EXPECT_EQ(server.requests().size(), before);

    // A wrong key is refused by the service.
    auto wrong = clientWithKey("d3Jvbmcta2V5LXdyb25nLWtleS13cm9uZy1rZXktMzI=");
    Awaited<ErrorOut, std::optional<BLSServiceProperties>> forbidden;
    wrong->downloadServicePropertiesWithCompletionHandler(forbidden.handler());
    auto [forbiddenError, none] = forbidden.get();
    ASSERT_TRUE(forbiddenError);
    EXPECT_EQ(statusOf(*forbiddenError), 403);
    EXPECT_FALSE(none);
}

TEST_F(CloudClientServiceTest, UnreadableRepliesAreErrorsNotEmptyResults) {
    // No retries: a retry would fetch a good reply and hide the first.
    auto context = std::make_shared<BLSOperationContext>();
    context->setRetryPolicy(std::make_shared<BLSRetryPolicyNoRetry>());

    server.addFault(
        R"({"operation": "listcontainers", "action": {"status": 200, "body": "<EnumerationResults><Containers><Container></Name></Container>"}})");
    Awaited<ErrorOut, std::shared_ptr<BLSContainerResultSegment>> list;
    client->listContainersSegmentedWithContinuationToken(std::nullopt, std::nullopt, 0, -1, nullptr, context,
                                                         list.handler());
    auto [listError, segment] = list.get();
    ASSERT_TRUE(listError);
    EXPECT_TRUE(BLSIsError(*listError, BLSErrorCode::ParseError));
    EXPECT_FALSE(segment);

    server.addFault(
        R"({"operation": "getserviceproperties", "action": {"status": 200, "body": "<StorageServiceProperties><Logging>"}})");
    Awaited<ErrorOut, std::optional<BLSServiceProperties>> download;
    client->downloadServicePropertiesWithCompletionHandler(nullptr, context, download.handler());
    auto [downloadError, properties] = download.get();
    ASSERT_TRUE(downloadError);
    EXPECT_TRUE(BLSIsError(*downloadError, BLSErrorCode::ParseError));
    EXPECT_FALSE(properties);
    EXPECT_EQ(server.requests().size(), 2u);
}
