// Storage accounts from connection strings: endpoints, credentials, the
// refused forms with their log lines, and connection strings written back.

#include "storage/BLSCloudStorageAccount.h"

#include "storage/BLSCloudClient.h"
#include "storage/BLSErrors.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSSharedAccessSignatureHelper.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

// base64 of "key-of-account-a"
const std::string kAccountKey = "a2V5LW9mLWFjY291bnQtYQ==";
const std::string kDevKeyText = "foobarBazQuxCornflowerTapestryWindmillOrchardMeadowBrookHarbor42";

std::vector<std::uint8_t> bytes(const std::string& text) { return {text.begin(), text.end()}; }
const std::vector<std::uint8_t> kKeyBytes = bytes("key-of-account-a");

// Captures what the client logs process-wide at error level.
class CloudStorageAccount : public ::testing::Test {
protected:
    void SetUp() override {
        BLSOperationContext::setGlobalLogLevel(BLSLogLevelError);
        BLSOperationContext::setGlobalLogFunction([this](BLSLogLevel level, const std::string& message) {
            std::lock_guard<std::mutex> lock(mMutex);
            mLines.emplace_back(level, message);
        });
    }
    void TearDown() override {
        BLSOperationContext::setGlobalLogFunction(nullptr);
        BLSOperationContext::setGlobalLogLevel(BLSLogLevelNone);
    }

    std::vector<std::pair<BLSLogLevel, std::string>> takeLines() {
        std::lock_guard<std::mutex> lock(mMutex);
        return std::exchange(mLines, {});
    }

    std::shared_ptr<BLSCloudStorageAccount> parse(const std::string& text) {
        std::optional<platform::Error> error;
        auto account = BLSCloudStorageAccount::accountFromConnectionString(text, error);
        EXPECT_NE(account, nullptr) << text;
        EXPECT_FALSE(error.has_value()) << text;
        EXPECT_TRUE(takeLines().empty()) << text;
        return account;
    }

    // Parsing fails with code 1 and exactly one error-level log line.
    void expectRefused(const std::string& text, const std::string& reason) {
        SCOPED_TRACE(text);
        std::optional<platform::Error> error;
        EXPECT_EQ(BLSCloudStorageAccount::accountFromConnectionString(text, error), nullptr);
        ASSERT_TRUE(error.has_value());
        EXPECT_TRUE(BLSIsError(*error, BLSErrorCode::InvalidArgumentOrState));
        EXPECT_EQ(error->localizedDescription(), reason);
        const auto lines = takeLines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].first, BLSLogLevelError);
        EXPECT_EQ(lines[0].second, reason);
    }

private:
    std::mutex mMutex;
    std::vector<std::pair<BLSLogLevel, std::string>> mLines;
};

}  // namespace

TEST_F(CloudStorageAccount, DefaultEndpointsFromAccountNameKeyAndProtocol) {
    struct Case {
        const char* name;
        std::string text;
        bool useHttps;
        std::string primary, secondary;
    };
    const Case cases[] = {
        {"https", "DefaultEndpointsProtocol=https;AccountName=a;AccountKey=" + kAccountKey, true,
         "https://a.blob.core.vekmont-storage.net", "https://a-secondary.blob.core.vekmont-storage.net"},
        {"http", "DefaultEndpointsProtocol=http;AccountName=a;AccountKey=" + kAccountKey, false,
         "http://a.blob.core.vekmont-storage.net", "http://a-secondary.blob.core.vekmont-storage.net"},
        {"protocol compared case-sensitively", "DefaultEndpointsProtocol=HTTP;AccountName=a;AccountKey=" + kAccountKey,
         true, "https://a.blob.core.vekmont-storage.net", "https://a-secondary.blob.core.vekmont-storage.net"},
        {"no protocol means https", "AccountName=a;AccountKey=" + kAccountKey, true,
         "https://a.blob.core.vekmont-storage.net", "https://a-secondary.blob.core.vekmont-storage.net"},
        {"pairs in any order", "AccountKey=" + kAccountKey + ";AccountName=acct7;DefaultEndpointsProtocol=http", false,
         "http://acct7.blob.core.vekmont-storage.net", "http://acct7-secondary.blob.core.vekmont-storage.net"},
        {"a later pair replaces an earlier one", "AccountName=x;AccountName=a;AccountKey=" + kAccountKey, true,
         "https://a.blob.core.vekmont-storage.net", "https://a-secondary.blob.core.vekmont-storage.net"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto account = parse(c.text);
        ASSERT_NE(account, nullptr);
        EXPECT_EQ(account->useHttps(), c.useHttps);
        EXPECT_FALSE(account->explicitEndpoints());
        EXPECT_FALSE(account->endpointSuffix().has_value());
        ASSERT_TRUE(account->blob_endpoint().primaryUri().has_value());
        ASSERT_TRUE(account->blob_endpoint().secondaryUri().has_value());
        EXPECT_EQ(account->blob_endpoint().primaryUri()->absoluteString(), c.primary);
        EXPECT_EQ(account->blob_endpoint().secondaryUri()->absoluteString(), c.secondary);
        ASSERT_NE(account->storageCredentials(), nullptr);
        EXPECT_TRUE(account->storageCredentials()->isSharedKey());
        EXPECT_FALSE(account->storageCredentials()->isSAS());
        EXPECT_EQ(account->storageCredentials()->accountKey(), kKeyBytes);
        EXPECT_EQ(account->connectionString(), c.text);
    }
}

TEST_F(CloudStorageAccount, EndpointSuffix) {
    auto account = parse("DefaultEndpointsProtocol=https;AccountName=a;AccountKey=" + kAccountKey +
                         ";EndpointSuffix=blobs.example.org");
    ASSERT_NE(account, nullptr);
    EXPECT_EQ(account->blob_endpoint().primaryUri()->absoluteString(), "https://a.blob.blobs.example.org");
    EXPECT_EQ(account->blob_endpoint().secondaryUri()->absoluteString(), "https://a-secondary.blob.blobs.example.org");
    EXPECT_EQ(account->endpointSuffix(), "blobs.example.org");

    // Naming the default suffix is the same as naming none.
    auto named = parse("AccountName=a;AccountKey=" + kAccountKey + ";EndpointSuffix=core.vekmont-storage.net");
    ASSERT_NE(named, nullptr);
    EXPECT_FALSE(named->endpointSuffix().has_value());
    EXPECT_EQ(named->blob_endpoint().primaryUri()->absoluteString(), "https://a.blob.core.vekmont-storage.net");
}

TEST_F(CloudStorageAccount, ExplicitBlobEndpoints) {
    {
        SCOPED_TRACE("shared key with an endpoint keeps its port and path; no secondary");
        auto account = parse("AccountName=a;AccountKey=" + kAccountKey + ";BlobEndpoint=http://127.0.0.1:10001/a");
        ASSERT_NE(account, nullptr);
        EXPECT_TRUE(account->explicitEndpoints());
        EXPECT_EQ(account->blob_endpoint().primaryUri()->absoluteString(), "http://127.0.0.1:10001/a");
        EXPECT_EQ(account->blob_endpoint().primaryUri()->port(), 10001);
        EXPECT_FALSE(account->blob_endpoint().secondaryUri().has_value());
        EXPECT_FALSE(account->endpointSuffix().has_value());
        EXPECT_TRUE(account->storageCredentials()->isSharedKey());
    }
    {
        SCOPED_TRACE("SAS with an endpoint");
        auto account = parse(
            "SharedAccessSignature=sv=2016-03-14&sig=abc%3D&sp=r;"
            "BlobEndpoint=https://files.example.org");
        ASSERT_NE(account, nullptr);
        EXPECT_TRUE(account->explicitEndpoints());
        ASSERT_NE(account->storageCredentials(), nullptr);
        EXPECT_TRUE(account->storageCredentials()->isSAS());
        EXPECT_FALSE(account->storageCredentials()->isSharedKey());
        EXPECT_FALSE(account->storageCredentials()->accountName().has_value());
        // The value runs to the end of the piece, "=" included.
        EXPECT_EQ(account->storageCredentials()->sasToken(), "sv=2016-03-14&sig=abc%3D&sp=r");
        EXPECT_EQ(account->blob_endpoint().primaryUri()->absoluteString(), "https://files.example.org");
    }
    {
        SCOPED_TRACE("an endpoint alone: anonymous access, no credentials");
        auto account = parse("BlobEndpoint=https://public.example.org/");
        ASSERT_NE(account, nullptr);
        EXPECT_EQ(account->storageCredentials(), nullptr);
        EXPECT_EQ(account->blob_endpoint().primaryUri()->absoluteString(), "https://public.example.org/");
    }
    {
        SCOPED_TRACE("shared key is preferred to a SAS given with it");
        auto account = parse("SharedAccessSignature=sv=1&sig=2;AccountName=a;AccountKey=" + kAccountKey +
                             ";BlobEndpoint=https://x.example.org");
        ASSERT_NE(account, nullptr);
        EXPECT_TRUE(account->storageCredentials()->isSharedKey());
        EXPECT_FALSE(account->storageCredentials()->isSAS());
    }
}

TEST_F(CloudStorageAccount, LocalStorageOverridesWhatIsGivenWithIt) {
    for (const char* flag : {"true", "TRUE", "True"}) {
        SCOPED_TRACE(flag);
        auto account = parse(std::string("UseLocalStorage=") + flag +
                             ";DefaultEndpointsProtocol=https;"
                             "AccountName=other;AccountKey=" +
                             kAccountKey + ";BlobEndpoint=https://elsewhere.example.org");
        ASSERT_NE(account, nullptr);
        EXPECT_TRUE(account->explicitEndpoints());
        EXPECT_EQ(account->blob_endpoint().primaryUri()->absoluteString(), "http://127.0.0.1:10000/localaccount1");
        EXPECT_EQ(account->storageCredentials()->accountName(), "localaccount1");
        EXPECT_EQ(account->storageCredentials()->accountKey(), bytes(kDevKeyText));
    }
    // Only "true" selects local storage.
    auto account = parse("UseLocalStorage=yes;AccountName=a;AccountKey=" + kAccountKey);
    ASSERT_NE(account, nullptr);
    EXPECT_EQ(account->blob_endpoint().primaryUri()->absoluteString(), "https://a.blob.core.vekmont-storage.net");
    EXPECT_EQ(account->storageCredentials()->accountName(), "a");
}

TEST_F(CloudStorageAccount, RefusedConnectionStrings) {
    const std::string invalid = "Invalid connection string.";
    const std::string missingName = "Storage credentials are missing an account name.";
    struct Case {
        const char* name;
        std::string text;
        std::string reason;
    };
    const Case cases[] = {
        {"trailing ;", "AccountName=a;AccountKey=" + kAccountKey + ";", invalid},
        {"piece without =", "AccountName=a;garbage;AccountKey=" + kAccountKey, invalid},
        {"empty text", "", invalid},
        {"empty piece in the middle", "AccountName=a;;AccountKey=" + kAccountKey, invalid},
        {"keys in another case", "accountname=a;accountkey=" + kAccountKey, missingName},
        {"SAS without an endpoint", "SharedAccessSignature=sv=2016-03-14&sig=abc", missingName},
        {"account name without key", "AccountName=a", missingName},
        {"endpoint that is no URL", "AccountName=a;AccountKey=" + kAccountKey + ";BlobEndpoint=not a url", invalid},
        {"account name no host may hold", "AccountName=a b;AccountKey=" + kAccountKey, "Invalid storage account name."},
        // Names that would make a URL on another host, or with more than a host.
        {"account name with a query", "AccountName=evil.example?;AccountKey=" + kAccountKey,
         "Invalid storage account name."},
        {"account name with user info", "AccountName=a@evil.example;AccountKey=" + kAccountKey,
         "Invalid storage account name."},
        {"account name with a path", "AccountName=evil.example/;AccountKey=" + kAccountKey,
         "Invalid storage account name."},
        {"account name with a fragment", "AccountName=evil.example#;AccountKey=" + kAccountKey,
         "Invalid storage account name."},
        {"account name with an escape", "AccountName=a%2Eb;AccountKey=" + kAccountKey, "Invalid storage account name."},
        {"suffix with an escape", "AccountName=a;AccountKey=" + kAccountKey + ";EndpointSuffix=%65vil.example",
         "Invalid storage account name."},
        {"suffix with a path", "AccountName=a;AccountKey=" + kAccountKey + ";EndpointSuffix=example.test/x",
         "Invalid storage account name."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectRefused(c.text, c.reason);
    }
}

TEST_F(CloudStorageAccount, KeyThatIsNotBase64GivesNoSharedKey) {
    auto account = parse("AccountName=a;AccountKey=not*base64!secret");
    ASSERT_NE(account, nullptr);
    ASSERT_NE(account->storageCredentials(), nullptr);
    EXPECT_FALSE(account->storageCredentials()->isSharedKey());
    EXPECT_EQ(account->storageCredentials()->accountName(), "a");
    // The name alone still derives the endpoints.
    EXPECT_EQ(account->blob_endpoint().primaryUri()->absoluteString(), "https://a.blob.core.vekmont-storage.net");
    auto client = account->getBlobClient();
    EXPECT_NE(std::dynamic_pointer_cast<BLSNoOpAuthenticationHandler>(client->authenticationHandler()), nullptr);
}

TEST_F(CloudStorageAccount, KeyTextNeverReachesLogsOrErrors) {
    const std::string secret = "c2VjcmV0LWtleS10ZXh0";  // base64 of "secret-key-text"
    for (const std::string& text : {"AccountName=a;AccountKey=" + secret + ";", "accountname=a;AccountKey=" + secret,
                                    "AccountName=a b;AccountKey=" + secret}) {
        std::optional<platform::Error> error;
        EXPECT_EQ(BLSCloudStorageAccount::accountFromConnectionString(text, error), nullptr);
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(error->localizedDescription().find(secret), std::string::npos);
        for (const auto& line : takeLines()) {
            EXPECT_EQ(line.second.find(secret), std::string::npos) << line.second;
        }
    }
}

TEST_F(CloudStorageAccount, AnErrorLeftInTheHolderDoesNotFailAGoodString) {
    std::optional<platform::Error> error = BLSMakeInvalidArgumentError("left over");
    auto account =
        BLSCloudStorageAccount::accountFromConnectionString("AccountName=a;AccountKey=" + kAccountKey, error);
    ASSERT_NE(account, nullptr);
    EXPECT_EQ(account->storageCredentials()->accountName(), "a");
}

TEST_F(CloudStorageAccount, MakingAccountsFromCredentials) {
    std::optional<platform::Error> error;
    auto sharedKey = std::make_shared<BLSStorageCredentials>("acct", kAccountKey);

    auto account = BLSCloudStorageAccount::makeWithCredentials(sharedKey, false, error);
    ASSERT_NE(account, nullptr);
    EXPECT_FALSE(error.has_value());
    EXPECT_EQ(account->storageCredentials(), sharedKey);
    EXPECT_FALSE(account->useHttps());
    EXPECT_EQ(account->blob_endpoint().primaryUri()->absoluteString(), "http://acct.blob.core.vekmont-storage.net");

    const BLSStorageUri other = account->constructDefaultEndpointWithScheme("https", "queue", "q.example.org");
    EXPECT_EQ(other.primaryUri()->absoluteString(), "https://acct.queue.q.example.org");
    EXPECT_EQ(other.secondaryUri()->absoluteString(), "https://acct-secondary.queue.q.example.org");

    // No credentials, or SAS credentials without a name, cannot derive endpoints.
    for (auto credentials : {std::shared_ptr<BLSStorageCredentials>(), std::make_shared<BLSStorageCredentials>(),
                             BLSStorageCredentials::makeWithSASToken("sv=1&sig=2")}) {
        error.reset();
        EXPECT_EQ(BLSCloudStorageAccount::makeWithCredentials(credentials, true, "x.example.org", error), nullptr);
        ASSERT_TRUE(error.has_value());
        const auto lines = takeLines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].second, "Storage credentials are missing an account name.");
    }
    // A SAS that names its account can.
    error.reset();
    auto named = BLSCloudStorageAccount::makeWithCredentials(BLSStorageCredentials::makeWithSASToken("sv=1&sig=2", "n"),
                                                             true, error);
    ASSERT_NE(named, nullptr);
    EXPECT_EQ(named->blob_endpoint().primaryUri()->absoluteString(), "https://n.blob.core.vekmont-storage.net");

    // Explicit endpoints never fail, even without credentials; only the blob
    // endpoint is kept.
    error.reset();
    auto explicitAccount = BLSCloudStorageAccount::makeWithCredentials(
        nullptr, BLSStorageUri(platform::net::URL::parse("https://b.example.org")),
        BLSStorageUri(platform::net::URL::parse("https://t.example.org")), std::nullopt, std::nullopt, error);
    ASSERT_NE(explicitAccount, nullptr);
    EXPECT_FALSE(error.has_value());
    EXPECT_TRUE(explicitAccount->explicitEndpoints());
    EXPECT_EQ(explicitAccount->blob_endpoint().primaryUri()->absoluteString(), "https://b.example.org");
}

TEST_F(CloudStorageAccount, ConnectionStringsWrittenBack) {
    std::optional<platform::Error> error;
    const auto url = [](const char* text) { return BLSStorageUri(platform::net::URL::parse(text)); };
    struct Case {
        const char* name;
        std::shared_ptr<BLSCloudStorageAccount> account;
        std::string expected;
    };
    const Case cases[] = {
        {"shared key, https",
         BLSCloudStorageAccount::makeWithCredentials(std::make_shared<BLSStorageCredentials>("a", kAccountKey), true,
                                                     error),
         "DefaultEndpointsProtocol=https;AccountName=a;AccountKey=" + kAccountKey},
        {"shared key, http, own suffix",
         BLSCloudStorageAccount::makeWithCredentials(std::make_shared<BLSStorageCredentials>("a", kAccountKey), false,
                                                     "blobs.example.org", error),
         "DefaultEndpointsProtocol=http;AccountName=a;AccountKey=" + kAccountKey + ";EndpointSuffix=blobs.example.org"},
        {"named SAS, derived endpoints",
         BLSCloudStorageAccount::makeWithCredentials(BLSStorageCredentials::makeWithSASToken("sv=1&sig=2", "n"), true,
                                                     error),
         "DefaultEndpointsProtocol=https;SharedAccessSignature=sv=1&sig=2"},
        {"shared key, explicit endpoint",
         BLSCloudStorageAccount::makeWithCredentials(std::make_shared<BLSStorageCredentials>("a", kAccountKey),
                                                     url("http://127.0.0.1:10001/a"), std::nullopt, std::nullopt,
                                                     std::nullopt, error),
         "AccountName=a;AccountKey=" + kAccountKey + ";BlobEndpoint=http://127.0.0.1:10001/a"},
        {"SAS, explicit endpoint",
         BLSCloudStorageAccount::makeWithCredentials(BLSStorageCredentials::makeWithSASToken("sv=1&sig=2"),
                                                     url("https://files.example.org"), std::nullopt, std::nullopt,
                                                     std::nullopt, error),
         "SharedAccessSignature=sv=1&sig=2;BlobEndpoint=https://files.example.org"},
        {"no credentials, explicit endpoint",
         BLSCloudStorageAccount::makeWithCredentials(nullptr, url("https://public.example.org"), std::nullopt,
                                                     std::nullopt, std::nullopt, error),
         "BlobEndpoint=https://public.example.org"},
    };
    ASSERT_FALSE(error.has_value());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(c.account, nullptr);
        EXPECT_EQ(c.account->connectionString(), c.expected);
        // Kept once written: later changes of the settings do not show.
        c.account->setUseHttps(!c.account->useHttps());
        c.account->setExplicitEndpoints(!c.account->explicitEndpoints());
        EXPECT_EQ(c.account->connectionString(), c.expected);
    }
}

TEST_F(CloudStorageAccount, WrittenConnectionStringsParseBackToTheSameSettings) {
    std::optional<platform::Error> error;
    auto made = BLSCloudStorageAccount::makeWithCredentials(std::make_shared<BLSStorageCredentials>("a", kAccountKey),
                                                            false, "blobs.example.org", error);
    ASSERT_NE(made, nullptr);
    auto parsed = parse(made->connectionString());
    ASSERT_NE(parsed, nullptr);
    EXPECT_EQ(parsed->useHttps(), made->useHttps());
    EXPECT_EQ(parsed->explicitEndpoints(), made->explicitEndpoints());
    EXPECT_EQ(parsed->endpointSuffix(), made->endpointSuffix());
    EXPECT_EQ(parsed->blob_endpoint(), made->blob_endpoint());
    EXPECT_EQ(parsed->storageCredentials()->accountName(), "a");
    EXPECT_EQ(parsed->storageCredentials()->accountKey(), kKeyBytes);

    auto explicitMade = BLSCloudStorageAccount::makeWithCredentials(
        BLSStorageCredentials::makeWithSASToken("sv=1&sig=a%2Bb"),
        BLSStorageUri(platform::net::URL::parse("http://127.0.0.1:10001/a")), std::nullopt, std::nullopt, std::nullopt,
        error);
    auto explicitParsed = parse(explicitMade->connectionString());
    ASSERT_NE(explicitParsed, nullptr);
    EXPECT_TRUE(explicitParsed->explicitEndpoints());
    EXPECT_EQ(explicitParsed->blob_endpoint(), explicitMade->blob_endpoint());
    EXPECT_EQ(explicitParsed->storageCredentials()->sasToken(), "sv=1&sig=a%2Bb");
}

TEST_F(CloudStorageAccount, EachBlobClientIsNewAndUsesTheAccountsSettings) {
    auto account = parse("AccountName=a;AccountKey=" + kAccountKey + ";BlobEndpoint=http://127.0.0.1:10001/a");
    ASSERT_NE(account, nullptr);
    auto first = account->getBlobClient();
    auto second = account->getBlobClient();
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(first->storageUri(), account->blob_endpoint());
    EXPECT_EQ(first->credentials(), account->storageCredentials());
    EXPECT_NE(std::dynamic_pointer_cast<BLSSharedKeyBlobAuthenticationHandler>(first->authenticationHandler()),
              nullptr);
}

TEST_F(CloudStorageAccount, AccountSharedAccessSignature) {
    auto account = parse("AccountName=a;AccountKey=" + kAccountKey);
    ASSERT_NE(account, nullptr);
    BLSSharedAccessAccountParameters parameters;
    parameters.permissions = 1;    // r
    parameters.services = 1;       // b
    parameters.resourceTypes = 4;  // o

    std::optional<platform::Error> error;
    const std::optional<std::string> sas = account->createSharedAccessSignatureWithParameters(parameters, error);
    ASSERT_TRUE(sas.has_value());
    EXPECT_FALSE(error.has_value());
    ASSERT_FALSE(sas->empty());
    EXPECT_EQ(sas->front(), '?');
    // The pairs in any order; the signature is HMAC-SHA256 with the key over
    // "a\nr\nb\no\n\n\n\n\n2016-03-14\n", worked out independently.
    std::set<std::string> pairs;
    std::stringstream pieces(sas->substr(1));
    for (std::string piece; std::getline(pieces, piece, '&');) {
        pairs.insert(piece);
    }
    const std::set<std::string> expected = {"sp=r", "ss=b", "srt=o", "sv=2016-03-14",
                                            "sig=U7FvWmzdfhsNUiqaixKJckP8rwQ7MdcX%2BGnUOePiJFQ%3D"};
    EXPECT_EQ(pairs, expected);

    // A permission out of range is refused and nothing is made.
    parameters.permissions = 256;
    error.reset();
    EXPECT_FALSE(account->createSharedAccessSignatureWithParameters(parameters, error).has_value());
    ASSERT_TRUE(error.has_value());
    EXPECT_TRUE(BLSIsError(*error, BLSErrorCode::InvalidArgumentOrState));
    takeLines();

    // Without an account key there is nothing to sign with.
    for (const std::string& text : {std::string("SharedAccessSignature=sv=1&sig=2;BlobEndpoint=https://x.example.org"),
                                    std::string("AccountName=a;AccountKey=not*base64")}) {
        SCOPED_TRACE(text);
        auto keyless = parse(text);
        ASSERT_NE(keyless, nullptr);
        error.reset();
        parameters.permissions = 1;
        EXPECT_FALSE(keyless->createSharedAccessSignatureWithParameters(parameters, error).has_value());
        ASSERT_TRUE(error.has_value());
        const auto lines = takeLines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].second, "Cannot create SAS without account key.");
    }
}
