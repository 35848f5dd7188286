#include "storage/BLSCloudBlockBlob.h"

#include "platform/dispatch/ThreadStart.h"
#include "platform/foundation/Stream.h"
#include "platform/net/URLRequest.h"
#include "storage/BLSBlobOutputStream.h"
#include "storage/BLSBlobRequestFactory.h"
#include "storage/BLSBlobRequestXML.h"
#include "storage/BLSBlobUploadHelper.h"
#include "storage/BLSErrors.h"
#include "storage/BLSExecutor.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSOperationUtil.h"
#include "storage/BLSRequestOptions.h"
#include "storage/BLSRequestResult.h"
#include "storage/BLSResponseParser.h"
#include "storage/BLSStorageCommand.h"
#include "storage/BLSUtil.h"

#include <thread>
#include <utility>

namespace {

using platform::net::HTTPURLResponse;
using ErrorOut = std::optional<platform::Error>;

BLSStorageCommandBase::PreProcessResponse statusCheck() {
    return [](const HTTPURLResponse& response, BLSRequestResult& result, BLSOperationContext& ctx) -> ErrorOut {
        return BLSResponseParser::preprocessResponseWithResponse(response, result, ctx);
    };
}

BLSStorageCommandBase::PreProcessResponse statusThenEtag(std::shared_ptr<BLSCloudBlob> blob, bool updateLength) {
    return [blob = std::move(blob), updateLength](const HTTPURLResponse& response, BLSRequestResult& result,
                                                  BLSOperationContext& ctx) -> ErrorOut {
        if (auto error = BLSResponseParser::preprocessResponseWithResponse(response, result, ctx)) return error;
        BLSCloudBlob::updateEtagAndLastModifiedWithResponse(response, blob->properties(), updateLength);
        return std::nullopt;
    };
}

void executeCommand(const std::shared_ptr<BLSStorageCommand<BLSNoResult>>& command,
                    const std::shared_ptr<BLSBlobRequestOptions>& options,
                    const std::shared_ptr<BLSOperationContext>& context, BLSCloudBlob::Completion completionHandler) {
    BLSExecutor::ExecuteWithStorageCommand(command, options, context,
                                           BLSOperationUtil::errorOnly(std::move(completionHandler)));
}

}  // namespace

std::shared_ptr<BLSCloudBlockBlob> BLSCloudBlockBlob::makeWithContainer(
    std::shared_ptr<BLSCloudBlobContainer> container, std::string name) {
    return makeWithContainer(std::move(container), std::move(name), std::nullopt);
}

std::shared_ptr<BLSCloudBlockBlob> BLSCloudBlockBlob::makeWithContainer(
    std::shared_ptr<BLSCloudBlobContainer> container, std::string name, std::optional<std::string> snapshotTime) {
    std::shared_ptr<BLSCloudBlockBlob> blob(new BLSCloudBlockBlob());
    blob->initWithContainer(std::move(container), std::move(name), std::move(snapshotTime));
    blob->properties().blobType = BLSBlobTypeBlockBlob;
    return blob;
}

std::shared_ptr<BLSCloudBlockBlob> BLSCloudBlockBlob::makeWithUrl(const platform::net::URL& url, ErrorOut& error) {
    return makeWithUrl(url, nullptr, std::nullopt, error);
}

std::shared_ptr<BLSCloudBlockBlob> BLSCloudBlockBlob::makeWithUrl(const platform::net::URL& url,
                                                                  std::shared_ptr<BLSStorageCredentials> credentials,
                                                                  std::optional<std::string> snapshotTime,
                                                                  ErrorOut& error) {
    return makeWithStorageUri(BLSStorageUri(url), std::move(credentials), std::move(snapshotTime), error);
}

std::shared_ptr<BLSCloudBlockBlob> BLSCloudBlockBlob::makeWithStorageUri(const BLSStorageUri& storageUri,
                                                                         ErrorOut& error) {
    return makeWithStorageUri(storageUri, nullptr, std::nullopt, error);
}

std::shared_ptr<BLSCloudBlockBlob> BLSCloudBlockBlob::makeWithStorageUri(
    const BLSStorageUri& storageUri, std::shared_ptr<BLSStorageCredentials> credentials,
    std::optional<std::string> snapshotTime, ErrorOut& error) {
    std::shared_ptr<BLSCloudBlockBlob> blob(new BLSCloudBlockBlob());
    if (!blob->initWithStorageUri(storageUri, std::move(credentials), std::move(snapshotTime), error)) return nullptr;
    blob->properties().blobType = BLSBlobTypeBlockBlob;
    return blob;
}

std::shared_ptr<BLSCloudBlockBlob> BLSCloudBlockBlob::selfBlock() {
    return std::static_pointer_cast<BLSCloudBlockBlob>(shared_from_this());
}

// Whole-object uploads ------------------------------------------------------------

void BLSCloudBlockBlob::uploadFromStream(std::shared_ptr<platform::InputStream> sourceStream,
                                         Completion completionHandler) {
    uploadFromStream(std::move(sourceStream), nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlockBlob::uploadFromStream(std::shared_ptr<platform::InputStream> sourceStream,
                                         const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                         ContextPtr operationContext, Completion completionHandler) {
    auto container = std::make_shared<BLSBlobUploadFromStreamInputContainer>();
    container->sourceStream = std::move(sourceStream);
    container->targetBlob = selfBlock();
    container->accessCondition = BLSAccessCondition::copyCondition(accessCondition);
    container->operationContext = contextOrNew(std::move(operationContext));
    container->blobRequestOptions = effectiveOptions(requestOptions);
    container->completionHandler = std::move(completionHandler);
    platform::startThread([container] { runBlobUploadFromStreamWithContainer(container); }).detach();
}

void BLSCloudBlockBlob::runBlobUploadFromStreamWithContainer(
    std::shared_ptr<BLSBlobUploadFromStreamInputContainer> container) {
    auto makeHelper = [container](BLSBlobUploadHelper::Completion helperCompletion) {
        return BLSBlobUploadHelper::makeToBlockBlob(
            container->targetBlob, BLSAccessCondition::conditionPtr(container->accessCondition),
            container->blobRequestOptions, container->operationContext, std::move(helperCompletion));
    };
    BLSBlobUploadHelper::runUploadFromStream(container->sourceStream, makeHelper, container->completionHandler);
}

void BLSCloudBlockBlob::uploadFromData(std::vector<std::uint8_t> data, Completion completionHandler) {
    uploadFromData(std::move(data), nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlockBlob::uploadFromData(std::vector<std::uint8_t> data, const BLSAccessCondition* accessCondition,
                                       OptionsPtr requestOptions, ContextPtr operationContext,
                                       Completion completionHandler) {
    uploadFromStream(platform::InputStream::withData(std::move(data)), accessCondition, std::move(requestOptions),
                     std::move(operationContext), std::move(completionHandler));
}

void BLSCloudBlockBlob::uploadFromText(const std::string& text, Completion completionHandler) {
    uploadFromText(text, nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlockBlob::uploadFromText(const std::string& text, const BLSAccessCondition* accessCondition,
                                       OptionsPtr requestOptions, ContextPtr operationContext,
                                       Completion completionHandler) {
    uploadFromData(std::vector<std::uint8_t>(text.begin(), text.end()), accessCondition, std::move(requestOptions),
                   std::move(operationContext), std::move(completionHandler));
}

void BLSCloudBlockBlob::uploadFromFileWithPath(const std::filesystem::path& filePath, Completion completionHandler) {
    uploadFromFileWithPath(filePath, nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlockBlob::uploadFromFileWithPath(const std::filesystem::path& filePath,
                                               const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                               ContextPtr operationContext, Completion completionHandler) {
    uploadFromStream(platform::InputStream::withFile(filePath), accessCondition, std::move(requestOptions),
                     std::move(operationContext), std::move(completionHandler));
}

void BLSCloudBlockBlob::uploadFromFileWithURL(const std::filesystem::path& fileURL, Completion completionHandler) {
    uploadFromFileWithURL(fileURL, nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlockBlob::uploadFromFileWithURL(const std::filesystem::path& fileURL,
                                              const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                              ContextPtr operationContext, Completion completionHandler) {
    uploadFromStream(platform::InputStream::withFile(fileURL), accessCondition, std::move(requestOptions),
                     std::move(operationContext), std::move(completionHandler));
}

// Put Block -----------------------------------------------------------------------------

void BLSCloudBlockBlob::uploadBlockFromData(std::vector<std::uint8_t> data, const std::string& blockID,
                                            Completion completionHandler) {
    uploadBlockFromData(std::move(data), blockID, std::nullopt, nullptr, nullptr, nullptr,
                        std::move(completionHandler));
}

void BLSCloudBlockBlob::uploadBlockFromData(std::vector<std::uint8_t> data, const std::string& blockID,
                                            std::optional<std::string> contentMD5,
                                            const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                            ContextPtr operationContext, Completion completionHandler) {
    uploadBlockFromData(std::make_shared<const std::vector<std::uint8_t>>(std::move(data)), blockID,
                        std::move(contentMD5), accessCondition, std::move(requestOptions), std::move(operationContext),
                        std::move(completionHandler));
}

void BLSCloudBlockBlob::uploadBlockFromData(std::shared_ptr<const std::vector<std::uint8_t>> data,
                                            const std::string& blockID, std::optional<std::string> contentMD5,
                                            const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                            ContextPtr operationContext, Completion completionHandler) {
    if (!data) data = std::make_shared<const std::vector<std::uint8_t>>();
    auto context = contextOrNew(std::move(operationContext));
    auto options = effectiveOptions(requestOptions);
    if (!contentMD5 && options->useTransactionalMD5()) contentMD5 = BLSUtil::calculateMD5FromData(*data);
    auto command = makeCommand(context);
    command->setBuildRequest([length = static_cast<std::uint64_t>(data->size()), blockID, contentMD5,
                              condition = BLSAccessCondition::copyCondition(accessCondition)](
                                 platform::net::URLComponents& components, double timeout, BLSOperationContext& ctx) {
        return BLSBlobRequestFactory::putBlockWithLength(
            length, blockID, contentMD5, BLSAccessCondition::conditionPtr(condition), components, timeout, ctx);
    });
    command->setSource(std::move(data));
    command->setPreProcessResponse(statusCheck());
    executeCommand(command, options, context, std::move(completionHandler));
}

// Put Block List --------------------------------------------------------------------------

void BLSCloudBlockBlob::uploadBlockListFromArray(std::vector<BLSBlockListItem> blockList,
                                                 Completion completionHandler) {
    uploadBlockListFromArray(std::move(blockList), nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlockBlob::uploadBlockListFromArray(std::vector<BLSBlockListItem> blockList,
                                                 const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                                 ContextPtr operationContext, Completion completionHandler) {
    auto context = contextOrNew(std::move(operationContext));
    auto options = effectiveOptions(requestOptions);
    if (options->storeBlobContentMD5() && !properties().contentMD5) {
        if (completionHandler) {
            completionHandler(BLSMakeInvalidArgumentError(
                "Cannot store blob content MD5 without content MD5 set on the blob object when doing a Put Block "
                "List."));
        }
        return;
    }
    ErrorOut xmlError;
    auto xml = BLSBlobRequestXML::createBlockListXMLFromArray(blockList, *context, xmlError);
    if (xmlError || !xml) {
        if (completionHandler) completionHandler(xmlError ? *xmlError : BLSMakeError(BLSErrorCode::XMLCreationError));
        return;
    }
    std::vector<std::uint8_t> body(xml->begin(), xml->end());
    std::optional<std::string> contentMD5;
    if (options->useTransactionalMD5()) contentMD5 = BLSUtil::calculateMD5FromData(body);

    auto command = makeCommand(context);
    command->setBuildRequest([length = static_cast<std::uint64_t>(body.size()), properties = properties(),
                              metadata = metadata(), contentMD5,
                              condition = BLSAccessCondition::copyCondition(accessCondition)](
                                 platform::net::URLComponents& components, double timeout, BLSOperationContext& ctx) {
        return BLSBlobRequestFactory::putBlockListWithLength(length, &properties, contentMD5, &metadata,
                                                             BLSAccessCondition::conditionPtr(condition), components,
                                                             timeout, ctx);
    });
    command->setSource(std::move(body));
    command->setPreProcessResponse(statusThenEtag(shared_from_this(), false));
    executeCommand(command, options, context, std::move(completionHandler));
}

// Get Block List ----------------------------------------------------------------------------

void BLSCloudBlockBlob::downloadBlockListFromFilter(BLSBlockListFilter blockListFilter,
                                                    BlockListCompletion completionHandler) {
    downloadBlockListFromFilter(blockListFilter, nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlockBlob::downloadBlockListFromFilter(BLSBlockListFilter blockListFilter,
                                                    const BLSAccessCondition* accessCondition,
                                                    OptionsPtr requestOptions, ContextPtr operationContext,
                                                    BlockListCompletion completionHandler) {
    auto context = contextOrNew(std::move(operationContext));
    auto options = effectiveOptions(requestOptions);
    auto command = makeCommand<std::optional<std::vector<BLSBlockListItem>>>(context);
    command->setAllowedStorageLocation(BLSAllowedStorageLocationPrimaryOrSecondary);
    command->setBuildRequest(
        [blockListFilter, snapshot = snapshotTime(), condition = BLSAccessCondition::copyCondition(accessCondition)](
            platform::net::URLComponents& components, double timeout, BLSOperationContext& ctx) {
            return BLSBlobRequestFactory::getBlockListWithBlockListFilter(
                blockListFilter, snapshot, BLSAccessCondition::conditionPtr(condition), components, timeout, ctx);
        });
    command->setPreProcessResponse(statusThenEtag(shared_from_this(), true));
    command->setPostProcessResponse([](const HTTPURLResponse&, BLSRequestResult&, platform::OutputStream* stream,
                                       BLSOperationContext& ctx,
                                       ErrorOut& error) -> std::optional<std::vector<BLSBlockListItem>> {
        const std::vector<std::uint8_t>* data = stream != nullptr ? stream->dataWrittenToMemory() : nullptr;
        std::vector<std::uint8_t> empty;
        auto items = BLSGetBlockListResponse::parseGetBlockListResponseWithData(data ? *data : empty, ctx, error);
        if (!items) {
            if (!error) error = BLSMakeError(BLSErrorCode::ParseError);
            return std::nullopt;
        }
        return items;
    });
    BLSExecutor::ExecuteWithStorageCommand(
        command, options, context,
        [completionHandler = std::move(completionHandler)](ErrorOut error,
                                                           std::optional<std::vector<BLSBlockListItem>> items) {
            if (!completionHandler) return;
            if (error || !items) {
                completionHandler(error ? error : ErrorOut(BLSMakeError(BLSErrorCode::ParseError)), std::nullopt);
                return;
            }
            completionHandler(std::nullopt, std::move(*items));
        });
}

// Output stream --------------------------------------------------------------------------

std::shared_ptr<BLSBlobOutputStream> BLSCloudBlockBlob::createOutputStream() {
    return createOutputStreamWithAccessCondition(nullptr, nullptr, nullptr);
}

std::shared_ptr<BLSBlobOutputStream> BLSCloudBlockBlob::createOutputStreamWithAccessCondition(
    const BLSAccessCondition* accessCondition, OptionsPtr requestOptions, ContextPtr operationContext) {
    return BLSBlobOutputStream::makeToBlockBlob(selfBlock(), accessCondition, effectiveOptions(requestOptions),
                                                contextOrNew(std::move(operationContext)));
}
