#include "storage/BLSCloudBlobContainer.h"

#include "platform/foundation/Stream.h"
#include "platform/net/URLRequest.h"
#include "storage/BLSAccessCondition.h"
#include "storage/BLSBlobRequestFactory.h"
#include "storage/BLSBlobRequestXML.h"
#include "storage/BLSBlobResponseParser.h"
#include "storage/BLSCloudAppendBlob.h"
#include "storage/BLSCloudBlobDirectory.h"
#include "storage/BLSCloudBlockBlob.h"
#include "storage/BLSCloudClient.h"
#include "storage/BLSCloudPageBlob.h"
#include "storage/BLSErrors.h"
#include "storage/BLSExecutor.h"
#include "storage/BLSLeaseOperation.h"
#include "storage/BLSNavigationUtil.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSOperationUtil.h"
#include "storage/BLSRequestOptions.h"
#include "storage/BLSRequestResult.h"
#include "storage/BLSResponseParser.h"
#include "storage/BLSSharedAccessSignatureHelper.h"
#include "storage/BLSStorageCommand.h"
#include "storage/BLSStorageCredentials.h"
#include "storage/BLSUtil.h"

#include <span>
#include <utility>
#include <vector>

namespace {

using platform::net::HTTPURLResponse;
using platform::net::URLComponents;
using ErrorOut = std::optional<platform::Error>;
using ContainerPtr = std::shared_ptr<BLSCloudBlobContainer>;

// A parser that failed without saying why still fails the operation.
void ensureParseError(ErrorOut& error) {
    if (!error) error = BLSMakeError(BLSErrorCode::ParseError);
}

std::shared_ptr<BLSOperationContext> contextOrNew(std::shared_ptr<BLSOperationContext> context) {
    return BLSOperationUtil::contextOrNew(std::move(context));
}

// The first steps of the command recipe: the context, the combined options
// and a command on the container's address with the client's credentials
// and handler.
template <typename Result = BLSNoResult>
BLSOperationUtil::Operation<Result> prepare(const BLSCloudBlobContainer& container,
                                            const std::shared_ptr<BLSBlobRequestOptions>& requestOptions,
                                            std::shared_ptr<BLSOperationContext> operationContext) {
    return BLSOperationUtil::prepare<Result>(container.client().get(), container.storageUri(), requestOptions,
                                             std::move(operationContext));
}

// The container's own ETag update runs on every response, before the
// status check.
BLSStorageCommandBase::PreProcessResponse etagThenStatus(ContainerPtr container) {
    return [container = std::move(container)](const HTTPURLResponse& response, BLSRequestResult& result,
                                              BLSOperationContext& context) -> ErrorOut {
        container->updateEtagAndLastModifiedWithResponse(response);
        return BLSResponseParser::preprocessResponseWithResponse(response, result, context);
    };
}

template <typename Result>
void execute(const BLSOperationUtil::Operation<Result>& op,
             std::type_identity_t<BLSCompletionHandler<Result>> completion) {
    BLSExecutor::ExecuteWithStorageCommand(op.command, op.options, op.context, std::move(completion));
}

struct PermissionsResult {
    BLSCloudBlobContainer::StoredPolicies storedPolicies;
    BLSContainerPublicAccessType publicAccess = BLSContainerPublicAccessTypeOff;
};

}  // namespace

// Initialisers -------------------------------------------------------------------

std::shared_ptr<BLSCloudBlobContainer> BLSCloudBlobContainer::makeWithName(std::string name,
                                                                           std::shared_ptr<BLSCloudBlobClient> client) {
    std::shared_ptr<BLSCloudBlobContainer> container(new BLSCloudBlobContainer());
    container->mName = std::move(name);
    container->mClient = std::move(client);
    if (container->mClient) {
        container->mStorageUri = BLSStorageUri::appendToStorageUri(container->mClient->storageUri(), container->mName);
    }
    return container;
}

std::shared_ptr<BLSCloudBlobContainer> BLSCloudBlobContainer::makeWithUrl(const platform::net::URL& url,
                                                                          ErrorOut& error) {
    return makeWithUrl(url, nullptr, error);
}

std::shared_ptr<BLSCloudBlobContainer> BLSCloudBlobContainer::makeWithUrl(
    const platform::net::URL& url, std::shared_ptr<BLSStorageCredentials> credentials, ErrorOut& error) {
    return makeWithStorageUri(BLSStorageUri(url), std::move(credentials), error);
}

std::shared_ptr<BLSCloudBlobContainer> BLSCloudBlobContainer::makeWithStorageUri(const BLSStorageUri& storageUri,
                                                                                 ErrorOut& error) {
    return makeWithStorageUri(storageUri, nullptr, error);
}

std::shared_ptr<BLSCloudBlobContainer> BLSCloudBlobContainer::makeWithStorageUri(
    const BLSStorageUri& storageUri, std::shared_ptr<BLSStorageCredentials> credentials, ErrorOut& error) {
    auto resolved = BLSNavigationUtil::resolveAddressWithStorageUri(
        storageUri, BLSNavigationUtil::AddressedResource::Container, std::move(credentials), std::nullopt, error);
    if (!resolved) return nullptr;
    std::shared_ptr<BLSCloudBlobContainer> container(new BLSCloudBlobContainer());
    container->mClient = std::make_shared<BLSCloudBlobClient>(resolved->serviceAddress, resolved->credentials);
    container->mStorageUri = resolved->address;
    container->mName = std::move(resolved->name);
    return container;
}

// Create and delete ------------------------------------------------------------

void BLSCloudBlobContainer::createContainerWithCompletionHandler(Completion completionHandler) {
    createContainerWithAccessType(BLSContainerPublicAccessTypeOff, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlobContainer::createContainerWithAccessType(BLSContainerPublicAccessType accessType,
                                                          OptionsPtr requestOptions, ContextPtr operationContext,
                                                          Completion completionHandler) {
    auto op = prepare(*this, requestOptions, std::move(operationContext));
    op.command->setBuildRequest([accessType](URLComponents& components, double timeout, BLSOperationContext& ctx) {
        return BLSBlobRequestFactory::createContainerWithAccessType(accessType, nullptr, components, timeout, ctx);
    });
    op.command->setPreProcessResponse(etagThenStatus(shared_from_this()));
    execute(op, BLSOperationUtil::errorOnly(std::move(completionHandler)));
}

void BLSCloudBlobContainer::deleteContainerWithCompletionHandler(Completion completionHandler) {
    deleteContainerWithAccessCondition(nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlobContainer::deleteContainerWithAccessCondition(const BLSAccessCondition* accessCondition,
                                                               OptionsPtr requestOptions, ContextPtr operationContext,
                                                               Completion completionHandler) {
    auto op = prepare(*this, requestOptions, std::move(operationContext));
    op.command->setBuildRequest([condition = BLSAccessCondition::copyCondition(accessCondition)](
                                    URLComponents& components, double timeout, BLSOperationContext& ctx) {
        return BLSBlobRequestFactory::deleteContainerWithAccessCondition(BLSAccessCondition::conditionPtr(condition),
                                                                         components, timeout, ctx);
    });
    execute(op, BLSOperationUtil::errorOnly(std::move(completionHandler)));
}

void BLSCloudBlobContainer::createContainerIfNotExistsWithCompletionHandler(FlagCompletion completionHandler) {
    createContainerIfNotExistsWithAccessType(BLSContainerPublicAccessTypeOff, nullptr, nullptr,
                                             std::move(completionHandler));
}

void BLSCloudBlobContainer::createContainerIfNotExistsWithAccessType(BLSContainerPublicAccessType accessType,
                                                                     OptionsPtr requestOptions,
                                                                     ContextPtr operationContext,
                                                                     FlagCompletion completionHandler) {
    // Both requests share one context, which records both results.
    auto context = contextOrNew(std::move(operationContext));
    existsInternalWithPrimaryOnly(
        true, nullptr, requestOptions, context,
        BLSOperationUtil::actOnExists(
            false,
            [self = shared_from_this(), accessType, requestOptions, context](Completion done) {
                self->createContainerWithAccessType(accessType, requestOptions, context, std::move(done));
            },
            std::move(completionHandler)));
}

void BLSCloudBlobContainer::deleteContainerIfExistsWithCompletionHandler(FlagCompletion completionHandler) {
    deleteContainerIfExistsWithAccessCondition(nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlobContainer::deleteContainerIfExistsWithAccessCondition(const BLSAccessCondition* accessCondition,
                                                                       OptionsPtr requestOptions,
                                                                       ContextPtr operationContext,
                                                                       FlagCompletion completionHandler) {
    auto context = contextOrNew(std::move(operationContext));
    existsInternalWithPrimaryOnly(
        true, accessCondition, requestOptions, context,
        BLSOperationUtil::actOnExists(
            true,
            [self = shared_from_this(), condition = BLSAccessCondition::copyCondition(accessCondition), requestOptions,
             context](Completion done) {
                self->deleteContainerWithAccessCondition(BLSAccessCondition::conditionPtr(condition), requestOptions,
                                                         context, std::move(done));
            },
            std::move(completionHandler)));
}

// Exists and attributes ------------------------------------------------------------

void BLSCloudBlobContainer::existsWithCompletionHandler(FlagCompletion completionHandler) {
    existsWithAccessCondition(nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlobContainer::existsWithAccessCondition(const BLSAccessCondition* accessCondition,
                                                      OptionsPtr requestOptions, ContextPtr operationContext,
                                                      FlagCompletion completionHandler) {
    existsInternalWithPrimaryOnly(false, accessCondition, std::move(requestOptions), std::move(operationContext),
                                  std::move(completionHandler));
}

void BLSCloudBlobContainer::existsInternalWithPrimaryOnly(bool primaryOnly, const BLSAccessCondition* accessCondition,
                                                          OptionsPtr requestOptions, ContextPtr operationContext,
                                                          FlagCompletion completionHandler) {
    downloadAttributesInternalWithPrimaryOnly(primaryOnly, accessCondition, std::move(requestOptions),
                                              std::move(operationContext),
                                              BLSOperationUtil::existsFromAttributes(std::move(completionHandler)));
}

void BLSCloudBlobContainer::downloadAttributesWithCompletionHandler(Completion completionHandler) {
    downloadAttributesWithAccessCondition(nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlobContainer::downloadAttributesWithAccessCondition(const BLSAccessCondition* accessCondition,
                                                                  OptionsPtr requestOptions,
                                                                  ContextPtr operationContext,
                                                                  Completion completionHandler) {
    downloadAttributesInternalWithPrimaryOnly(false, accessCondition, std::move(requestOptions),
                                              std::move(operationContext), std::move(completionHandler));
}

void BLSCloudBlobContainer::downloadAttributesInternalWithPrimaryOnly(bool primaryOnly,
                                                                      const BLSAccessCondition* accessCondition,
                                                                      OptionsPtr requestOptions,
                                                                      ContextPtr operationContext,
                                                                      Completion completionHandler) {
    auto op = prepare(*this, requestOptions, std::move(operationContext));
    op.command->setAllowedStorageLocation(primaryOnly ? BLSAllowedStorageLocationPrimaryOnly
                                                      : BLSAllowedStorageLocationPrimaryOrSecondary);
    op.command->setBuildRequest([condition = BLSAccessCondition::copyCondition(accessCondition)](
                                    URLComponents& components, double timeout, BLSOperationContext& ctx) {
        return BLSBlobRequestFactory::downloadContainerAttributesWithAccessCondition(
            BLSAccessCondition::conditionPtr(condition), components, timeout, ctx);
    });
    op.command->setPreProcessResponse([self = shared_from_this()](const HTTPURLResponse& response,
                                                                  BLSRequestResult& result,
                                                                  BLSOperationContext& ctx) -> ErrorOut {
        self->updateEtagAndLastModifiedWithResponse(response);
        if (auto error = BLSResponseParser::preprocessResponseWithResponse(response, result, ctx)) return error;
        self->mMetadata = BLSBlobResponseParser::getMetadataWithResponse(response);
        // An unknown lease text leaves that value unspecified; the rest of
        // the properties are still good.
        ErrorOut ignored;
        self->mProperties = BLSBlobResponseParser::getContainerPropertiesWithResponse(response, ctx, ignored);
        return std::nullopt;
    });
    execute(op, BLSOperationUtil::errorOnly(std::move(completionHandler)));
}

void BLSCloudBlobContainer::updateEtagAndLastModifiedWithResponse(const HTTPURLResponse& response) {
    if (const std::string* eTag = response.valueForHTTPHeaderField("ETag")) mProperties.eTag = *eTag;
    if (const std::string* modified = response.valueForHTTPHeaderField("Last-Modified")) {
        if (auto date = BLSUtil::dateFromHttpString(*modified)) mProperties.lastModified = date;
    }
}

// Listing ---------------------------------------------------------------------------

void BLSCloudBlobContainer::listBlobsSegmentedWithContinuationToken(
    const std::optional<BLSContinuationToken>& continuationToken, const std::optional<std::string>& prefix,
    bool useFlatBlobListing, BLSBlobListingDetails blobListingDetails, std::int64_t maxResults,
    ListBlobsCompletion completionHandler) {
    listBlobsSegmentedWithContinuationToken(continuationToken, prefix, useFlatBlobListing, blobListingDetails,
                                            maxResults, nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlobContainer::listBlobsSegmentedWithContinuationToken(
    const std::optional<BLSContinuationToken>& continuationToken, const std::optional<std::string>& prefix,
    bool useFlatBlobListing, BLSBlobListingDetails blobListingDetails, std::int64_t maxResults,
    const BLSAccessCondition* /*accessCondition*/, OptionsPtr requestOptions, ContextPtr operationContext,
    ListBlobsCompletion completionHandler) {
    // The listing request carries no conditions; the argument keeps the
    // full form's shape.
    auto op = prepare<std::shared_ptr<BLSBlobResultSegment>>(*this, requestOptions, std::move(operationContext));

    // A later page must come from where the first came from.
    std::optional<BLSStorageLocation> lock;
    if (continuationToken) lock = continuationToken->storageLocation;
    ErrorOut lockError;
    op.command->setAllowedStorageLocation(BLSAllowedStorageLocationPrimaryOrSecondary, lock, lockError);
    if (lockError) {
        if (completionHandler) completionHandler(lockError, nullptr);
        return;
    }

    std::optional<std::string> delimiter;
    if (!useFlatBlobListing && mClient) delimiter = mClient->directoryDelimiter();
    op.command->setBuildRequest([prefix, delimiter, blobListingDetails, maxResults, token = continuationToken](
                                    URLComponents& components, double timeout, BLSOperationContext& ctx) {
        return BLSBlobRequestFactory::listBlobsWithPrefix(prefix, delimiter, blobListingDetails, maxResults,
                                                          token ? &*token : nullptr, components, timeout, ctx);
    });
    op.command->setPostProcessResponse(
        [self = shared_from_this()](const HTTPURLResponse&, BLSRequestResult& result, platform::OutputStream* stream,
                                    BLSOperationContext& ctx,
                                    ErrorOut& error) -> std::shared_ptr<BLSBlobResultSegment> {
            auto parsed =
                BLSListBlobsResponse::parseListBlobsResponseWithData(BLSOperationUtil::memoryData(stream), ctx, error);
            if (!parsed) {
                ensureParseError(error);
                return {};
            }
            std::vector<std::shared_ptr<BLSCloudBlob>> blobs;
            std::vector<std::shared_ptr<BLSCloudBlobDirectory>> directories;
            for (BLSBlobListItem& item : parsed->blobListItems) {
                if (item.isDirectory) {
                    directories.push_back(BLSCloudBlobDirectory::makeWithDirectoryName(item.name, self));
                    continue;
                }
                std::shared_ptr<BLSCloudBlob> blob;
                switch (item.properties.blobType) {
                    case BLSBlobTypePageBlob:
                        blob = BLSCloudPageBlob::makeWithContainer(self, item.name, item.snapshotTime);
                        break;
                    case BLSBlobTypeBlockBlob:
                        blob = BLSCloudBlockBlob::makeWithContainer(self, item.name, item.snapshotTime);
                        break;
                    case BLSBlobTypeAppendBlob:
                        blob = BLSCloudAppendBlob::makeWithContainer(self, item.name, item.snapshotTime);
                        break;
                    default: blob = BLSCloudBlob::makeWithContainer(self, item.name, item.snapshotTime); break;
                }
                blob->setMetadata(std::move(item.metadata));
                blob->setProperties(std::move(item.properties));
                blob->setBlobCopyState(std::move(item.blobCopyState));
                blobs.push_back(std::move(blob));
            }
            std::optional<BLSContinuationToken> token;
            if (parsed->nextMarker && !parsed->nextMarker->empty()) {
                token = BLSContinuationToken::tokenFromString(*parsed->nextMarker, result.targetLocation());
            }
            return BLSBlobResultSegment::segmentWithBlobs(std::move(blobs), std::move(directories), std::move(token));
        });
    execute(op, [completionHandler = std::move(completionHandler)](ErrorOut error,
                                                                   std::shared_ptr<BLSBlobResultSegment> segment) {
        if (completionHandler) completionHandler(error, error ? nullptr : std::move(segment));
    });
}

// Metadata and permissions ------------------------------------------------------------

void BLSCloudBlobContainer::uploadMetadataWithCompletionHandler(Completion completionHandler) {
    uploadMetadataWithAccessCondition(nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlobContainer::uploadMetadataWithAccessCondition(const BLSAccessCondition* accessCondition,
                                                              OptionsPtr requestOptions, ContextPtr operationContext,
                                                              Completion completionHandler) {
    auto op = prepare(*this, requestOptions, std::move(operationContext));
    op.command->setBuildRequest([metadata = mMetadata, condition = BLSAccessCondition::copyCondition(accessCondition)](
                                    URLComponents& components, double timeout, BLSOperationContext& ctx) {
        return BLSBlobRequestFactory::uploadContainerMetadataWithCloudMetadata(
            &metadata, BLSAccessCondition::conditionPtr(condition), components, timeout, ctx);
    });
    op.command->setPreProcessResponse(etagThenStatus(shared_from_this()));
    execute(op, BLSOperationUtil::errorOnly(std::move(completionHandler)));
}

void BLSCloudBlobContainer::uploadPermissions(const StoredPolicies& permissions, Completion completionHandler) {
    uploadPermissions(permissions, BLSContainerPublicAccessTypeOff, nullptr, nullptr, nullptr,
                      std::move(completionHandler));
}

void BLSCloudBlobContainer::uploadPermissions(const StoredPolicies& permissions,
                                              BLSContainerPublicAccessType publicAccess,
                                              const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                              ContextPtr operationContext, Completion completionHandler) {
    auto op = prepare(*this, requestOptions, std::move(operationContext));
    ErrorOut xmlError;
    auto xml = BLSBlobRequestXML::createStoredPoliciesXMLFromPermissions(permissions, *op.context, xmlError);
    if (xmlError || !xml) {
        if (!xmlError) xmlError = BLSMakeError(BLSErrorCode::XMLCreationError);
        if (completionHandler) completionHandler(xmlError);
        return;
    }
    std::vector<std::uint8_t> body(xml->begin(), xml->end());
    const std::uint64_t length = body.size();
    op.command->setSource(std::move(body));
    op.command->setBuildRequest([length, options = op.options, publicAccess,
                                 condition = BLSAccessCondition::copyCondition(accessCondition)](
                                    URLComponents& components, double timeout, BLSOperationContext& ctx) {
        return BLSBlobRequestFactory::uploadContainerPermissionsWithLength(
            length, components, options.get(), BLSAccessCondition::conditionPtr(condition), publicAccess, timeout, ctx);
    });
    op.command->setPreProcessResponse(etagThenStatus(shared_from_this()));
    execute(op, BLSOperationUtil::errorOnly(std::move(completionHandler)));
}

void BLSCloudBlobContainer::downloadPermissionsWithCompletionHandler(PermissionsCompletion completionHandler) {
    downloadPermissionsWithAccessCondition(nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlobContainer::downloadPermissionsWithAccessCondition(const BLSAccessCondition* accessCondition,
                                                                   OptionsPtr requestOptions,
                                                                   ContextPtr operationContext,
                                                                   PermissionsCompletion completionHandler) {
    auto op = prepare<std::optional<PermissionsResult>>(*this, requestOptions, std::move(operationContext));
    op.command->setAllowedStorageLocation(BLSAllowedStorageLocationPrimaryOrSecondary);
    op.command->setBuildRequest([condition = BLSAccessCondition::copyCondition(accessCondition)](
                                    URLComponents& components, double timeout, BLSOperationContext& ctx) {
        return BLSBlobRequestFactory::downloadContainerPermissionsWithAccessCondition(
            BLSAccessCondition::conditionPtr(condition), components, timeout, ctx);
    });
    op.command->setPreProcessResponse(etagThenStatus(shared_from_this()));
    op.command->setPostProcessResponse([](const HTTPURLResponse& response, BLSRequestResult&,
                                          platform::OutputStream* stream, BLSOperationContext& ctx,
                                          ErrorOut& error) -> std::optional<PermissionsResult> {
        PermissionsResult permissions;
        permissions.publicAccess =
            BLSDownloadContainerPermissions::createContainerPermissionsWithResponse(response, ctx, error);
        if (error) return {};
        auto parsed = BLSDownloadContainerPermissions::parseDownloadContainerPermissionsResponseWithData(
            BLSOperationUtil::memoryData(stream), ctx, error);
        if (!parsed) {
            ensureParseError(error);
            return {};
        }
        permissions.storedPolicies = std::move(parsed->storedPolicies);
        return permissions;
    });
    execute(op, [completionHandler = std::move(completionHandler)](ErrorOut error,
                                                                   std::optional<PermissionsResult> permissions) {
        if (!completionHandler) return;
        if (error || !permissions) {
            completionHandler(error, std::nullopt, BLSContainerPublicAccessTypeOff);
            return;
        }
        completionHandler(std::nullopt, std::move(permissions->storedPolicies), permissions->publicAccess);
    });
}

// Leases ---------------------------------------------------------------------------

BLSLeaseTarget BLSCloudBlobContainer::leaseTarget() {
    return BLSLeaseTarget{BLSLeaseTarget::Kind::Container, mClient, mStorageUri,
                          [self = shared_from_this()](const HTTPURLResponse& response) {
                              self->updateEtagAndLastModifiedWithResponse(response);
                          }};
}

void BLSCloudBlobContainer::acquireLeaseWithLeaseTime(std::optional<std::int64_t> leaseTime,
                                                      const std::optional<std::string>& proposedLeaseId,
                                                      LeaseIdCompletion completionHandler) {
    acquireLeaseWithLeaseTime(leaseTime, proposedLeaseId, nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlobContainer::acquireLeaseWithLeaseTime(std::optional<std::int64_t> leaseTime,
                                                      const std::optional<std::string>& proposedLeaseId,
                                                      const BLSAccessCondition* accessCondition,
                                                      OptionsPtr requestOptions, ContextPtr operationContext,
                                                      LeaseIdCompletion completionHandler) {
    BLSLeaseOperation::run(leaseTarget(), BLSLeaseRequest::acquire(leaseTime, proposedLeaseId, accessCondition),
                           std::move(requestOptions), std::move(operationContext),
                           BLSLeaseOperation::leaseIdResult(std::move(completionHandler)));
}

void BLSCloudBlobContainer::renewLeaseWithAccessCondition(const BLSAccessCondition* accessCondition,
                                                          Completion completionHandler) {
    renewLeaseWithAccessCondition(accessCondition, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlobContainer::renewLeaseWithAccessCondition(const BLSAccessCondition* accessCondition,
                                                          OptionsPtr requestOptions, ContextPtr operationContext,
                                                          Completion completionHandler) {
    BLSLeaseOperation::run(leaseTarget(), BLSLeaseRequest::renew(accessCondition), std::move(requestOptions),
                           std::move(operationContext), BLSLeaseOperation::errorOnly(std::move(completionHandler)));
}

void BLSCloudBlobContainer::releaseLeaseWithAccessCondition(const BLSAccessCondition* accessCondition,
                                                            Completion completionHandler) {
    releaseLeaseWithAccessCondition(accessCondition, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlobContainer::releaseLeaseWithAccessCondition(const BLSAccessCondition* accessCondition,
                                                            OptionsPtr requestOptions, ContextPtr operationContext,
                                                            Completion completionHandler) {
    BLSLeaseOperation::run(leaseTarget(), BLSLeaseRequest::release(accessCondition), std::move(requestOptions),
                           std::move(operationContext), BLSLeaseOperation::errorOnly(std::move(completionHandler)));
}

void BLSCloudBlobContainer::breakLeaseWithBreakPeriod(std::optional<std::int64_t> breakPeriod,
                                                      LeaseTimeCompletion completionHandler) {
    breakLeaseWithBreakPeriod(breakPeriod, nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlobContainer::breakLeaseWithBreakPeriod(std::optional<std::int64_t> breakPeriod,
                                                      const BLSAccessCondition* accessCondition,
                                                      OptionsPtr requestOptions, ContextPtr operationContext,
                                                      LeaseTimeCompletion completionHandler) {
    BLSLeaseOperation::run(leaseTarget(), BLSLeaseRequest::breakLease(breakPeriod, accessCondition),
                           std::move(requestOptions), std::move(operationContext),
                           BLSLeaseOperation::leaseTimeResult(std::move(completionHandler)));
}

void BLSCloudBlobContainer::changeLeaseWithProposedLeaseId(const std::optional<std::string>& proposedLeaseId,
                                                           const BLSAccessCondition* accessCondition,
                                                           LeaseIdCompletion completionHandler) {
    changeLeaseWithProposedLeaseId(proposedLeaseId, accessCondition, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlobContainer::changeLeaseWithProposedLeaseId(const std::optional<std::string>& proposedLeaseId,
                                                           const BLSAccessCondition* accessCondition,
                                                           OptionsPtr requestOptions, ContextPtr operationContext,
                                                           LeaseIdCompletion completionHandler) {
    BLSLeaseOperation::run(leaseTarget(), BLSLeaseRequest::change(proposedLeaseId, accessCondition),
                           std::move(requestOptions), std::move(operationContext),
                           BLSLeaseOperation::leaseIdResult(std::move(completionHandler)));
}

// References and signatures ----------------------------------------------------------

std::shared_ptr<BLSCloudBlockBlob> BLSCloudBlobContainer::blockBlobReferenceFromName(const std::string& blobName) {
    return BLSCloudBlockBlob::makeWithContainer(shared_from_this(), blobName);
}

std::shared_ptr<BLSCloudBlockBlob> BLSCloudBlobContainer::blockBlobReferenceFromName(
    const std::string& blobName, const std::optional<std::string>& snapshotTime) {
    return BLSCloudBlockBlob::makeWithContainer(shared_from_this(), blobName, snapshotTime);
}

std::shared_ptr<BLSCloudPageBlob> BLSCloudBlobContainer::pageBlobReferenceFromName(const std::string& blobName) {
    return BLSCloudPageBlob::makeWithContainer(shared_from_this(), blobName);
}

std::shared_ptr<BLSCloudPageBlob> BLSCloudBlobContainer::pageBlobReferenceFromName(
    const std::string& blobName, const std::optional<std::string>& snapshotTime) {
    return BLSCloudPageBlob::makeWithContainer(shared_from_this(), blobName, snapshotTime);
}

std::shared_ptr<BLSCloudAppendBlob> BLSCloudBlobContainer::appendBlobReferenceFromName(const std::string& blobName) {
    return BLSCloudAppendBlob::makeWithContainer(shared_from_this(), blobName);
}

std::shared_ptr<BLSCloudAppendBlob> BLSCloudBlobContainer::appendBlobReferenceFromName(
    const std::string& blobName, const std::optional<std::string>& snapshotTime) {
    return BLSCloudAppendBlob::makeWithContainer(shared_from_this(), blobName, snapshotTime);
}

std::shared_ptr<BLSCloudBlobDirectory> BLSCloudBlobContainer::directoryReferenceFromName(
    const std::optional<std::string>& name) {
    return BLSCloudBlobDirectory::makeWithDirectoryName(name, shared_from_this());
}

std::optional<std::string> BLSCloudBlobContainer::createSharedAccessSignatureWithParameters(
    const BLSSharedAccessBlobParameters& parameters, ErrorOut& error) const {
    return BLSSharedAccessSignatureHelper::sharedAccessSignatureForResourceWithParameters(
        parameters, "c", createSharedAccessCanonicalName(), mClient.get(), error);
}

std::string BLSCloudBlobContainer::createSharedAccessCanonicalName() const {
    std::string accountName;
    if (mClient && mClient->credentials() && mClient->credentials()->accountName()) {
        accountName = *mClient->credentials()->accountName();
    }
    return "/blob/" + accountName + "/" + mName;
}
