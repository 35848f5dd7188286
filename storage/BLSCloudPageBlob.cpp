#include "storage/BLSCloudPageBlob.h"

#include "platform/dispatch/ThreadStart.h"
#include "platform/foundation/Stream.h"
#include "platform/net/URLRequest.h"
#include "storage/BLSBlobOutputStream.h"
#include "storage/BLSBlobRequestFactory.h"
#include "storage/BLSBlobResponseParser.h"
#include "storage/BLSBlobUploadHelper.h"
#include "storage/BLSErrors.h"
#include "storage/BLSExecutor.h"
#include "storage/BLSListResponses.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSOperationUtil.h"
#include "storage/BLSRequestOptions.h"
#include "storage/BLSRequestResult.h"
#include "storage/BLSResponseParser.h"
#include "storage/BLSStorageCommand.h"
#include "storage/BLSUtil.h"

#include <limits>
#include <thread>
#include <utility>

namespace {

using platform::net::HTTPURLResponse;
using ErrorOut = std::optional<platform::Error>;

constexpr std::uint64_t kLargestSize = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

// The platform's range widened word for word.
static_assert(sizeof(std::size_t) <= sizeof(std::uint64_t));
BLSULLRange ullRange(platform::Range range) {
    return BLSULLRange{static_cast<std::uint64_t>(range.location), static_cast<std::uint64_t>(range.length)};
}

// Reports a refusal made before anything is sent, never on the caller's
// thread (as the executor does for its own refusals).
void refuse(BLSCloudBlob::Completion completionHandler, platform::Error error) {
    if (!completionHandler) return;
    platform::startThread([completionHandler = std::move(completionHandler), error = std::move(error)] {
        completionHandler(error);
    }).detach();
}

// The status check, then on success the blob ETag update and `then` with
// the answer and the blob's properties.
BLSStorageCommandBase::PreProcessResponse statusThenEtag(
    std::shared_ptr<BLSCloudPageBlob> blob, bool updateLength,
    std::function<void(const HTTPURLResponse&, BLSBlobProperties&)> then = nullptr) {
    return [blob = std::move(blob), updateLength, then = std::move(then)](
               const HTTPURLResponse& response, BLSRequestResult& result, BLSOperationContext& ctx) -> ErrorOut {
        if (auto error = BLSResponseParser::preprocessResponseWithResponse(response, result, ctx)) return error;
        BLSCloudBlob::updateEtagAndLastModifiedWithResponse(response, blob->properties(), updateLength);
        if (then) then(response, blob->properties());
        return std::nullopt;
    };
}

// The request that sets the sequence number (to the larger of the two with
// `useMaximum`) or increments it.
BLSStorageCommandBase::BuildRequest sequenceNumberRequest(std::int64_t number, bool isIncrement, bool useMaximum,
                                                          const BLSAccessCondition* accessCondition) {
    return [number, isIncrement, useMaximum, condition = BLSAccessCondition::copyCondition(accessCondition)](
               platform::net::URLComponents& components, double timeout, BLSOperationContext& ctx) {
        return BLSBlobRequestFactory::setPageBlobSequenceNumberWithNewSequenceNumber(
            number, isIncrement, useMaximum, BLSAccessCondition::conditionPtr(condition), components, timeout, ctx);
    };
}

platform::Error sizeTooLarge() { return BLSMakeInvalidArgumentError("The page blob size is larger than 2^63 - 1."); }

void run(const std::shared_ptr<BLSStorageCommand<BLSNoResult>>& command,
         const std::shared_ptr<BLSBlobRequestOptions>& options, const std::shared_ptr<BLSOperationContext>& context,
         BLSCloudBlob::Completion completionHandler) {
    BLSExecutor::ExecuteWithStorageCommand(command, options, context,
                                           BLSOperationUtil::errorOnly(std::move(completionHandler)));
}

}  // namespace

// Initialisers ---------------------------------------------------------------

std::shared_ptr<BLSCloudPageBlob> BLSCloudPageBlob::makeWithContainer(std::shared_ptr<BLSCloudBlobContainer> container,
                                                                      std::string name) {
    return makeWithContainer(std::move(container), std::move(name), std::nullopt);
}

std::shared_ptr<BLSCloudPageBlob> BLSCloudPageBlob::makeWithContainer(std::shared_ptr<BLSCloudBlobContainer> container,
                                                                      std::string name,
                                                                      std::optional<std::string> snapshotTime) {
    std::shared_ptr<BLSCloudPageBlob> blob(new BLSCloudPageBlob());
    blob->initWithContainer(std::move(container), std::move(name), std::move(snapshotTime));
    blob->properties().blobType = BLSBlobTypePageBlob;
    return blob;
}

std::shared_ptr<BLSCloudPageBlob> BLSCloudPageBlob::makeWithUrl(const platform::net::URL& url, ErrorOut& error) {
    return makeWithUrl(url, nullptr, std::nullopt, error);
}

std::shared_ptr<BLSCloudPageBlob> BLSCloudPageBlob::makeWithUrl(const platform::net::URL& url,
                                                                std::shared_ptr<BLSStorageCredentials> credentials,
                                                                std::optional<std::string> snapshotTime,
                                                                ErrorOut& error) {
    return makeWithStorageUri(BLSStorageUri(url), std::move(credentials), std::move(snapshotTime), error);
}

std::shared_ptr<BLSCloudPageBlob> BLSCloudPageBlob::makeWithStorageUri(const BLSStorageUri& storageUri,
                                                                       ErrorOut& error) {
    return makeWithStorageUri(storageUri, nullptr, std::nullopt, error);
}

std::shared_ptr<BLSCloudPageBlob> BLSCloudPageBlob::makeWithStorageUri(
    const BLSStorageUri& storageUri, std::shared_ptr<BLSStorageCredentials> credentials,
    std::optional<std::string> snapshotTime, ErrorOut& error) {
    std::shared_ptr<BLSCloudPageBlob> blob(new BLSCloudPageBlob());
    if (!blob->initWithStorageUri(storageUri, std::move(credentials), std::move(snapshotTime), error)) return nullptr;
    blob->properties().blobType = BLSBlobTypePageBlob;
    return blob;
}

std::shared_ptr<BLSCloudPageBlob> BLSCloudPageBlob::sharedPageBlob() {
    return std::static_pointer_cast<BLSCloudPageBlob>(shared_from_this());
}

// Create ---------------------------------------------------------------------

void BLSCloudPageBlob::createWithSize(std::uint64_t size, Completion completionHandler) {
    createWithSize(size, std::nullopt, nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudPageBlob::createWithSize(std::uint64_t size, std::optional<std::int64_t> sequenceNumber,
                                      Completion completionHandler) {
    createWithSize(size, sequenceNumber, nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudPageBlob::createWithSize(std::uint64_t size, std::optional<std::int64_t> sequenceNumber,
                                      const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                      ContextPtr operationContext, Completion completionHandler) {
    if (size > kLargestSize) return refuse(std::move(completionHandler), sizeTooLarge());
    auto context = contextOrNew(std::move(operationContext));
    auto options = effectiveOptions(requestOptions);
    auto command = makeCommand(context);
    const auto length = static_cast<std::int64_t>(size);
    command->setBuildRequest([length, sequenceNumber, properties = properties(), metadata = metadata(),
                              condition = BLSAccessCondition::copyCondition(accessCondition)](
                                 platform::net::URLComponents& components, double timeout, BLSOperationContext& ctx) {
        return BLSBlobRequestFactory::createPageBlobWithSize(length, sequenceNumber.value_or(0), &properties, &metadata,
                                                             BLSAccessCondition::conditionPtr(condition), components,
                                                             timeout, ctx);
    });
    command->setPreProcessResponse(statusThenEtag(
        sharedPageBlob(), false, [length, sequenceNumber](const HTTPURLResponse&, BLSBlobProperties& properties) {
            properties.length = length;
            properties.sequenceNumber = sequenceNumber;
        }));
    run(command, options, context, std::move(completionHandler));
}

void BLSCloudPageBlob::createIfNotExistsWithSize(std::uint64_t size, CreatedCompletion completionHandler) {
    createIfNotExistsWithSize(size, std::nullopt, nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudPageBlob::createIfNotExistsWithSize(std::uint64_t size, std::optional<std::int64_t> sequenceNumber,
                                                 CreatedCompletion completionHandler) {
    createIfNotExistsWithSize(size, sequenceNumber, nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudPageBlob::createIfNotExistsWithSize(std::uint64_t size, std::optional<std::int64_t> sequenceNumber,
                                                 const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                                 ContextPtr operationContext, CreatedCompletion completionHandler) {
    auto context = contextOrNew(std::move(operationContext));
    existsWithAccessCondition(
        nullptr, requestOptions, context,
        BLSOperationUtil::actOnExists(
            false,
            [self = sharedPageBlob(), size, sequenceNumber,
             condition = BLSAccessCondition::copyCondition(accessCondition), requestOptions, context](Completion done) {
                self->createWithSize(size, sequenceNumber, BLSAccessCondition::conditionPtr(condition), requestOptions,
                                     context, std::move(done));
            },
            std::move(completionHandler)));
}

// Page writes and clears ------------------------------------------------------

void BLSCloudPageBlob::uploadPagesWithData(std::vector<std::uint8_t> data, std::uint64_t startOffset,
                                           std::optional<std::string> contentMD5, Completion completionHandler) {
    uploadPagesWithData(std::move(data), startOffset, std::move(contentMD5), nullptr, nullptr, nullptr,
                        std::move(completionHandler));
}

void BLSCloudPageBlob::uploadPagesWithData(std::vector<std::uint8_t> data, std::uint64_t startOffset,
                                           std::optional<std::string> contentMD5,
                                           const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                           ContextPtr operationContext, Completion completionHandler) {
    const BLSULLRange range{startOffset, static_cast<std::uint64_t>(data.size())};
    putPages(range, false, std::move(data), std::move(contentMD5), accessCondition, std::move(requestOptions),
             std::move(operationContext), std::move(completionHandler));
}

void BLSCloudPageBlob::clearPagesWithBLSULLRange(BLSULLRange range, Completion completionHandler) {
    clearPagesWithBLSULLRange(range, nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudPageBlob::clearPagesWithBLSULLRange(BLSULLRange range, const BLSAccessCondition* accessCondition,
                                                 OptionsPtr requestOptions, ContextPtr operationContext,
                                                 Completion completionHandler) {
    putPages(range, true, std::nullopt, std::nullopt, accessCondition, std::move(requestOptions),
             std::move(operationContext), std::move(completionHandler));
}

void BLSCloudPageBlob::clearPagesWithRange(platform::Range range, Completion completionHandler) {
    clearPagesWithRange(range, nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudPageBlob::clearPagesWithRange(platform::Range range, const BLSAccessCondition* accessCondition,
                                           OptionsPtr requestOptions, ContextPtr operationContext,
                                           Completion completionHandler) {
    clearPagesWithBLSULLRange(ullRange(range), accessCondition, std::move(requestOptions), std::move(operationContext),
                              std::move(completionHandler));
}

void BLSCloudPageBlob::putPages(BLSULLRange range, bool clear, std::optional<std::vector<std::uint8_t>> data,
                                std::optional<std::string> contentMD5, const BLSAccessCondition* accessCondition,
                                OptionsPtr requestOptions, ContextPtr operationContext, Completion completionHandler) {
    auto context = contextOrNew(std::move(operationContext));
    auto options = effectiveOptions(requestOptions);
    if (!clear && !contentMD5 && options->useTransactionalMD5() && data) {
        contentMD5 = BLSUtil::calculateMD5FromData(*data);
    }
    auto command = makeCommand(context);
    command->setBuildRequest([range, clear, contentMD5, condition = BLSAccessCondition::copyCondition(accessCondition)](
                                 platform::net::URLComponents& components, double timeout, BLSOperationContext& ctx) {
        return BLSBlobRequestFactory::putPagesWithPageRange(
            range, clear, contentMD5, BLSAccessCondition::conditionPtr(condition), components, timeout, ctx);
    });
    command->setPreProcessResponse(
        statusThenEtag(sharedPageBlob(), false, [](const HTTPURLResponse& response, BLSBlobProperties& properties) {
            properties.sequenceNumber = BLSBlobResponseParser::getSequenceNumberWithResponse(response);
        }));
    if (!clear && data) command->setSource(std::move(data));
    run(command, options, context, std::move(completionHandler));
}

// Page ranges -------------------------------------------------------------------

void BLSCloudPageBlob::downloadPageRangesWithCompletionHandler(PageRangesCompletion completionHandler) {
    downloadPageRangesWithBLSULLRange(BLSULLRange{0, 0}, nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudPageBlob::downloadPageRangesWithBLSULLRange(BLSULLRange range, PageRangesCompletion completionHandler) {
    downloadPageRangesWithBLSULLRange(range, nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudPageBlob::downloadPageRangesWithBLSULLRange(BLSULLRange range, const BLSAccessCondition* accessCondition,
                                                         OptionsPtr requestOptions, ContextPtr operationContext,
                                                         PageRangesCompletion completionHandler) {
    auto context = contextOrNew(std::move(operationContext));
    auto options = effectiveOptions(requestOptions);
    auto command = makeCommand<std::optional<std::vector<BLSULLRange>>>(context);
    command->setBuildRequest(
        [range, snapshot = snapshotTime(), condition = BLSAccessCondition::copyCondition(accessCondition)](
            platform::net::URLComponents& components, double timeout, BLSOperationContext& ctx) {
            return BLSBlobRequestFactory::getPageRangesWithRange(
                range, snapshot, BLSAccessCondition::conditionPtr(condition), components, timeout, ctx);
        });
    command->setPreProcessResponse(statusThenEtag(sharedPageBlob(), true));
    command->setPostProcessResponse([](const HTTPURLResponse&, BLSRequestResult&, platform::OutputStream* output,
                                       BLSOperationContext& ctx,
                                       ErrorOut& error) -> std::optional<std::vector<BLSULLRange>> {
        const std::vector<std::uint8_t>* body = output ? output->dataWrittenToMemory() : nullptr;
        static const std::vector<std::uint8_t> kEmpty;
        return BLSGetPageRangesResponse::parseGetPageRangesResponseWithData(body ? *body : kEmpty, ctx, error);
    });
    BLSExecutor::ExecuteWithStorageCommand(command, options, context,
                                           [completionHandler = std::move(completionHandler)](
                                               ErrorOut error, std::optional<std::vector<BLSULLRange>> ranges) {
                                               if (!completionHandler) return;
                                               if (error) return completionHandler(error, std::nullopt);
                                               completionHandler(std::nullopt, std::move(ranges));
                                           });
}

void BLSCloudPageBlob::downloadPageRangesWithRange(platform::Range range, PageRangesCompletion completionHandler) {
    downloadPageRangesWithRange(range, nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudPageBlob::downloadPageRangesWithRange(platform::Range range, const BLSAccessCondition* accessCondition,
                                                   OptionsPtr requestOptions, ContextPtr operationContext,
                                                   PageRangesCompletion completionHandler) {
    downloadPageRangesWithBLSULLRange(ullRange(range), accessCondition, std::move(requestOptions),
                                      std::move(operationContext), std::move(completionHandler));
}

// Resize and sequence numbers ---------------------------------------------------

void BLSCloudPageBlob::refreshPropertiesWithRequest(
    std::function<platform::net::URLRequest(platform::net::URLComponents&, double, BLSOperationContext&)> buildRequest,
    std::optional<std::int64_t> newLength, OptionsPtr requestOptions, ContextPtr operationContext,
    Completion completionHandler, bool retryAfterTransportFailure) {
    auto context = contextOrNew(std::move(operationContext));
    auto options = effectiveOptions(requestOptions);
    auto command = makeCommand(context);
    command->setBuildRequest(std::move(buildRequest));
    command->setRetryAfterTransportFailure(retryAfterTransportFailure);
    command->setPreProcessResponse([self = sharedPageBlob(), newLength](const HTTPURLResponse& response,
                                                                        BLSRequestResult& result,
                                                                        BLSOperationContext& ctx) -> ErrorOut {
        if (auto error = BLSResponseParser::preprocessResponseWithResponse(response, result, ctx)) return error;
        ErrorOut error;
        auto parsed = BLSBlobResponseParser::getBlobPropertiesWithResponse(response, ctx, error);
        if (!parsed) return error;
        const BLSBlobProperties& current = self->properties();
        if (parsed->blobType != BLSBlobTypeUnspecified && parsed->blobType != current.blobType) {
            return BLSMakeInvalidArgumentError(kBlobTypeMismatch);
        }
        // A properties answer names neither the blob's type nor its length
        // (its Content-Length is that of its empty body): keep what is known.
        if (parsed->blobType == BLSBlobTypeUnspecified) parsed->blobType = current.blobType;
        parsed->length = newLength ? newLength : current.length;
        parsed->sequenceNumber = BLSBlobResponseParser::getSequenceNumberWithResponse(response);
        self->setProperties(std::move(*parsed));
        return std::nullopt;
    });
    run(command, options, context, std::move(completionHandler));
}

void BLSCloudPageBlob::resizeWithSize(std::uint64_t size, Completion completionHandler) {
    resizeWithSize(size, nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudPageBlob::resizeWithSize(std::uint64_t size, const BLSAccessCondition* accessCondition,
                                      OptionsPtr requestOptions, ContextPtr operationContext,
                                      Completion completionHandler) {
    if (size > kLargestSize) return refuse(std::move(completionHandler), sizeTooLarge());
    const auto length = static_cast<std::int64_t>(size);
    refreshPropertiesWithRequest(
        [length, condition = BLSAccessCondition::copyCondition(accessCondition)](
            platform::net::URLComponents& components, double timeout, BLSOperationContext& ctx) {
            return BLSBlobRequestFactory::resizePageBlobWithSize(length, BLSAccessCondition::conditionPtr(condition),
                                                                 components, timeout, ctx);
        },
        length, std::move(requestOptions), std::move(operationContext), std::move(completionHandler));
}

void BLSCloudPageBlob::setSequenceNumberWithNumber(std::int64_t number, bool useMaximum, Completion completionHandler) {
    setSequenceNumberWithNumber(number, useMaximum, nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudPageBlob::setSequenceNumberWithNumber(std::int64_t number, bool useMaximum,
                                                   const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                                   ContextPtr operationContext, Completion completionHandler) {
    refreshPropertiesWithRequest(sequenceNumberRequest(number, false, useMaximum, accessCondition), std::nullopt,
                                 std::move(requestOptions), std::move(operationContext), std::move(completionHandler));
}

void BLSCloudPageBlob::incrementSequenceNumberWithCompletionHandler(Completion completionHandler) {
    incrementSequenceNumberWithAccessCondition(nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudPageBlob::incrementSequenceNumberWithAccessCondition(const BLSAccessCondition* accessCondition,
                                                                  OptionsPtr requestOptions,
                                                                  ContextPtr operationContext,
                                                                  Completion completionHandler) {
    refreshPropertiesWithRequest(sequenceNumberRequest(0, true, false, accessCondition), std::nullopt,
                                 std::move(requestOptions), std::move(operationContext), std::move(completionHandler),
                                 false);
}

// Stream uploads ------------------------------------------------------------------

void BLSCloudPageBlob::uploadFromStream(std::shared_ptr<platform::InputStream> sourceStream,
                                        Completion completionHandler) {
    uploadFromStream(std::move(sourceStream), nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudPageBlob::uploadFromStream(std::shared_ptr<platform::InputStream> sourceStream,
                                        const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                        ContextPtr operationContext, Completion completionHandler) {
    auto container = std::make_shared<BLSPageBlobUploadFromStreamInputContainer>();
    container->sourceStream = std::move(sourceStream);
    container->targetBlob = sharedPageBlob();
    // Page writes carry only the lease: an ETag or date condition would
    // fail every write after the first, which changes the blob's ETag.
    if (accessCondition) {
        BLSAccessCondition leaseOnly;
        leaseOnly.setLeaseId(accessCondition->leaseId());
        container->accessCondition = std::move(leaseOnly);
    }
    container->blobRequestOptions = effectiveOptions(requestOptions);
    container->operationContext = contextOrNew(std::move(operationContext));
    container->completionHandler = std::move(completionHandler);
    runBlobUploadFromStreamWithContainer(std::move(container));
}

void BLSCloudPageBlob::uploadFromStream(std::shared_ptr<platform::InputStream> sourceStream, std::uint64_t size,
                                        Completion completionHandler) {
    uploadFromStream(std::move(sourceStream), size, std::nullopt, nullptr, nullptr, nullptr,
                     std::move(completionHandler));
}

void BLSCloudPageBlob::uploadFromStream(std::shared_ptr<platform::InputStream> sourceStream, std::uint64_t size,
                                        std::optional<std::int64_t> initialSequenceNumber,
                                        Completion completionHandler) {
    uploadFromStream(std::move(sourceStream), size, initialSequenceNumber, nullptr, nullptr, nullptr,
                     std::move(completionHandler));
}

void BLSCloudPageBlob::uploadFromStream(std::shared_ptr<platform::InputStream> sourceStream, std::uint64_t size,
                                        std::optional<std::int64_t> initialSequenceNumber,
                                        const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                        ContextPtr operationContext, Completion completionHandler) {
    auto context = contextOrNew(std::move(operationContext));
    createWithSize(size, initialSequenceNumber, accessCondition, requestOptions, context,
                   [self = sharedPageBlob(), sourceStream = std::move(sourceStream),
                    condition = BLSAccessCondition::copyCondition(accessCondition), requestOptions, context,
                    completionHandler = std::move(completionHandler)](const ErrorOut& error) mutable {
                       if (error) {
                           if (completionHandler) completionHandler(error);
                           return;
                       }
                       self->uploadFromStream(std::move(sourceStream), BLSAccessCondition::conditionPtr(condition),
                                              requestOptions, context, std::move(completionHandler));
                   });
}

void BLSCloudPageBlob::runBlobUploadFromStreamWithContainer(
    std::shared_ptr<BLSPageBlobUploadFromStreamInputContainer> container) {
    auto makeHelper = [container](BLSBlobUploadHelper::Completion helperCompletion) {
        return BLSBlobUploadHelper::makeToPageBlob(container->targetBlob, std::nullopt, std::nullopt,
                                                   BLSAccessCondition::conditionPtr(container->accessCondition),
                                                   container->blobRequestOptions, container->operationContext,
                                                   std::move(helperCompletion));
    };
    BLSBlobUploadHelper::uploadFromStreamOnNewThread(container->sourceStream, std::move(makeHelper),
                                                     container->completionHandler);
}

// Output streams -------------------------------------------------------------------

std::shared_ptr<BLSBlobOutputStream> BLSCloudPageBlob::createOutputStream() {
    return createOutputStreamWithAccessCondition(nullptr, nullptr, nullptr);
}

std::shared_ptr<BLSBlobOutputStream> BLSCloudPageBlob::createOutputStreamWithAccessCondition(
    const BLSAccessCondition* accessCondition, OptionsPtr requestOptions, ContextPtr operationContext) {
    return BLSBlobOutputStream::makeToPageBlob(sharedPageBlob(), std::nullopt, std::nullopt, accessCondition,
                                               effectiveOptions(requestOptions),
                                               contextOrNew(std::move(operationContext)));
}

std::shared_ptr<BLSBlobOutputStream> BLSCloudPageBlob::createOutputStreamWithSize(std::uint64_t size) {
    return createOutputStreamWithSize(size, std::nullopt, nullptr, nullptr, nullptr);
}

std::shared_ptr<BLSBlobOutputStream> BLSCloudPageBlob::createOutputStreamWithSize(
    std::uint64_t size, std::optional<std::int64_t> sequenceNumber) {
    return createOutputStreamWithSize(size, sequenceNumber, nullptr, nullptr, nullptr);
}

std::shared_ptr<BLSBlobOutputStream> BLSCloudPageBlob::createOutputStreamWithSize(
    std::uint64_t size, std::optional<std::int64_t> sequenceNumber, const BLSAccessCondition* accessCondition,
    OptionsPtr requestOptions, ContextPtr operationContext) {
    return BLSBlobOutputStream::makeToPageBlob(sharedPageBlob(), size, sequenceNumber, accessCondition,
                                               effectiveOptions(requestOptions),
                                               contextOrNew(std::move(operationContext)));
}
