#pragma once
// Service clients: one storage service of one account, with the endpoint,
// the credentials and the handler that authorises the client's requests.

#include "platform/foundation/Error.h"
#include "storage/BLSEnums.h"
#include "storage/BLSListResponses.h"
#include "storage/BLSRequestOptions.h"
#include "storage/BLSResultTypes.h"
#include "storage/BLSServiceProperties.h"
#include "storage/BLSStorageCredentials.h"
#include "storage/BLSStorageUri.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class BLSCloudBlobContainer;
class BLSOperationContext;

// The base of every service client. Concrete clients install their
// authentication handler in setAuthenticationHandlerWithCredentials; the base
// has none to install. Clients are shared (containers and blobs keep one), so
// make them with std::make_shared.
class BLSCloudClient : public std::enable_shared_from_this<BLSCloudClient> {
public:
    virtual ~BLSCloudClient() = default;
    BLSCloudClient(const BLSCloudClient&) = delete;
    BLSCloudClient& operator=(const BLSCloudClient&) = delete;

    // nullptr stands for no credentials at all.
    const std::shared_ptr<BLSStorageCredentials>& credentials() const { return mCredentials; }
    // Stores the credentials and installs the matching handler.
    void setCredentials(std::shared_ptr<BLSStorageCredentials> credentials);

    const BLSStorageUri& storageUri() const { return mStorageUri; }
    void setStorageUri(BLSStorageUri storageUri) { mStorageUri = std::move(storageUri); }

    const std::shared_ptr<BLSAuthenticationHandler>& authenticationHandler() const { return mAuthenticationHandler; }
    void setAuthenticationHandler(std::shared_ptr<BLSAuthenticationHandler> handler) {
        mAuthenticationHandler = std::move(handler);
    }

    // Throws std::logic_error ("Cannot set auth handler on a base
    // BLSCloudClient"); every concrete client overrides it.
    virtual void setAuthenticationHandlerWithCredentials(const std::shared_ptr<BLSStorageCredentials>& credentials);

protected:
    // Stores both. A virtual call cannot reach the subclass from here, so
    // each concrete constructor installs its handler itself.
    BLSCloudClient(BLSStorageUri storageUri, std::shared_ptr<BLSStorageCredentials> credentials);

private:
    std::shared_ptr<BLSStorageCredentials> mCredentials;
    BLSStorageUri mStorageUri;
    std::shared_ptr<BLSAuthenticationHandler> mAuthenticationHandler;
};

// The blob service client: the directory delimiter and the default options
// that every operation on its containers and blobs combines with its own
// (see BLSBlobRequestOptions::combine).
class BLSCloudBlobClient : public BLSCloudClient {
public:
    BLSCloudBlobClient(BLSStorageUri storageUri, std::shared_ptr<BLSStorageCredentials> credentials);

    // The shared-key handler for shared-key credentials, otherwise the
    // handler that changes nothing (SAS credentials travel in the URL).
    void setAuthenticationHandlerWithCredentials(const std::shared_ptr<BLSStorageCredentials>& credentials) override;

    const std::string& directoryDelimiter() const { return mDirectoryDelimiter; }
    // The empty text stores "/".
    void setDirectoryDelimiter(std::string delimiter);

    // Read and written atomically, so operations running on other threads
    // see either the old or the new options; nullptr until set. The options
    // object itself is shared, not copied: change it only before use.
    std::shared_ptr<BLSBlobRequestOptions> defaultRequestOptions() const;
    void setDefaultRequestOptions(std::shared_ptr<BLSBlobRequestOptions> options);

    using ErrorOut = std::optional<platform::Error>;
    using OptionsPtr = std::shared_ptr<BLSBlobRequestOptions>;
    using ContextPtr = std::shared_ptr<BLSOperationContext>;
    using Completion = std::function<void(const ErrorOut& error)>;
    // nullptr on failure.
    using ListContainersCompletion =
        std::function<void(const ErrorOut& error, const std::shared_ptr<BLSContainerResultSegment>& segment)>;
    // nullopt on failure.
    using ServicePropertiesCompletion =
        std::function<void(const ErrorOut& error, const std::optional<BLSServiceProperties>& serviceProperties)>;

    // A reference to the container `name` of this service; nothing is sent.
    // The client must be owned by a std::shared_ptr (the container keeps it).
    std::shared_ptr<BLSCloudBlobContainer> containerReferenceFromName(const std::string& name);

    // One page of the service's containers whose names start with `prefix`
    // (raw text; the request encodes it), each a reference with the listed
    // properties and metadata. Details 1 lists the metadata; a maxResults
    // below 1 leaves the page size to the service. The completions run on
    // the executor's delegate queue.
    void listContainersSegmentedWithContinuationToken(const std::optional<BLSContinuationToken>& continuationToken,
                                                      ListContainersCompletion completionHandler);
    void listContainersSegmentedWithContinuationToken(const std::optional<BLSContinuationToken>& continuationToken,
                                                      const std::optional<std::string>& prefix,
                                                      ListContainersCompletion completionHandler);
    void listContainersSegmentedWithContinuationToken(const std::optional<BLSContinuationToken>& continuationToken,
                                                      const std::optional<std::string>& prefix,
                                                      BLSContainerListingDetails containerListingDetails,
                                                      std::int64_t maxResults,
                                                      ListContainersCompletion completionHandler);
    void listContainersSegmentedWithContinuationToken(const std::optional<BLSContinuationToken>& continuationToken,
                                                      const std::optional<std::string>& prefix,
                                                      BLSContainerListingDetails containerListingDetails,
                                                      std::int64_t maxResults, OptionsPtr requestOptions,
                                                      ContextPtr operationContext,
                                                      ListContainersCompletion completionHandler);

    // Writes the service's settings. Properties that cannot be written as
    // XML are refused at once (error code 7) and nothing is sent.
    void uploadServicePropertiesWithServiceProperties(const BLSServiceProperties& serviceProperties,
                                                      Completion completionHandler);
    void uploadServicePropertiesWithServiceProperties(const BLSServiceProperties& serviceProperties,
                                                      OptionsPtr requestOptions, ContextPtr operationContext,
                                                      Completion completionHandler);
    // Reads the service's settings; a reply that cannot be read is error
    // code 6.
    void downloadServicePropertiesWithCompletionHandler(ServicePropertiesCompletion completionHandler);
    void downloadServicePropertiesWithCompletionHandler(OptionsPtr requestOptions, ContextPtr operationContext,
                                                        ServicePropertiesCompletion completionHandler);

private:
    std::string mDirectoryDelimiter = "/";
    mutable std::mutex mDefaultRequestOptionsMutex;
    std::shared_ptr<BLSBlobRequestOptions> mDefaultRequestOptions;
};
