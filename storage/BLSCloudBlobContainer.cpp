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

// The first steps of the command recipe: the context, the combined options
// and a command on `storageUri` with the client's credentials and handler.
std::shared_ptr<BLSOperationContext> contextOrNew(std::shared_ptr<BLSOperationContext> context) {
    return BLSOperationUtil::contextOrNew(std::move(context));
}

std::shared_ptr<BLSBlobRequestOptions> effectiveOptions(const std::shared_ptr<BLSCloudBlobClient>& client,
                                                        const std::shared_ptr<BLSBlobRequestOptions>& options) {
    return BLSOperationUtil::effectiveOptions(client.get(), options);
}

template <typename Result = BLSNoResult>
std::shared_ptr<BLSStorageCommand<Result>> makeCommand(const std::shared_ptr<BLSCloudBlobClient>& client,
                                                       const BLSStorageUri& storageUri,
                                                       const std::shared_ptr<BLSOperationContext>& context) {
    return BLSOperationUtil::makeCommand<Result>(client.get(), storageUri, context);
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

// For operations without a result.
void execute(const std::shared_ptr<BLSStorageCommand<BLSNoResult>>& command,
             const std::shared_ptr<BLSBlobRequestOptions>& options, const std::shared_ptr<BLSOperationContext>& context,
             BLSCloudBlobContainer::Completion completion) {
    BLSExecutor::ExecuteWithStorageCommand(command, options, context,
                                           BLSOperationUtil::errorOnly(std::move(completion)));
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
    auto context = contextOrNew(std::move(operationContext));
    auto options = effectiveOptions(mClient, requestOptions);
    auto command = makeCommand(mClient, mStorageUri, context);
    command->setBuildRequest([accessType](URLComponents& components, double timeout, BLSOperationContext& ctx) {
        return BLSBlobRequestFactory::createContainerWithAccessType(accessType, nullptr, components, timeout, ctx);
    });
    command->setPreProcessResponse(etagThenStatus(shared_from_this()));
    execute(command, options, context, std::move(completionHandler));
}

void BLSCloudBlobContainer::deleteContainerWithCompletionHandler(Completion completionHandler) {
    deleteContainerWithAccessCondition(nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlobContainer::deleteContainerWithAccessCondition(const BLSAccessCondition* accessCondition,
                                                               OptionsPtr requestOptions, ContextPtr operationContext,
                                                               Completion completionHandler) {
    auto context = contextOrNew(std::move(operationContext));
    auto options = effectiveOptions(mClient, requestOptions);
    auto command = makeCommand(mClient, mStorageUri, context);
    command->setBuildRequest([condition = BLSAccessCondition::copyCondition(accessCondition)](
                                 URLComponents& components, double timeout, BLSOperationContext& ctx) {
        return BLSBlobRequestFactory::deleteContainerWithAccessCondition(BLSAccessCondition::conditionPtr(condition),
                                                                         components, timeout, ctx);
    });
    command->setPreProcessResponse(
        [](const HTTPURLResponse& response, BLSRequestResult& result, BLSOperationContext& ctx) -> ErrorOut {
            return BLSResponseParser::preprocessResponseWithResponse(response, result, ctx);
        });
    execute(command, options, context, std::move(completionHandler));
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
    auto self = shared_from_this();
    existsInternalWithPrimaryOnly(
        true, nullptr, requestOptions, context,
        [self, accessType, requestOptions, context, completionHandler = std::move(completionHandler)](
            const ErrorOut& error, bool exists) mutable {
            if (error || exists) {
                if (completionHandler) completionHandler(error, false);
                return;
            }
            self->createContainerWithAccessType(
                accessType, requestOptions, context,
                [completionHandler = std::move(completionHandler)](const ErrorOut& createError) {
                    if (completionHandler) completionHandler(createError, !createError.has_value());
                });
        });
}

void BLSCloudBlobContainer::deleteContainerIfExistsWithCompletionHandler(FlagCompletion completionHandler) {
    deleteContainerIfExistsWithAccessCondition(nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlobContainer::deleteContainerIfExistsWithAccessCondition(const BLSAccessCondition* accessCondition,
                                                                       OptionsPtr requestOptions,
                                                                       ContextPtr operationContext,
                                                                       FlagCompletion completionHandler) {
    auto context = contextOrNew(std::move(operationContext));
    auto self = shared_from_this();
    existsInternalWithPrimaryOnly(
        true, accessCondition, requestOptions, context,
        [self, condition = BLSAccessCondition::copyCondition(accessCondition), requestOptions, context,
         completionHandler = std::move(completionHandler)](const ErrorOut& error, bool exists) mutable {
            if (error || !exists) {
                if (completionHandler) completionHandler(error, false);
                return;
            }
            self->deleteContainerWithAccessCondition(
                BLSAccessCondition::conditionPtr(condition), requestOptions, context,
                [completionHandler = std::move(completionHandler)](const ErrorOut& deleteError) {
                    if (completionHandler) completionHandler(deleteError, !deleteError.has_value());
                });
        });
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
    downloadAttributesInternalWithPrimaryOnly(
        primaryOnly, accessCondition, std::move(requestOptions), std::move(operationContext),
        [completionHandler = std::move(completionHandler)](const ErrorOut& error) {
            if (!completionHandler) return;
            if (!error) {
                completionHandler(std::nullopt, true);
                return;
            }
            if (BLSIsError(*error, BLSErrorCode::ServerError)) {
                const long* status = error->userInfoValue<long>(BLSErrorKey::HTTPStatusCode);
                if (status != nullptr && *status == 404) {
                    completionHandler(std::nullopt, false);
                    return;
                }
            }
            completionHandler(error, false);
        });
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
    auto context = contextOrNew(std::move(operationContext));
    auto options = effectiveOptions(mClient, requestOptions);
    auto command = makeCommand(mClient, mStorageUri, context);
    command->setAllowedStorageLocation(primaryOnly ? BLSAllowedStorageLocationPrimaryOnly
                                                   : BLSAllowedStorageLocationPrimaryOrSecondary);
    command->setBuildRequest([condition = BLSAccessCondition::copyCondition(accessCondition)](
                                 URLComponents& components, double timeout, BLSOperationContext& ctx) {
        return BLSBlobRequestFactory::downloadContainerAttributesWithAccessCondition(
            BLSAccessCondition::conditionPtr(condition), components, timeout, ctx);
    });
    command->setPreProcessResponse([self = shared_from_this()](const HTTPURLResponse& response,
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
    execute(command, options, context, std::move(completionHandler));
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
    auto context = contextOrNew(std::move(operationContext));
    auto options = effectiveOptions(mClient, requestOptions);
    auto command = makeCommand<std::shared_ptr<BLSBlobResultSegment>>(mClient, mStorageUri, context);

    // A later page must come from where the first came from.
    std::optional<BLSStorageLocation> lock;
    if (continuationToken) lock = continuationToken->storageLocation;
    ErrorOut lockError;
    command->setAllowedStorageLocation(BLSAllowedStorageLocationPrimaryOrSecondary, lock, lockError);
    if (lockError) {
        if (completionHandler) completionHandler(lockError, nullptr);
        return;
    }

    std::optional<std::string> delimiter;
    if (!useFlatBlobListing && mClient) delimiter = mClient->directoryDelimiter();
    command->setBuildRequest([prefix, delimiter, blobListingDetails, maxResults, token = continuationToken](
                                 URLComponents& components, double timeout, BLSOperationContext& ctx) {
        return BLSBlobRequestFactory::listBlobsWithPrefix(prefix, delimiter, blobListingDetails, maxResults,
                                                          token ? &*token : nullptr, components, timeout, ctx);
    });
    command->setPreProcessResponse(
        [](const HTTPURLResponse& response, BLSRequestResult& result, BLSOperationContext& ctx) -> ErrorOut {
            return BLSResponseParser::preprocessResponseWithResponse(response, result, ctx);
        });
    command->setPostProcessResponse(
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
    BLSExecutor::ExecuteWithStorageCommand(command, options, context,
                                           [completionHandler = std::move(completionHandler)](
                                               ErrorOut error, std::shared_ptr<BLSBlobResultSegment> segment) {
                                               if (completionHandler)
                                                   completionHandler(error, error ? nullptr : std::move(segment));
                                           });
}

// Metadata and permissions ------------------------------------------------------------

void BLSCloudBlobContainer::uploadMetadataWithCompletionHandler(Completion completionHandler) {
    uploadMetadataWithAccessCondition(nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlobContainer::uploadMetadataWithAccessCondition(const BLSAccessCondition* accessCondition,
                                                              OptionsPtr requestOptions, ContextPtr operationContext,
                                                              Completion completionHandler) {
    auto context = contextOrNew(std::move(operationContext));
    auto options = effectiveOptions(mClient, requestOptions);
    auto command = makeCommand(mClient, mStorageUri, context);
    command->setBuildRequest([metadata = mMetadata, condition = BLSAccessCondition::copyCondition(accessCondition)](
                                 URLComponents& components, double timeout, BLSOperationContext& ctx) {
        return BLSBlobRequestFactory::uploadContainerMetadataWithCloudMetadata(
            &metadata, BLSAccessCondition::conditionPtr(condition), components, timeout, ctx);
    });
    command->setPreProcessResponse(etagThenStatus(shared_from_this()));
    execute(command, options, context, std::move(completionHandler));
}

void BLSCloudBlobContainer::uploadPermissions(const StoredPolicies& permissions, Completion completionHandler) {
    uploadPermissions(permissions, BLSContainerPublicAccessTypeOff, nullptr, nullptr, nullptr,
                      std::move(completionHandler));
}

void BLSCloudBlobContainer::uploadPermissions(const StoredPolicies& permissions,
                                              BLSContainerPublicAccessType publicAccess,
                                              const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                              ContextPtr operationContext, Completion completionHandler) {
    auto context = contextOrNew(std::move(operationContext));
    auto options = effectiveOptions(mClient, requestOptions);

    ErrorOut xmlError;
    auto xml = BLSBlobRequestXML::createStoredPoliciesXMLFromPermissions(permissions, *context, xmlError);
    if (xmlError || !xml) {
        if (!xmlError) xmlError = BLSMakeError(BLSErrorCode::XMLCreationError);
        if (completionHandler) completionHandler(xmlError);
        return;
    }
    std::vector<std::uint8_t> body(xml->begin(), xml->end());
    const std::uint64_t length = body.size();

    auto command = makeCommand(mClient, mStorageUri, context);
    command->setSource(std::move(body));
    command->setBuildRequest([length, options, publicAccess,
                              condition = BLSAccessCondition::copyCondition(accessCondition)](
                                 URLComponents& components, double timeout, BLSOperationContext& ctx) {
        return BLSBlobRequestFactory::uploadContainerPermissionsWithLength(
            length, components, options.get(), BLSAccessCondition::conditionPtr(condition), publicAccess, timeout, ctx);
    });
    command->setPreProcessResponse(etagThenStatus(shared_from_this()));
    execute(command, options, context, std::move(completionHandler));
}

void BLSCloudBlobContainer::downloadPermissionsWithCompletionHandler(PermissionsCompletion completionHandler) {
    downloadPermissionsWithAccessCondition(nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlobContainer::downloadPermissionsWithAccessCondition(const BLSAccessCondition* accessCondition,
                                                                   OptionsPtr requestOptions,
                                                                   ContextPtr operationContext,
                                                                   PermissionsCompletion completionHandler) {
    auto context = contextOrNew(std::move(operationContext));
    auto options = effectiveOptions(mClient, requestOptions);
    auto command = makeCommand<std::optional<PermissionsResult>>(mClient, mStorageUri, context);
    command->setAllowedStorageLocation(BLSAllowedStorageLocationPrimaryOrSecondary);
    command->setBuildRequest([condition = BLSAccessCondition::copyCondition(accessCondition)](
                                 URLComponents& components, double timeout, BLSOperationContext& ctx) {
        return BLSBlobRequestFactory::downloadContainerPermissionsWithAccessCondition(
            BLSAccessCondition::conditionPtr(condition), components, timeout, ctx);
    });
    command->setPreProcessResponse(etagThenStatus(shared_from_this()));
    command->setPostProcessResponse([](const HTTPURLResponse& response, BLSRequestResult&,
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
    BLSExecutor::ExecuteWithStorageCommand(
        command, options, context,
        [completionHandler = std::move(completionHandler)](ErrorOut error,
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
    if (!mClient || !mClient->credentials() || !mClient->credentials()->isSharedKey()) {
        BLSUtil::operationlessContext()->logAtLevel(BLSLogLevelError,
                                                    std::string("Cannot create SAS without account key."));
        error = BLSMakeError(BLSErrorCode::InvalidArgumentOrState);
        return std::nullopt;
    }
    auto signature = BLSSharedAccessSignatureHelper::sharedAccessSignatureHashForBlobWithParameters(
        parameters, createSharedAccessCanonicalName(), mClient.get(), error);
    if (!signature) {
        if (!error) error = BLSMakeError(BLSErrorCode::InvalidArgumentOrState);
        return std::nullopt;
    }
    auto builder =
        BLSSharedAccessSignatureHelper::sharedAccessSignatureForBlobWithParameters(parameters, "c", signature, error);
    if (!builder) {
        if (!error) error = BLSMakeError(BLSErrorCode::InvalidArgumentOrState);
        return std::nullopt;
    }
    return builder->builderAsString();
}

std::string BLSCloudBlobContainer::createSharedAccessCanonicalName() const {
    std::string accountName;
    if (mClient && mClient->credentials() && mClient->credentials()->accountName()) {
        accountName = *mClient->credentials()->accountName();
    }
    return "/blob/" + accountName + "/" + mName;
}
