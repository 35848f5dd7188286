#pragma once
// The client-side handle of one container: a reference, not a copy. Making
// one sends nothing; every operation builds one or two requests, runs them
// through the executor and calls its completion exactly once, on the
// executor's delegate queue (local refusals call it at once, on the
// caller's thread).
//
// Responses replace metadata() and properties() on that queue; the object
// has no locks, so read them after the completion (or bring your own
// ordering). Containers are shared: make them with the make functions only
// (the operations keep the container alive through shared_from_this until
// their completion has run).
//
// Every operation has a full form (access condition where it takes one,
// request options, operation context, completion) and a short form that
// passes none of them. Arguments are copied when the call is made.

#include "platform/foundation/Error.h"
#include "platform/net/URL.h"
#include "storage/BLSEnums.h"
#include "storage/BLSListResponses.h"
#include "storage/BLSResultTypes.h"
#include "storage/BLSStorageUri.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace platform::net {
struct HTTPURLResponse;
}
class BLSAccessCondition;
class BLSBlobRequestOptions;
class BLSCloudAppendBlob;
class BLSCloudBlobClient;
class BLSCloudBlobDirectory;
class BLSCloudBlockBlob;
class BLSCloudPageBlob;
class BLSOperationContext;
class BLSStorageCredentials;
struct BLSLeaseTarget;
struct BLSSharedAccessBlobParameters;

class BLSCloudBlobContainer : public std::enable_shared_from_this<BLSCloudBlobContainer> {
public:
    using ErrorOut = std::optional<platform::Error>;
    using OptionsPtr = std::shared_ptr<BLSBlobRequestOptions>;
    using ContextPtr = std::shared_ptr<BLSOperationContext>;
    using StoredPolicies = std::map<std::string, BLSSharedAccessPolicy>;

    using Completion = std::function<void(const ErrorOut& error)>;
    // exists / created / deleted; false whenever there is an error.
    using FlagCompletion = std::function<void(const ErrorOut& error, bool flag)>;
    // Lease IDs; nullopt on failure.
    using LeaseIdCompletion = std::function<void(const ErrorOut& error, const std::optional<std::string>& leaseId)>;
    // Seconds until a broken lease ends; nullopt on failure or when the
    // service gives none.
    using LeaseTimeCompletion = std::function<void(const ErrorOut& error, std::optional<std::int64_t> leaseTime)>;
    // nullptr on failure.
    using ListBlobsCompletion =
        std::function<void(const ErrorOut& error, const std::shared_ptr<BLSBlobResultSegment>& segment)>;
    // The stored access policies by identifier (nullopt on failure) and the
    // container's public access level (0 on failure).
    using PermissionsCompletion =
        std::function<void(const ErrorOut& error, const std::optional<StoredPolicies>& storedPolicies,
                           BLSContainerPublicAccessType publicAccess)>;

    BLSCloudBlobContainer(const BLSCloudBlobContainer&) = delete;
    BLSCloudBlobContainer& operator=(const BLSCloudBlobContainer&) = delete;

    // The container `name` of the client's service: its address is the
    // client's with the name appended. Nothing is checked or sent.
    static std::shared_ptr<BLSCloudBlobContainer> makeWithName(std::string name,
                                                               std::shared_ptr<BLSCloudBlobClient> client);
    // A container from its address. A shared access signature in the query
    // becomes the credentials of a new client for the address's service.
    // Fails (nullptr, error code 1) when the given credentials are a
    // signature or shared key and the address carries a signature too
    // ("Multiple credentials provided." logged), or when the address has no
    // service base (a path-style address without account).
    static std::shared_ptr<BLSCloudBlobContainer> makeWithUrl(const platform::net::URL& url, ErrorOut& error);
    static std::shared_ptr<BLSCloudBlobContainer> makeWithUrl(const platform::net::URL& url,
                                                              std::shared_ptr<BLSStorageCredentials> credentials,
                                                              ErrorOut& error);
    static std::shared_ptr<BLSCloudBlobContainer> makeWithStorageUri(const BLSStorageUri& storageUri, ErrorOut& error);
    static std::shared_ptr<BLSCloudBlobContainer> makeWithStorageUri(const BLSStorageUri& storageUri,
                                                                     std::shared_ptr<BLSStorageCredentials> credentials,
                                                                     ErrorOut& error);

    const std::string& name() const { return mName; }
    const std::shared_ptr<BLSCloudBlobClient>& client() const { return mClient; }
    const BLSStorageUri& storageUri() const { return mStorageUri; }
    // User metadata: sent by uploadMetadata, replaced by the attributes
    // download and by exists.
    BLSMetadata& metadata() { return mMetadata; }
    const BLSMetadata& metadata() const { return mMetadata; }
    void setMetadata(BLSMetadata metadata) { mMetadata = std::move(metadata); }
    BLSBlobContainerProperties& properties() { return mProperties; }
    const BLSBlobContainerProperties& properties() const { return mProperties; }
    void setProperties(BLSBlobContainerProperties properties) { mProperties = std::move(properties); }

    // Create and delete.
    void createContainerWithCompletionHandler(Completion completionHandler);
    void createContainerWithAccessType(BLSContainerPublicAccessType accessType, OptionsPtr requestOptions,
                                       ContextPtr operationContext, Completion completionHandler);
    void deleteContainerWithCompletionHandler(Completion completionHandler);
    void deleteContainerWithAccessCondition(const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                            ContextPtr operationContext, Completion completionHandler);
    // (nullopt, true) when this call created the container, (nullopt, false)
    // when it existed already (nothing more is sent); a create that loses a
    // race with another creator reports the service's conflict.
    void createContainerIfNotExistsWithCompletionHandler(FlagCompletion completionHandler);
    void createContainerIfNotExistsWithAccessType(BLSContainerPublicAccessType accessType, OptionsPtr requestOptions,
                                                  ContextPtr operationContext, FlagCompletion completionHandler);
    void deleteContainerIfExistsWithCompletionHandler(FlagCompletion completionHandler);
    void deleteContainerIfExistsWithAccessCondition(const BLSAccessCondition* accessCondition,
                                                    OptionsPtr requestOptions, ContextPtr operationContext,
                                                    FlagCompletion completionHandler);

    // A 404 is (nullopt, false); any other failure is (error, false). A
    // found container also gets the service's metadata and properties.
    void existsWithCompletionHandler(FlagCompletion completionHandler);
    void existsWithAccessCondition(const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                   ContextPtr operationContext, FlagCompletion completionHandler);
    void existsInternalWithPrimaryOnly(bool primaryOnly, const BLSAccessCondition* accessCondition,
                                       OptionsPtr requestOptions, ContextPtr operationContext,
                                       FlagCompletion completionHandler);

    // Listing: blobs and virtual directories under `prefix` (raw text; the
    // request encodes it). A flat listing sends no delimiter, a hierarchical
    // one the client's. A continuation token pins the location its page came
    // from: when the options' location mode excludes that location the
    // completion gets error code 1 at once and nothing is sent.
    void listBlobsSegmentedWithContinuationToken(const std::optional<BLSContinuationToken>& continuationToken,
                                                 const std::optional<std::string>& prefix, bool useFlatBlobListing,
                                                 BLSBlobListingDetails blobListingDetails, std::int64_t maxResults,
                                                 ListBlobsCompletion completionHandler);
    void listBlobsSegmentedWithContinuationToken(const std::optional<BLSContinuationToken>& continuationToken,
                                                 const std::optional<std::string>& prefix, bool useFlatBlobListing,
                                                 BLSBlobListingDetails blobListingDetails, std::int64_t maxResults,
                                                 const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                                 ContextPtr operationContext, ListBlobsCompletion completionHandler);

    // Metadata and attributes.
    void uploadMetadataWithCompletionHandler(Completion completionHandler);
    void uploadMetadataWithAccessCondition(const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                           ContextPtr operationContext, Completion completionHandler);
    void downloadAttributesWithCompletionHandler(Completion completionHandler);
    void downloadAttributesWithAccessCondition(const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                               ContextPtr operationContext, Completion completionHandler);
    void downloadAttributesInternalWithPrimaryOnly(bool primaryOnly, const BLSAccessCondition* accessCondition,
                                                   OptionsPtr requestOptions, ContextPtr operationContext,
                                                   Completion completionHandler);

    // Permissions: the stored access policies and the public access level
    // (0 sends no header, which turns public access off). Policies that
    // cannot be written as XML are refused at once (error code 7).
    void uploadPermissions(const StoredPolicies& permissions, Completion completionHandler);
    void uploadPermissions(const StoredPolicies& permissions, BLSContainerPublicAccessType publicAccess,
                           const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                           ContextPtr operationContext, Completion completionHandler);
    void downloadPermissionsWithCompletionHandler(PermissionsCompletion completionHandler);
    void downloadPermissionsWithAccessCondition(const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                                ContextPtr operationContext, PermissionsCompletion completionHandler);

    // Leases. A lease time of nullopt asks for an infinite lease (-1); a
    // break period of nullopt sends none. Renew and release need an access
    // condition with a lease ID, change needs one and a proposed ID: without
    // them nothing is sent and the completion gets error code 1.
    void acquireLeaseWithLeaseTime(std::optional<std::int64_t> leaseTime,
                                   const std::optional<std::string>& proposedLeaseId,
                                   LeaseIdCompletion completionHandler);
    void acquireLeaseWithLeaseTime(std::optional<std::int64_t> leaseTime,
                                   const std::optional<std::string>& proposedLeaseId,
                                   const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                   ContextPtr operationContext, LeaseIdCompletion completionHandler);
    void renewLeaseWithAccessCondition(const BLSAccessCondition* accessCondition, Completion completionHandler);
    void renewLeaseWithAccessCondition(const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                       ContextPtr operationContext, Completion completionHandler);
    void releaseLeaseWithAccessCondition(const BLSAccessCondition* accessCondition, Completion completionHandler);
    void releaseLeaseWithAccessCondition(const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                         ContextPtr operationContext, Completion completionHandler);
    void breakLeaseWithBreakPeriod(std::optional<std::int64_t> breakPeriod, LeaseTimeCompletion completionHandler);
    void breakLeaseWithBreakPeriod(std::optional<std::int64_t> breakPeriod, const BLSAccessCondition* accessCondition,
                                   OptionsPtr requestOptions, ContextPtr operationContext,
                                   LeaseTimeCompletion completionHandler);
    void changeLeaseWithProposedLeaseId(const std::optional<std::string>& proposedLeaseId,
                                        const BLSAccessCondition* accessCondition, LeaseIdCompletion completionHandler);
    void changeLeaseWithProposedLeaseId(const std::optional<std::string>& proposedLeaseId,
                                        const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                        ContextPtr operationContext, LeaseIdCompletion completionHandler);

    // References (nothing is sent).
    std::shared_ptr<BLSCloudBlockBlob> blockBlobReferenceFromName(const std::string& blobName);
    std::shared_ptr<BLSCloudBlockBlob> blockBlobReferenceFromName(const std::string& blobName,
                                                                  const std::optional<std::string>& snapshotTime);
    std::shared_ptr<BLSCloudPageBlob> pageBlobReferenceFromName(const std::string& blobName);
    std::shared_ptr<BLSCloudPageBlob> pageBlobReferenceFromName(const std::string& blobName,
                                                                const std::optional<std::string>& snapshotTime);
    std::shared_ptr<BLSCloudAppendBlob> appendBlobReferenceFromName(const std::string& blobName);
    std::shared_ptr<BLSCloudAppendBlob> appendBlobReferenceFromName(const std::string& blobName,
                                                                    const std::optional<std::string>& snapshotTime);
    // nullopt is the container's root.
    std::shared_ptr<BLSCloudBlobDirectory> directoryReferenceFromName(const std::optional<std::string>& name);

    // The container SAS query ("?..." text), or nullopt with error code 1
    // when the client holds no account key ("Cannot create SAS without
    // account key." logged) or the signature cannot be made.
    std::optional<std::string> createSharedAccessSignatureWithParameters(
        const BLSSharedAccessBlobParameters& parameters, ErrorOut& error) const;
    // "/blob/<account>/<container>".
    std::string createSharedAccessCanonicalName() const;

    // "ETag" and "Last-Modified" (when it parses) of any response into
    // properties().
    void updateEtagAndLastModifiedWithResponse(const platform::net::HTTPURLResponse& response);

private:
    BLSCloudBlobContainer() = default;

    // This container as the target of a lease call.
    BLSLeaseTarget leaseTarget();

    std::string mName;
    std::shared_ptr<BLSCloudBlobClient> mClient;
    BLSStorageUri mStorageUri;
    BLSMetadata mMetadata;
    BLSBlobContainerProperties mProperties;
};
