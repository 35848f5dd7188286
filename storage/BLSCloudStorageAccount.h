#pragma once
// A storage account: the credentials and blob service endpoint read from a
// connection string ("Key=Value" pairs separated by ";"), the blob client
// made from them, and the connection string written back.

#include "platform/foundation/Error.h"
#include "storage/BLSStorageCredentials.h"
#include "storage/BLSStorageUri.h"

#include <memory>
#include <optional>
#include <string>

class BLSCloudBlobClient;
struct BLSSharedAccessAccountParameters;

// The service's usual endpoint suffix; derived endpoints are
// "<scheme>://<account>.blob.<suffix>".
inline constexpr const char* BLSDefaultEndpointSuffix = "core.vekmont-storage.net";

// The local development storage that "UseLocalStorage=true" selects.
inline constexpr const char* BLSDevelopmentStorageAccountName = "localaccount1";
inline constexpr const char* BLSDevelopmentStorageAccountKey =
    "Zm9vYmFyQmF6UXV4Q29ybmZsb3dlclRhcGVzdHJ5V2luZG1pbGxPcmNoYXJkTWVhZG93QnJvb2tIYXJib3I0Mg==";
inline constexpr const char* BLSDevelopmentStorageBlobEndpoint = "http://127.0.0.1:10000/localaccount1";

class BLSCloudStorageAccount {
public:
    // Reads a connection string. On failure returns nullptr and sets `error`
    // (code 1); the reason is also logged at error level.
    static std::shared_ptr<BLSCloudStorageAccount> accountFromConnectionString(const std::string& connectionString,
                                                                               std::optional<platform::Error>& error);

    // Endpoints derived from the credentials' account name, with the default
    // suffix or the given one. Fails when the credentials carry no account
    // name (no credentials, or SAS credentials without one) or when that
    // name cannot form an endpoint address.
    static std::shared_ptr<BLSCloudStorageAccount> makeWithCredentials(
        std::shared_ptr<BLSStorageCredentials> credentials, bool useHttps, std::optional<platform::Error>& error);
    static std::shared_ptr<BLSCloudStorageAccount> makeWithCredentials(
        std::shared_ptr<BLSStorageCredentials> credentials, bool useHttps, const std::string& endpointSuffix,
        std::optional<platform::Error>& error);
    // An explicit blob endpoint. The table, queue and file endpoints are
    // accepted for the other services and not kept. Never fails.
    static std::shared_ptr<BLSCloudStorageAccount> makeWithCredentials(
        std::shared_ptr<BLSStorageCredentials> credentials, BLSStorageUri blobEndpoint,
        std::optional<BLSStorageUri> tableEndpoint, std::optional<BLSStorageUri> queueEndpoint,
        std::optional<BLSStorageUri> fileEndpoint, std::optional<platform::Error>& error);

    // "<scheme>://<account>.<prefix>.<suffix>" and
    // "<scheme>://<account>-secondary.<prefix>.<suffix>" with the account
    // name of the credentials; a URL that cannot be made (a name no host may
    // hold), or that would be more than a host (a name holding "?", "@",
    // "/", "#" or an escape), is left nullopt.
    BLSStorageUri constructDefaultEndpointWithScheme(const std::string& scheme, const std::string& hostnamePrefix,
                                                     const std::string& endpointSuffix) const;

    // A new client for the blob endpoint and credentials on every call.
    std::shared_ptr<BLSCloudBlobClient> getBlobClient() const;

    // The account SAS as query text beginning with "?"; nullopt (and `error`
    // set) without an account key or when the parameters are refused.
    std::optional<std::string> createSharedAccessSignatureWithParameters(
        const BLSSharedAccessAccountParameters& parameters, std::optional<platform::Error>& error) const;

    // The text the account was read from; otherwise written from the
    // settings on first use and kept from then on.
    const std::string& connectionString();

    bool explicitEndpoints() const { return mExplicitEndpoints; }
    void setExplicitEndpoints(bool value) { mExplicitEndpoints = value; }
    bool useHttps() const { return mUseHttps; }
    void setUseHttps(bool value) { mUseHttps = value; }
    const std::shared_ptr<BLSStorageCredentials>& storageCredentials() const { return mStorageCredentials; }
    void setStorageCredentials(std::shared_ptr<BLSStorageCredentials> credentials) {
        mStorageCredentials = std::move(credentials);
    }
    const BLSStorageUri& blob_endpoint() const { return mBlobEndpoint; }
    void setBlob_endpoint(BLSStorageUri endpoint) { mBlobEndpoint = std::move(endpoint); }
    // nullopt for the default suffix and for explicit endpoints.
    const std::optional<std::string>& endpointSuffix() const { return mEndpointSuffix; }
    void setEndpointSuffix(std::optional<std::string> suffix) { mEndpointSuffix = std::move(suffix); }

private:
    BLSCloudStorageAccount() = default;

    bool mExplicitEndpoints = false;
    bool mUseHttps = true;
    std::optional<std::string> mConnectionString;
    std::shared_ptr<BLSStorageCredentials> mStorageCredentials;
    BLSStorageUri mBlobEndpoint;
    std::optional<std::string> mEndpointSuffix;
};
