#include "storage/BLSCloudStorageAccount.h"

#include "platform/foundation/AsciiText.h"
#include "platform/security/Crypto.h"
#include "storage/BLSCloudClient.h"
#include "storage/BLSErrors.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSSharedAccessSignatureHelper.h"
#include "storage/BLSUtil.h"

#include <map>
#include <string_view>

namespace {

constexpr const char* kInvalidConnectionString = "Invalid connection string.";
constexpr const char* kMissingAccountName = "Storage credentials are missing an account name.";
constexpr const char* kInvalidAccountName = "Invalid storage account name.";
constexpr const char* kSASWithoutKey = "Cannot create SAS without account key.";

// Sets code 1 and logs the reason. Reasons are fixed texts, never key or
// token material.
void fail(std::optional<platform::Error>& error, const char* reason) {
    error = BLSMakeInvalidArgumentError(reason);
    BLSUtil::operationlessContext()->logAtLevel(BLSLogLevelError, std::string(reason));
}

// Every ";"-separated piece as key and value split at its first "=";
// nullopt when a piece (the empty one after a trailing ";" too) has no "=".
std::optional<std::map<std::string, std::string>> parsePairs(std::string_view text) {
    std::map<std::string, std::string> pairs;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(';', start);
        const std::string_view piece = text.substr(start, end == std::string_view::npos ? text.npos : end - start);
        const std::size_t equals = piece.find('=');
        if (equals == std::string_view::npos) {
            return std::nullopt;
        }
        pairs[std::string(piece.substr(0, equals))] = std::string(piece.substr(equals + 1));
        if (end == std::string_view::npos) {
            return pairs;
        }
        start = end + 1;
    }
}

const std::string* find(const std::map<std::string, std::string>& pairs, const char* key) {
    auto it = pairs.find(key);
    return it == pairs.end() ? nullptr : &it->second;
}

}  // namespace

std::shared_ptr<BLSCloudStorageAccount> BLSCloudStorageAccount::accountFromConnectionString(
    const std::string& connectionString, std::optional<platform::Error>& error) {
    std::optional<std::map<std::string, std::string>> parsed = parsePairs(connectionString);
    if (!parsed) {
        fail(error, kInvalidConnectionString);
        return nullptr;
    }
    std::map<std::string, std::string>& pairs = *parsed;

    if (const std::string* local = find(pairs, "UseLocalStorage");
        local != nullptr && platform::ascii::equalsIgnoringCase(*local, "true")) {
        pairs["BlobEndpoint"] = BLSDevelopmentStorageBlobEndpoint;
        pairs["DefaultEndpointsProtocol"] = "http";
        pairs["AccountName"] = BLSDevelopmentStorageAccountName;
        pairs["AccountKey"] = BLSDevelopmentStorageAccountKey;
    }

    const std::string* endpointSuffix = find(pairs, "EndpointSuffix");
    const std::string* protocol = find(pairs, "DefaultEndpointsProtocol");
    const bool useHttps = !(protocol != nullptr && *protocol == "http");

    std::shared_ptr<BLSStorageCredentials> credentials;
    const std::string* accountName = find(pairs, "AccountName");
    const std::string* accountKey = find(pairs, "AccountKey");
    const std::string* sasToken = find(pairs, "SharedAccessSignature");
    if (accountName != nullptr && accountKey != nullptr) {
        credentials = std::make_shared<BLSStorageCredentials>(*accountName, *accountKey);
    } else if (sasToken != nullptr) {
        credentials = BLSStorageCredentials::makeWithSASToken(*sasToken);
    }

    std::shared_ptr<BLSCloudStorageAccount> account;
    if (const std::string* blobEndpoint = find(pairs, "BlobEndpoint"); blobEndpoint != nullptr) {
        std::optional<platform::net::URL> url = platform::net::URL::parse(*blobEndpoint);
        if (!url) {
            // An endpoint that is no URL would only fail later, at the first
            // request; refuse it here.
            fail(error, kInvalidConnectionString);
            return nullptr;
        }
        account = makeWithCredentials(std::move(credentials), BLSStorageUri(std::move(url)), std::nullopt, std::nullopt,
                                      std::nullopt, error);
    } else if (endpointSuffix != nullptr) {
        account = makeWithCredentials(std::move(credentials), useHttps, *endpointSuffix, error);
    } else {
        account = makeWithCredentials(std::move(credentials), useHttps, error);
    }
    // Success is the account itself: an error the caller left in the holder
    // does not turn a good connection string into a failure.
    if (account == nullptr) {
        return nullptr;
    }
    account->mConnectionString = connectionString;
    return account;
}

std::shared_ptr<BLSCloudStorageAccount> BLSCloudStorageAccount::makeWithCredentials(
    std::shared_ptr<BLSStorageCredentials> credentials, bool useHttps, std::optional<platform::Error>& error) {
    return makeWithCredentials(std::move(credentials), useHttps, std::string(BLSDefaultEndpointSuffix), error);
}

std::shared_ptr<BLSCloudStorageAccount> BLSCloudStorageAccount::makeWithCredentials(
    std::shared_ptr<BLSStorageCredentials> credentials, bool useHttps, const std::string& endpointSuffix,
    std::optional<platform::Error>& error) {
    if (credentials == nullptr || !credentials->accountName().has_value()) {
        fail(error, kMissingAccountName);
        return nullptr;
    }
    std::shared_ptr<BLSCloudStorageAccount> account(new BLSCloudStorageAccount());
    account->mStorageCredentials = std::move(credentials);
    if (endpointSuffix != BLSDefaultEndpointSuffix) {
        account->mEndpointSuffix = endpointSuffix;
    }
    account->mBlobEndpoint =
        account->constructDefaultEndpointWithScheme(useHttps ? "https" : "http", "blob", endpointSuffix);
    if (!account->mBlobEndpoint.primaryUri() || !account->mBlobEndpoint.secondaryUri()) {
        fail(error, kInvalidAccountName);
        return nullptr;
    }
    account->mExplicitEndpoints = false;
    account->mUseHttps = useHttps;
    return account;
}

std::shared_ptr<BLSCloudStorageAccount> BLSCloudStorageAccount::makeWithCredentials(
    std::shared_ptr<BLSStorageCredentials> credentials, BLSStorageUri blobEndpoint, std::optional<BLSStorageUri>,
    std::optional<BLSStorageUri>, std::optional<BLSStorageUri>, std::optional<platform::Error>&) {
    std::shared_ptr<BLSCloudStorageAccount> account(new BLSCloudStorageAccount());
    account->mStorageCredentials = std::move(credentials);
    account->mBlobEndpoint = std::move(blobEndpoint);
    account->mExplicitEndpoints = true;
    return account;
}

BLSStorageUri BLSCloudStorageAccount::constructDefaultEndpointWithScheme(const std::string& scheme,
                                                                         const std::string& hostnamePrefix,
                                                                         const std::string& endpointSuffix) const {
    const std::string accountName =
        mStorageCredentials != nullptr ? mStorageCredentials->accountName().value_or(std::string()) : std::string();
    // The host as written and nothing more: a name or suffix holding "?",
    // "@", "/" or an escape would send the requests, signed, to another host.
    auto endpoint = [&](const std::string& hostStart) -> std::optional<platform::net::URL> {
        const std::string authority = hostStart + endpointSuffix;
        auto url = platform::net::URL::parse(scheme + "://" + authority);
        if (!url) return std::nullopt;
        const std::string hostAndPort = url->host() + (url->port() ? ":" + std::to_string(*url->port()) : "");
        if (authority != hostAndPort && authority != hostAndPort + ":") return std::nullopt;
        return url;
    };
    return BLSStorageUri(endpoint(accountName + "." + hostnamePrefix + "."),
                         endpoint(accountName + "-secondary." + hostnamePrefix + "."));
}

std::shared_ptr<BLSCloudBlobClient> BLSCloudStorageAccount::getBlobClient() const {
    return std::make_shared<BLSCloudBlobClient>(mBlobEndpoint, mStorageCredentials);
}

std::optional<std::string> BLSCloudStorageAccount::createSharedAccessSignatureWithParameters(
    const BLSSharedAccessAccountParameters& parameters, std::optional<platform::Error>& error) const {
    if (mStorageCredentials == nullptr || !mStorageCredentials->isSharedKey()) {
        fail(error, kSASWithoutKey);
        return std::nullopt;
    }
    // The helpers give up at once on an error already in their holder; start
    // them with an empty one.
    std::optional<platform::Error> stepError;
    const std::optional<std::string> signature =
        BLSSharedAccessSignatureHelper::sharedAccessSignatureHashForAccountWithParameters(
            parameters, mStorageCredentials->accountName(), mStorageCredentials.get(), stepError);
    std::optional<BLSUriQueryBuilder> query;
    if (signature && !stepError) {
        query = BLSSharedAccessSignatureHelper::sharedAccessSignatureForAccountWithParameters(parameters, signature,
                                                                                              stepError);
    }
    if (!query || stepError) {
        error = stepError ? std::move(stepError) : BLSMakeError(BLSErrorCode::InvalidArgumentOrState);
        return std::nullopt;
    }
    return query->builderAsString();
}

const std::string& BLSCloudStorageAccount::connectionString() {
    if (mConnectionString) {
        return *mConnectionString;
    }
    std::string credentialsPart;
    if (mStorageCredentials != nullptr && mStorageCredentials->accountKey().has_value()) {
        credentialsPart = ";AccountName=" + mStorageCredentials->accountName().value_or(std::string()) +
                          ";AccountKey=" + platform::security::base64Encode(*mStorageCredentials->accountKey());
    } else if (mStorageCredentials != nullptr && mStorageCredentials->sasToken().has_value()) {
        credentialsPart = ";SharedAccessSignature=" + *mStorageCredentials->sasToken();
    }

    std::string text;
    if (!mExplicitEndpoints) {
        text = std::string("DefaultEndpointsProtocol=") + (mUseHttps ? "https" : "http") + credentialsPart;
        if (mEndpointSuffix) {
            text += ";EndpointSuffix=" + *mEndpointSuffix;
        }
    } else {
        const std::string endpoint =
            mBlobEndpoint.primaryUri() ? mBlobEndpoint.primaryUri()->absoluteString() : std::string();
        if (credentialsPart.empty()) {
            text = "BlobEndpoint=" + endpoint;
        } else {
            text = credentialsPart.substr(1) + ";BlobEndpoint=" + endpoint;
        }
    }
    mConnectionString = std::move(text);
    return *mConnectionString;
}
