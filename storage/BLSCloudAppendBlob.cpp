#include "storage/BLSCloudAppendBlob.h"

#include "platform/foundation/Stream.h"
#include "platform/net/URLRequest.h"
#include "storage/BLSBlobOutputStream.h"
#include "storage/BLSBlobRequestFactory.h"
#include "storage/BLSBlobResponseParser.h"
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

#include <utility>

namespace {

using platform::net::HTTPURLResponse;
using ErrorOut = std::optional<platform::Error>;

}  // namespace

// Initialisers ---------------------------------------------------------------

std::shared_ptr<BLSCloudAppendBlob> BLSCloudAppendBlob::makeWithContainer(
    std::shared_ptr<BLSCloudBlobContainer> container, std::string name) {
    return makeWithContainer(std::move(container), std::move(name), std::nullopt);
}

std::shared_ptr<BLSCloudAppendBlob> BLSCloudAppendBlob::makeWithContainer(
    std::shared_ptr<BLSCloudBlobContainer> container, std::string name, std::optional<std::string> snapshotTime) {
    std::shared_ptr<BLSCloudAppendBlob> blob(new BLSCloudAppendBlob());
    blob->initWithContainer(std::move(container), std::move(name), std::move(snapshotTime));
    blob->properties().blobType = BLSBlobTypeAppendBlob;
    return blob;
}

std::shared_ptr<BLSCloudAppendBlob> BLSCloudAppendBlob::makeWithUrl(const platform::net::URL& url, ErrorOut& error) {
    return makeWithUrl(url, nullptr, std::nullopt, error);
}

std::shared_ptr<BLSCloudAppendBlob> BLSCloudAppendBlob::makeWithUrl(const platform::net::URL& url,
                                                                    std::shared_ptr<BLSStorageCredentials> credentials,
                                                                    std::optional<std::string> snapshotTime,
                                                                    ErrorOut& error) {
    return makeWithStorageUri(BLSStorageUri(url), std::move(credentials), std::move(snapshotTime), error);
}

std::shared_ptr<BLSCloudAppendBlob> BLSCloudAppendBlob::makeWithStorageUri(const BLSStorageUri& storageUri,
                                                                           ErrorOut& error) {
    return makeWithStorageUri(storageUri, nullptr, std::nullopt, error);
}

std::shared_ptr<BLSCloudAppendBlob> BLSCloudAppendBlob::makeWithStorageUri(
    const BLSStorageUri& storageUri, std::shared_ptr<BLSStorageCredentials> credentials,
    std::optional<std::string> snapshotTime, ErrorOut& error) {
    std::shared_ptr<BLSCloudAppendBlob> blob(new BLSCloudAppendBlob());
    if (!blob->initWithStorageUri(storageUri, std::move(credentials), std::move(snapshotTime), error)) return nullptr;
    blob->properties().blobType = BLSBlobTypeAppendBlob;
    return blob;
}

std::shared_ptr<BLSCloudAppendBlob> BLSCloudAppendBlob::sharedAppendBlob() {
    return std::static_pointer_cast<BLSCloudAppendBlob>(shared_from_this());
}

// Create ---------------------------------------------------------------------

void BLSCloudAppendBlob::createWithCompletionHandler(Completion completionHandler) {
    createWithAccessCondition(nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudAppendBlob::createWithAccessCondition(const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                                   ContextPtr operationContext, Completion completionHandler) {
    auto context = contextOrNew(std::move(operationContext));
    auto options = effectiveOptions(requestOptions);
    auto command = makeCommand(context);
    command->setBuildRequest([properties = properties(), metadata = metadata(),
                              condition = BLSAccessCondition::copyCondition(accessCondition)](
                                 platform::net::URLComponents& components, double timeout, BLSOperationContext& ctx) {
        return BLSBlobRequestFactory::createAppendBlobWithBlobProperties(
            &properties, &metadata, BLSAccessCondition::conditionPtr(condition), components, timeout, ctx);
    });
    command->setPreProcessResponse([self = sharedAppendBlob()](const HTTPURLResponse& response,
                                                               BLSRequestResult& result,
                                                               BLSOperationContext& ctx) -> ErrorOut {
        if (auto error = BLSResponseParser::preprocessResponseWithResponse(response, result, ctx)) return error;
        updateEtagAndLastModifiedWithResponse(response, self->properties(), false);
        return std::nullopt;
    });
    BLSExecutor::ExecuteWithStorageCommand(command, options, context,
                                           BLSOperationUtil::errorOnly(std::move(completionHandler)));
}

void BLSCloudAppendBlob::createIfNotExistsWithCompletionHandler(CreatedCompletion completionHandler) {
    createIfNotExistsWithAccessCondition(nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudAppendBlob::createIfNotExistsWithAccessCondition(const BLSAccessCondition* accessCondition,
                                                              OptionsPtr requestOptions, ContextPtr operationContext,
                                                              CreatedCompletion completionHandler) {
    auto context = contextOrNew(std::move(operationContext));
    existsWithAccessCondition(
        nullptr, requestOptions, context,
        BLSOperationUtil::actOnExists(
            false,
            [self = sharedAppendBlob(), condition = BLSAccessCondition::copyCondition(accessCondition), requestOptions,
             context](Completion done) {
                self->createWithAccessCondition(BLSAccessCondition::conditionPtr(condition), requestOptions, context,
                                                std::move(done));
            },
            std::move(completionHandler)));
}

// Append Block -------------------------------------------------------------------

void BLSCloudAppendBlob::appendBlockWithData(std::vector<std::uint8_t> data, std::optional<std::string> contentMD5,
                                             AppendCompletion completionHandler) {
    appendBlockWithData(std::move(data), std::move(contentMD5), nullptr, nullptr, nullptr,
                        std::move(completionHandler));
}

void BLSCloudAppendBlob::appendBlockWithData(std::vector<std::uint8_t> data, std::optional<std::string> contentMD5,
                                             const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                             ContextPtr operationContext, AppendCompletion completionHandler) {
    auto context = contextOrNew(std::move(operationContext));
    auto options = effectiveOptions(requestOptions);
    if (!contentMD5 && options->useTransactionalMD5()) contentMD5 = BLSUtil::calculateMD5FromData(data);
    const auto length = static_cast<std::uint64_t>(data.size());

    auto command = makeCommand<std::optional<std::int64_t>>(context);
    command->setBuildRequest([length, contentMD5, condition = BLSAccessCondition::copyCondition(accessCondition)](
                                 platform::net::URLComponents& components, double timeout, BLSOperationContext& ctx) {
        return BLSBlobRequestFactory::appendBlockWithLength(
            length, contentMD5, BLSAccessCondition::conditionPtr(condition), components, timeout, ctx);
    });
    // The offset the service wrote this block at, from the answer's headers.
    auto appendOffset = std::make_shared<std::optional<std::int64_t>>();
    command->setPreProcessResponse(
        [self = sharedAppendBlob(), context, length, appendOffset](
            const HTTPURLResponse& response, BLSRequestResult& result, BLSOperationContext&) -> ErrorOut {
            if (auto error = BLSResponseParser::preprocessResponseWithResponse(response, result, *context))
                return error;
            BLSBlobProperties& properties = self->properties();
            updateEtagAndLastModifiedWithResponse(response, properties, false);
            properties.appendBlobCommittedBlockCount =
                BLSBlobResponseParser::getAppendCommittedBlockCountWithResponse(response);
            *appendOffset = BLSBlobResponseParser::getAppendPositionWithResponse(response);
            if (*appendOffset) properties.length = **appendOffset + static_cast<std::int64_t>(length);
            return std::nullopt;
        });
    command->setPostProcessResponse([appendOffset](const HTTPURLResponse&, BLSRequestResult&, platform::OutputStream*,
                                                   BLSOperationContext&, ErrorOut&) { return *appendOffset; });
    command->setSource(std::move(data));

    // Without an append position the service cannot refuse a block it has
    // already taken, so an attempt whose answer was lost is not repeated.
    command->setRetryAfterTransportFailure(accessCondition && accessCondition->appendPosition().has_value());
    BLSExecutor::ExecuteWithStorageCommand(
        command, options, context,
        [completionHandler = std::move(completionHandler)](ErrorOut error, std::optional<std::int64_t> offset) {
            if (completionHandler) completionHandler(error, error ? std::nullopt : offset);
        });
}

// Stream uploads ------------------------------------------------------------------

void BLSCloudAppendBlob::uploadFromStream(std::shared_ptr<platform::InputStream> sourceStream, bool createNew,
                                          Completion completionHandler) {
    uploadFromStream(std::move(sourceStream), createNew, nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudAppendBlob::uploadFromStream(std::shared_ptr<platform::InputStream> sourceStream, bool createNew,
                                          const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                          ContextPtr operationContext, Completion completionHandler) {
    auto container = std::make_shared<BLSAppendBlobUploadFromStreamInputContainer>();
    container->sourceStream = std::move(sourceStream);
    container->targetBlob = sharedAppendBlob();
    if (accessCondition) {
        BLSAccessCondition reduced;
        if (accessCondition->leaseId()) reduced.setLeaseId(accessCondition->leaseId());
        if (accessCondition->appendPosition()) reduced.setAppendPosition(accessCondition->appendPosition());
        if (accessCondition->maxSize()) reduced.setMaxSize(accessCondition->maxSize());
        container->accessCondition = std::move(reduced);
    }
    container->blobRequestOptions = effectiveOptions(requestOptions);
    container->operationContext = contextOrNew(std::move(operationContext));
    container->completionHandler = std::move(completionHandler);

    if (!createNew) return runBlobUploadFromStreamWithContainer(std::move(container));
    createWithAccessCondition(BLSAccessCondition::conditionPtr(container->accessCondition), requestOptions,
                              container->operationContext, [container](const ErrorOut& error) {
                                  if (error) {
                                      if (container->completionHandler) container->completionHandler(error);
                                      return;
                                  }
                                  // The blob made here is empty, so every append can carry its position:
                                  // an append whose answer was lost is then sent again, and the service
                                  // refuses the copy it already holds.
                                  if (!container->accessCondition) container->accessCondition.emplace();
                                  if (!container->accessCondition->appendPosition()) {
                                      container->accessCondition->setAppendPosition(0);
                                  }
                                  runBlobUploadFromStreamWithContainer(container);
                              });
}

void BLSCloudAppendBlob::runBlobUploadFromStreamWithContainer(
    std::shared_ptr<BLSAppendBlobUploadFromStreamInputContainer> container) {
    auto makeHelper = [container](BLSBlobUploadHelper::Completion helperCompletion) {
        // The blob exists by now: created above, or the caller's.
        return BLSBlobUploadHelper::makeToAppendBlob(
            container->targetBlob, false, BLSAccessCondition::conditionPtr(container->accessCondition),
            container->blobRequestOptions, container->operationContext, std::move(helperCompletion));
    };
    BLSBlobUploadHelper::uploadFromStreamOnNewThread(container->sourceStream, std::move(makeHelper),
                                                     container->completionHandler);
}

// Output streams -------------------------------------------------------------------

std::shared_ptr<BLSBlobOutputStream> BLSCloudAppendBlob::createOutputStreamWithCreateNew(bool createNew) {
    return createOutputStreamWithCreateNew(createNew, nullptr, nullptr, nullptr);
}

std::shared_ptr<BLSBlobOutputStream> BLSCloudAppendBlob::createOutputStreamWithCreateNew(
    bool createNew, const BLSAccessCondition* accessCondition, OptionsPtr requestOptions, ContextPtr operationContext) {
    return BLSBlobOutputStream::makeToAppendBlob(sharedAppendBlob(), createNew, accessCondition,
                                                 effectiveOptions(requestOptions),
                                                 contextOrNew(std::move(operationContext)));
}
