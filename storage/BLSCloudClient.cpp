#include "storage/BLSCloudClient.h"

#include "platform/foundation/Stream.h"
#include "platform/net/URLRequest.h"
#include "storage/BLSBlobRequestFactory.h"
#include "storage/BLSBlobRequestXML.h"
#include "storage/BLSCloudBlobContainer.h"
#include "storage/BLSErrors.h"
#include "storage/BLSExecutor.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSOperationUtil.h"
#include "storage/BLSRequestResult.h"
#include "storage/BLSStorageCommand.h"

#include <span>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

using platform::net::HTTPURLResponse;
using platform::net::URLComponents;
using ErrorOut = std::optional<platform::Error>;

}  // namespace

BLSCloudClient::BLSCloudClient(BLSStorageUri storageUri, std::shared_ptr<BLSStorageCredentials> credentials)
    : mCredentials(std::move(credentials)), mStorageUri(std::move(storageUri)) {}

void BLSCloudClient::setCredentials(std::shared_ptr<BLSStorageCredentials> credentials) {
    mCredentials = std::move(credentials);
    setAuthenticationHandlerWithCredentials(mCredentials);
}

void BLSCloudClient::setAuthenticationHandlerWithCredentials(const std::shared_ptr<BLSStorageCredentials>&) {
    throw std::logic_error("Cannot set auth handler on a base BLSCloudClient");
}

BLSCloudBlobClient::BLSCloudBlobClient(BLSStorageUri storageUri, std::shared_ptr<BLSStorageCredentials> credentials)
    : BLSCloudClient(std::move(storageUri), std::move(credentials)) {
    setAuthenticationHandlerWithCredentials(this->credentials());
}

void BLSCloudBlobClient::setAuthenticationHandlerWithCredentials(
    const std::shared_ptr<BLSStorageCredentials>& credentials) {
    if (credentials != nullptr && credentials->isSharedKey()) {
        setAuthenticationHandler(std::make_shared<BLSSharedKeyBlobAuthenticationHandler>(credentials));
    } else {
        setAuthenticationHandler(std::make_shared<BLSNoOpAuthenticationHandler>());
    }
}

void BLSCloudBlobClient::setDirectoryDelimiter(std::string delimiter) {
    mDirectoryDelimiter = delimiter.empty() ? std::string("/") : std::move(delimiter);
}

std::shared_ptr<BLSBlobRequestOptions> BLSCloudBlobClient::defaultRequestOptions() const {
    std::lock_guard<std::mutex> lock(mDefaultRequestOptionsMutex);
    return mDefaultRequestOptions;
}

void BLSCloudBlobClient::setDefaultRequestOptions(std::shared_ptr<BLSBlobRequestOptions> options) {
    // Release the old options outside the lock.
    std::lock_guard<std::mutex> lock(mDefaultRequestOptionsMutex);
    mDefaultRequestOptions.swap(options);
}

// What the operations of the client, its containers and its blobs take from
// it. Defined here, with the client, so that the operation helpers below it
// know the client by name only.

std::shared_ptr<BLSBlobRequestOptions> BLSOperationUtil::effectiveOptions(
    const BLSCloudBlobClient* client, const std::shared_ptr<BLSBlobRequestOptions>& requestOptions) {
    std::shared_ptr<BLSBlobRequestOptions> defaults = client ? client->defaultRequestOptions() : nullptr;
    return BLSBlobRequestOptions::combine(requestOptions.get(), defaults.get());
}

void BLSOperationUtil::useClient(BLSStorageCommandBase& command, const BLSCloudBlobClient* client) {
    if (!client) return;
    command.setCredentials(client->credentials());
    command.setAuthenticationHandler(client->authenticationHandler());
}

// Operations ----------------------------------------------------------------------


std::shared_ptr<BLSCloudBlobContainer> BLSCloudBlobClient::containerReferenceFromName(const std::string& name) {
    return BLSCloudBlobContainer::makeWithName(name, std::static_pointer_cast<BLSCloudBlobClient>(shared_from_this()));
}

void BLSCloudBlobClient::listContainersSegmentedWithContinuationToken(
    const std::optional<BLSContinuationToken>& continuationToken, ListContainersCompletion completionHandler) {
    listContainersSegmentedWithContinuationToken(continuationToken, std::nullopt, std::move(completionHandler));
}

void BLSCloudBlobClient::listContainersSegmentedWithContinuationToken(
    const std::optional<BLSContinuationToken>& continuationToken, const std::optional<std::string>& prefix,
    ListContainersCompletion completionHandler) {
    listContainersSegmentedWithContinuationToken(continuationToken, prefix, 0, -1, std::move(completionHandler));
}

void BLSCloudBlobClient::listContainersSegmentedWithContinuationToken(
    const std::optional<BLSContinuationToken>& continuationToken, const std::optional<std::string>& prefix,
    BLSContainerListingDetails containerListingDetails, std::int64_t maxResults,
    ListContainersCompletion completionHandler) {
    listContainersSegmentedWithContinuationToken(continuationToken, prefix, containerListingDetails, maxResults,
                                                 nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlobClient::listContainersSegmentedWithContinuationToken(
    const std::optional<BLSContinuationToken>& continuationToken, const std::optional<std::string>& prefix,
    BLSContainerListingDetails containerListingDetails, std::int64_t maxResults, OptionsPtr requestOptions,
    ContextPtr operationContext, ListContainersCompletion completionHandler) {
    auto op = BLSOperationUtil::prepare<std::shared_ptr<BLSContainerResultSegment>>(this, storageUri(), requestOptions,
                                                                                    std::move(operationContext));
    op.command->setAllowedStorageLocation(BLSAllowedStorageLocationPrimaryOrSecondary);
    op.command->setBuildRequest([prefix, containerListingDetails, maxResults, token = continuationToken](
                                    URLComponents& components, double timeout, BLSOperationContext& ctx) {
        return BLSBlobRequestFactory::listContainersWithPrefix(prefix, containerListingDetails, maxResults,
                                                               token ? &*token : nullptr, components, timeout, ctx);
    });
    auto self = std::static_pointer_cast<BLSCloudBlobClient>(shared_from_this());
    op.command->setPostProcessResponse([self](const HTTPURLResponse&, BLSRequestResult& result,
                                              platform::OutputStream* stream, BLSOperationContext& ctx,
                                              ErrorOut& error) -> std::shared_ptr<BLSContainerResultSegment> {
        auto parsed = BLSListContainersResponse::parseListContainersResponseWithData(
            BLSOperationUtil::memoryData(stream), ctx, error);
        if (!parsed) {
            if (!error) error = BLSMakeError(BLSErrorCode::ParseError);
            return {};
        }
        std::vector<std::shared_ptr<BLSCloudBlobContainer>> containers;
        containers.reserve(parsed->containerListItems.size());
        for (BLSContainerListItem& item : parsed->containerListItems) {
            auto container = BLSCloudBlobContainer::makeWithName(std::move(item.name), self);
            container->setProperties(std::move(item.properties));
            container->setMetadata(std::move(item.metadata));
            containers.push_back(std::move(container));
        }
        std::optional<BLSContinuationToken> token;
        if (parsed->nextMarker && !parsed->nextMarker->empty()) {
            token = BLSContinuationToken::tokenFromString(*parsed->nextMarker, result.targetLocation());
        }
        return BLSContainerResultSegment::segmentWithResults(std::move(containers), std::move(token));
    });
    BLSExecutor::ExecuteWithStorageCommand(op.command, op.options, op.context,
                                           [completionHandler = std::move(completionHandler)](
                                               ErrorOut error, std::shared_ptr<BLSContainerResultSegment> segment) {
                                               if (completionHandler)
                                                   completionHandler(error, error ? nullptr : std::move(segment));
                                           });
}

void BLSCloudBlobClient::uploadServicePropertiesWithServiceProperties(const BLSServiceProperties& serviceProperties,
                                                                      Completion completionHandler) {
    uploadServicePropertiesWithServiceProperties(serviceProperties, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlobClient::uploadServicePropertiesWithServiceProperties(const BLSServiceProperties& serviceProperties,
                                                                      OptionsPtr requestOptions,
                                                                      ContextPtr operationContext,
                                                                      Completion completionHandler) {
    auto op = BLSOperationUtil::prepare(this, storageUri(), requestOptions, std::move(operationContext));
    ErrorOut xmlError;
    auto xml = BLSBlobRequestXML::createServicePropertiesXML(serviceProperties, *op.context, xmlError);
    if (xmlError || !xml) {
        if (!xmlError) xmlError = BLSMakeError(BLSErrorCode::XMLCreationError);
        if (completionHandler) completionHandler(xmlError);
        return;
    }
    std::vector<std::uint8_t> body(xml->begin(), xml->end());
    const std::uint64_t length = body.size();
    op.command->setSource(std::move(body));
    op.command->setBuildRequest(
        [length, options = op.options](URLComponents& components, double timeout, BLSOperationContext& ctx) {
            return BLSBlobRequestFactory::uploadServicePropertiesWithLength(length, components, options.get(), timeout,
                                                                            ctx);
        });
    BLSExecutor::ExecuteWithStorageCommand(op.command, op.options, op.context,
                                           BLSOperationUtil::errorOnly(std::move(completionHandler)));
}

void BLSCloudBlobClient::downloadServicePropertiesWithCompletionHandler(ServicePropertiesCompletion completionHandler) {
    downloadServicePropertiesWithCompletionHandler(nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlobClient::downloadServicePropertiesWithCompletionHandler(OptionsPtr requestOptions,
                                                                        ContextPtr operationContext,
                                                                        ServicePropertiesCompletion completionHandler) {
    auto op = BLSOperationUtil::prepare<std::optional<BLSServiceProperties>>(this, storageUri(), requestOptions,
                                                                             std::move(operationContext));
    op.command->setAllowedStorageLocation(BLSAllowedStorageLocationPrimaryOrSecondary);
    op.command->setBuildRequest([](URLComponents& components, double timeout, BLSOperationContext& ctx) {
        return BLSBlobRequestFactory::downloadServicePropertiesWithUrlComponents(components, timeout, ctx);
    });
    op.command->setPostProcessResponse([](const HTTPURLResponse&, BLSRequestResult&, platform::OutputStream* stream,
                                          BLSOperationContext& ctx,
                                          ErrorOut& error) -> std::optional<BLSServiceProperties> {
        auto properties = BLSServicePropertiesResponseParser::parseDownloadServicePropertiesResponseWithData(
            BLSOperationUtil::memoryData(stream), ctx, error);
        // A reply that cannot be read must not pass for empty settings.
        if (!properties) {
            if (!error) error = BLSMakeError(BLSErrorCode::ParseError);
            return std::nullopt;
        }
        return properties;
    });
    BLSExecutor::ExecuteWithStorageCommand(op.command, op.options, op.context,
                                           [completionHandler = std::move(completionHandler)](
                                               ErrorOut error, std::optional<BLSServiceProperties> properties) {
                                               if (completionHandler)
                                                   completionHandler(error,
                                                                     error ? std::nullopt : std::move(properties));
                                           });
}
