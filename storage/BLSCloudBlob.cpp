#include "storage/BLSCloudBlob.h"

#include "platform/foundation/Stream.h"
#include "platform/net/URLRequest.h"
#include "storage/BLSBlobRequestFactory.h"
#include "storage/BLSBlobResponseParser.h"
#include "storage/BLSCloudBlobContainer.h"
#include "storage/BLSCloudClient.h"
#include "storage/BLSErrors.h"
#include "storage/BLSExecutor.h"
#include "storage/BLSLeaseOperation.h"
#include "storage/BLSNavigationUtil.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSOperationUtil.h"
#include "storage/BLSRequestFactory.h"
#include "storage/BLSRequestOptions.h"
#include "storage/BLSRequestResult.h"
#include "storage/BLSResponseParser.h"
#include "storage/BLSSharedAccessSignatureHelper.h"
#include "storage/BLSStorageCommand.h"
#include "storage/BLSStorageCredentials.h"
#include "storage/BLSUtil.h"

#include <utility>

namespace {

using platform::net::HTTPURLResponse;
using ErrorOut = std::optional<platform::Error>;

// A blob object of unspecified type (a plain blob made from an address)
// accepts any kind; a typed one only its own.
bool blobTypeMismatch(BLSBlobType local, BLSBlobType service) {
    return service != BLSBlobTypeUnspecified && local != BLSBlobTypeUnspecified && service != local;
}

bool isValidUtf8(const std::vector<std::uint8_t>& data) {
    std::size_t i = 0, n = data.size();
    while (i < n) {
        std::uint8_t c = data[i];
        std::size_t extra;
        std::uint32_t minimum;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1, minimum = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, minimum = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, minimum = 0x10000;
        } else {
            return false;
        }
        if (i + extra >= n) return false;
        std::uint32_t code = c & (0x3F >> extra);
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((data[i + k] & 0xC0) != 0x80) return false;
            code = (code << 6) | (data[i + k] & 0x3F);
        }
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

// Hands the operation to the executor; the completion gets the error and the
// command's result.
template <typename Result>
void execute(const BLSOperationUtil::Operation<Result>& op,
             std::type_identity_t<BLSCompletionHandler<Result>> completion) {
    BLSExecutor::ExecuteWithStorageCommand(op.command, op.options, op.context, std::move(completion));
}

}  // namespace

// Initialisers ---------------------------------------------------------------

std::shared_ptr<BLSCloudBlob> BLSCloudBlob::makeWithContainer(std::shared_ptr<BLSCloudBlobContainer> container,
                                                              std::string name) {
    return makeWithContainer(std::move(container), std::move(name), std::nullopt);
}

std::shared_ptr<BLSCloudBlob> BLSCloudBlob::makeWithContainer(std::shared_ptr<BLSCloudBlobContainer> container,
                                                              std::string name,
                                                              std::optional<std::string> snapshotTime) {
    std::shared_ptr<BLSCloudBlob> blob(new BLSCloudBlob());
    blob->initWithContainer(std::move(container), std::move(name), std::move(snapshotTime));
    return blob;
}

std::shared_ptr<BLSCloudBlob> BLSCloudBlob::makeWithUrl(const platform::net::URL& url, ErrorOut& error) {
    return makeWithUrl(url, nullptr, std::nullopt, error);
}

std::shared_ptr<BLSCloudBlob> BLSCloudBlob::makeWithUrl(const platform::net::URL& url,
                                                        std::shared_ptr<BLSStorageCredentials> credentials,
                                                        std::optional<std::string> snapshotTime, ErrorOut& error) {
    return makeWithStorageUri(BLSStorageUri(url), std::move(credentials), std::move(snapshotTime), error);
}

std::shared_ptr<BLSCloudBlob> BLSCloudBlob::makeWithStorageUri(const BLSStorageUri& storageUri, ErrorOut& error) {
    return makeWithStorageUri(storageUri, nullptr, std::nullopt, error);
}

std::shared_ptr<BLSCloudBlob> BLSCloudBlob::makeWithStorageUri(const BLSStorageUri& storageUri,
                                                               std::shared_ptr<BLSStorageCredentials> credentials,
                                                               std::optional<std::string> snapshotTime,
                                                               ErrorOut& error) {
    std::shared_ptr<BLSCloudBlob> blob(new BLSCloudBlob());
    if (!blob->initWithStorageUri(storageUri, std::move(credentials), std::move(snapshotTime), error)) return nullptr;
    return blob;
}

void BLSCloudBlob::initWithContainer(std::shared_ptr<BLSCloudBlobContainer> container, std::string name,
                                     std::optional<std::string> snapshotTime) {
    mBlobName = std::move(name);
    mBlobContainer = std::move(container);
    if (mBlobContainer) {
        mClient = mBlobContainer->client();
        mStorageUri = BLSStorageUri::appendToStorageUri(mBlobContainer->storageUri(), mBlobName);
    }
    mSnapshotTime = std::move(snapshotTime);
}

bool BLSCloudBlob::initWithStorageUri(const BLSStorageUri& storageUri,
                                      std::shared_ptr<BLSStorageCredentials> credentials,
                                      std::optional<std::string> snapshotTime, ErrorOut& error) {
    auto resolved = BLSNavigationUtil::resolveAddressWithStorageUri(
        storageUri, BLSNavigationUtil::AddressedResource::Blob, std::move(credentials), std::move(snapshotTime), error);
    if (!resolved) return false;
    mClient = std::make_shared<BLSCloudBlobClient>(resolved->serviceAddress, resolved->credentials);
    mStorageUri = resolved->address;
    mSnapshotTime = std::move(resolved->snapshotTime);
    mBlobName = std::move(resolved->name);
    return true;
}

void BLSCloudBlob::setProperties(BLSBlobProperties properties) {
    mProperties = std::make_shared<BLSBlobProperties>(std::move(properties));
}

// The command recipe ----------------------------------------------------------

BLSCloudBlob::ContextPtr BLSCloudBlob::contextOrNew(ContextPtr operationContext) const {
    return BLSOperationUtil::contextOrNew(std::move(operationContext));
}

BLSCloudBlob::OptionsPtr BLSCloudBlob::effectiveOptions(const OptionsPtr& requestOptions) const {
    return BLSOperationUtil::effectiveOptions(mClient.get(), requestOptions);
}

std::string BLSCloudBlob::containerName() const {
    if (mBlobContainer) return mBlobContainer->name();
    // From the address: the segment after the account with path-style
    // addressing, else the first one.
    const auto& primary = mStorageUri.primaryUri();
    if (!primary) return {};
    auto components = primary->pathComponents();
    std::size_t index = BLSUtil::usePathStyleAddressing(primary) ? 2 : 1;
    return components.size() > index ? components[index] : std::string();
}

void BLSCloudBlob::updateEtagAndLastModifiedWithResponse(const HTTPURLResponse& response, BLSBlobProperties& properties,
                                                         bool updateLength) {
    if (const std::string* eTag = response.valueForHTTPHeaderField("ETag")) properties.eTag = *eTag;
    if (const std::string* modified = response.valueForHTTPHeaderField("Last-Modified")) {
        if (auto date = BLSUtil::dateFromHttpString(*modified)) properties.lastModified = date;
    }
    if (auto sequence = BLSBlobResponseParser::getSequenceNumberWithResponse(response)) {
        properties.sequenceNumber = sequence;
    }
    if (updateLength) {
        if (auto length = BLSBlobResponseParser::getBlobLengthWithResponse(response)) properties.length = length;
    }
}

std::optional<BLSBlobProperties> BLSCloudBlob::describedProperties(const HTTPURLResponse& response,
                                                                   BLSRequestResult& result,
                                                                   BLSOperationContext& context,
                                                                   ErrorOut& error) const {
    error = BLSResponseParser::preprocessResponseWithResponse(response, result, context);
    if (error) return std::nullopt;
    auto parsed = BLSBlobResponseParser::getBlobPropertiesWithResponse(response, context, error);
    if (!parsed) return std::nullopt;
    if (blobTypeMismatch(properties().blobType, parsed->blobType)) {
        error = BLSMakeInvalidArgumentError(kBlobTypeMismatch);
        return std::nullopt;
    }
    return parsed;
}

void BLSCloudBlob::keepDescription(const HTTPURLResponse& response, BLSBlobProperties properties) {
    setProperties(std::move(properties));
    mBlobCopyState = BLSBlobResponseParser::getCopyStateWithResponse(response);
    mMetadata = BLSBlobResponseParser::getMetadataWithResponse(response);
}

// Downloads ---------------------------------------------------------------------

void BLSCloudBlob::downloadToStream(std::shared_ptr<platform::OutputStream> stream, Completion completionHandler) {
    downloadInternal(std::move(stream), BLSULLRange{0, 0}, std::nullopt, nullptr, nullptr,
                     std::move(completionHandler));
}

void BLSCloudBlob::downloadToStream(std::shared_ptr<platform::OutputStream> stream,
                                    const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                    ContextPtr operationContext, Completion completionHandler) {
    downloadInternal(std::move(stream), BLSULLRange{0, 0}, BLSAccessCondition::copyCondition(accessCondition),
                     std::move(requestOptions), std::move(operationContext), std::move(completionHandler));
}

void BLSCloudBlob::downloadToStream(std::shared_ptr<platform::OutputStream> stream, BLSULLRange range,
                                    const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                    ContextPtr operationContext, Completion completionHandler) {
    downloadInternal(std::move(stream), range, BLSAccessCondition::copyCondition(accessCondition),
                     std::move(requestOptions), std::move(operationContext), std::move(completionHandler));
}

void BLSCloudBlob::downloadInternal(std::shared_ptr<platform::OutputStream> stream, BLSULLRange range,
                                    std::optional<BLSAccessCondition> accessCondition, OptionsPtr requestOptions,
                                    ContextPtr operationContext, Completion completionHandler) {
    auto op = prepare(requestOptions, std::move(operationContext));
    const bool validateMD5 = !op.options->disableContentMD5Validation();
    const bool useTransactionalMD5 = op.options->useTransactionalMD5();
    op.command->setCalculateResponseMD5(validateMD5);
    op.command->setAllowedStorageLocation(BLSAllowedStorageLocationPrimaryOrSecondary);
    op.command->setBuildRequest(
        [snapshot = mSnapshotTime, range, useTransactionalMD5, accessCondition](
            platform::net::URLComponents& components, double timeout, BLSOperationContext& ctx) {
            return BLSBlobRequestFactory::getBlobWithSnapshotTime(snapshot, range, useTransactionalMD5,
                                                                  BLSAccessCondition::conditionPtr(accessCondition),
                                                                  components, timeout, ctx);
        });

    // The MD5 the service sent for this body, compared once the body is in.
    auto heldMD5 = std::make_shared<std::optional<std::string>>();
    auto self = shared_from_this();
    op.command->setPreProcessResponse(
        [self, range, validateMD5, useTransactionalMD5, heldMD5](
            const HTTPURLResponse& response, BLSRequestResult& result, BLSOperationContext& ctx) -> ErrorOut {
            ErrorOut error;
            auto parsed = self->describedProperties(response, result, ctx, error);
            if (!parsed) return error;
            if (useTransactionalMD5 && validateMD5 && !parsed->contentMD5)
                return BLSMakeError(BLSErrorCode::MD5Mismatch);
            *heldMD5 = parsed->contentMD5;
            if (range.length != 0) {
                // A range's MD5 never stands for the whole blob's.
                parsed->contentMD5 = self->properties().contentMD5;
                if (!parsed->length) parsed->length = self->properties().length;
            }
            self->keepDescription(response, std::move(*parsed));
            return std::nullopt;
        });
    op.command->setDestinationStream(std::move(stream));
    op.command->setPostProcessResponse([heldMD5, validateMD5](const HTTPURLResponse&, BLSRequestResult& result,
                                                              platform::OutputStream*, BLSOperationContext&,
                                                              ErrorOut& error) -> BLSNoResult {
        if (*heldMD5 && validateMD5 && result.calculatedResponseMD5() != *heldMD5) {
            error = BLSMakeError(BLSErrorCode::MD5Mismatch);
        }
        return {};
    });

    execute(op, BLSOperationUtil::errorOnly(std::move(completionHandler)));
}

void BLSCloudBlob::downloadToDataWithCompletionHandler(DataCompletion completionHandler) {
    downloadToDataWithAccessCondition(nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlob::downloadToDataWithAccessCondition(const BLSAccessCondition* accessCondition,
                                                     OptionsPtr requestOptions, ContextPtr operationContext,
                                                     DataCompletion completionHandler) {
    auto stream = platform::OutputStream::toMemory();
    downloadInternal(stream, BLSULLRange{0, 0}, BLSAccessCondition::copyCondition(accessCondition),
                     std::move(requestOptions), std::move(operationContext),
                     [stream, completionHandler = std::move(completionHandler)](const ErrorOut& error) {
                         if (!completionHandler) return;
                         // Whatever reached memory before a failure is not the blob.
                         if (error) return completionHandler(error, std::nullopt);
                         // The bytes move out: a large blob is not copied.
                         completionHandler(std::nullopt, std::optional(stream->takeDataWrittenToMemory()));
                     });
}

void BLSCloudBlob::downloadToTextWithCompletionHandler(TextCompletion completionHandler) {
    downloadToTextWithAccessCondition(nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlob::downloadToTextWithAccessCondition(const BLSAccessCondition* accessCondition,
                                                     OptionsPtr requestOptions, ContextPtr operationContext,
                                                     TextCompletion completionHandler) {
    downloadToDataWithAccessCondition(
        accessCondition, std::move(requestOptions), std::move(operationContext),
        [completionHandler = std::move(completionHandler)](const ErrorOut& error,
                                                           const std::optional<std::vector<std::uint8_t>>& data) {
            if (!completionHandler) return;
            if (error || !data) return completionHandler(error, std::nullopt);
            if (!isValidUtf8(*data)) {
                return completionHandler(
                    BLSMakeError(BLSErrorCode::ParseError, {{platform::Error::LocalizedDescriptionKey,
                                                             std::string("The blob's data is not UTF-8 text.")}}),
                    std::nullopt);
            }
            completionHandler(std::nullopt, std::string(data->begin(), data->end()));
        });
}

void BLSCloudBlob::downloadToFileWithPath(const std::filesystem::path& filePath, bool append,
                                          Completion completionHandler) {
    downloadToFileWithPath(filePath, append, nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlob::downloadToFileWithPath(const std::filesystem::path& filePath, bool append,
                                          const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                          ContextPtr operationContext, Completion completionHandler) {
    downloadInternal(platform::OutputStream::toFile(filePath, append), BLSULLRange{0, 0},
                     BLSAccessCondition::copyCondition(accessCondition), std::move(requestOptions),
                     std::move(operationContext), std::move(completionHandler));
}

void BLSCloudBlob::downloadToFileWithURL(const std::filesystem::path& fileURL, bool append,
                                         Completion completionHandler) {
    downloadToFileWithPath(fileURL, append, nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlob::downloadToFileWithURL(const std::filesystem::path& fileURL, bool append,
                                         const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                         ContextPtr operationContext, Completion completionHandler) {
    downloadToFileWithPath(fileURL, append, accessCondition, std::move(requestOptions), std::move(operationContext),
                           std::move(completionHandler));
}

// Delete, properties, metadata ----------------------------------------------------

void BLSCloudBlob::deleteWithCompletionHandler(Completion completionHandler) {
    deleteWithSnapshotsOption(BLSDeleteSnapshotsOptionNone, nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlob::deleteWithSnapshotsOption(BLSDeleteSnapshotsOption snapshotsOption,
                                             const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                             ContextPtr operationContext, Completion completionHandler) {
    auto op = prepare(requestOptions, std::move(operationContext));
    op.command->setBuildRequest(
        [snapshotsOption, snapshot = mSnapshotTime, condition = BLSAccessCondition::copyCondition(accessCondition)](
            platform::net::URLComponents& components, double timeout, BLSOperationContext& ctx) {
            return BLSBlobRequestFactory::deleteBlobWithSnapshotsOption(
                snapshotsOption, snapshot, BLSAccessCondition::conditionPtr(condition), components, timeout, ctx);
        });
    execute(op, BLSOperationUtil::errorOnly(std::move(completionHandler)));
}

namespace {
// Status check, then (on success) the blob ETag update without length.
BLSStorageCommandBase::PreProcessResponse statusThenEtag(std::shared_ptr<BLSCloudBlob> blob) {
    return [blob = std::move(blob)](const HTTPURLResponse& response, BLSRequestResult& result,
                                    BLSOperationContext& ctx) -> ErrorOut {
        if (auto error = BLSResponseParser::preprocessResponseWithResponse(response, result, ctx)) return error;
        BLSCloudBlob::updateEtagAndLastModifiedWithResponse(response, blob->properties(), false);
        return std::nullopt;
    };
}
}  // namespace

void BLSCloudBlob::uploadPropertiesWithCompletionHandler(Completion completionHandler) {
    uploadPropertiesWithAccessCondition(nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlob::uploadPropertiesWithAccessCondition(const BLSAccessCondition* accessCondition,
                                                       OptionsPtr requestOptions, ContextPtr operationContext,
                                                       Completion completionHandler) {
    auto op = prepare(requestOptions, std::move(operationContext));
    op.command->setBuildRequest(
        [properties = *mProperties, metadata = mMetadata,
         condition = BLSAccessCondition::copyCondition(accessCondition)](platform::net::URLComponents& components,
                                                                         double timeout, BLSOperationContext& ctx) {
            return BLSBlobRequestFactory::uploadBlobPropertiesWithBlobProperties(
                &properties, &metadata, BLSAccessCondition::conditionPtr(condition), components, timeout, ctx);
        });
    op.command->setPreProcessResponse(statusThenEtag(shared_from_this()));
    execute(op, BLSOperationUtil::errorOnly(std::move(completionHandler)));
}

void BLSCloudBlob::uploadMetadataWithCompletionHandler(Completion completionHandler) {
    uploadMetadataWithAccessCondition(nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlob::uploadMetadataWithAccessCondition(const BLSAccessCondition* accessCondition,
                                                     OptionsPtr requestOptions, ContextPtr operationContext,
                                                     Completion completionHandler) {
    auto op = prepare(requestOptions, std::move(operationContext));
    op.command->setBuildRequest(
        [metadata = mMetadata, condition = BLSAccessCondition::copyCondition(accessCondition)](
            platform::net::URLComponents& components, double timeout, BLSOperationContext& ctx) {
            return BLSBlobRequestFactory::uploadBlobMetadataWithCloudMetadata(
                &metadata, BLSAccessCondition::conditionPtr(condition), components, timeout, ctx);
        });
    op.command->setPreProcessResponse(statusThenEtag(shared_from_this()));
    execute(op, BLSOperationUtil::errorOnly(std::move(completionHandler)));
}

// Attributes and exists --------------------------------------------------------------

void BLSCloudBlob::downloadAttributesWithCompletionHandler(Completion completionHandler) {
    downloadAttributesWithPrimaryOnly(false, nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlob::downloadAttributesWithAccessCondition(const BLSAccessCondition* accessCondition,
                                                         OptionsPtr requestOptions, ContextPtr operationContext,
                                                         Completion completionHandler) {
    downloadAttributesWithPrimaryOnly(false, accessCondition, std::move(requestOptions), std::move(operationContext),
                                      std::move(completionHandler));
}

void BLSCloudBlob::downloadAttributesWithPrimaryOnly(bool primaryOnly, const BLSAccessCondition* accessCondition,
                                                     OptionsPtr requestOptions, ContextPtr operationContext,
                                                     Completion completionHandler) {
    auto op = prepare(requestOptions, std::move(operationContext));
    op.command->setAllowedStorageLocation(primaryOnly ? BLSAllowedStorageLocationPrimaryOnly
                                                      : BLSAllowedStorageLocationPrimaryOrSecondary);
    op.command->setBuildRequest(
        [snapshot = mSnapshotTime, condition = BLSAccessCondition::copyCondition(accessCondition)](
            platform::net::URLComponents& components, double timeout, BLSOperationContext& ctx) {
            return BLSBlobRequestFactory::downloadBlobAttributesWithAccessCondition(
                BLSAccessCondition::conditionPtr(condition), snapshot, components, timeout, ctx);
        });
    op.command->setPreProcessResponse([self = shared_from_this()](const HTTPURLResponse& response,
                                                                  BLSRequestResult& result,
                                                                  BLSOperationContext& ctx) -> ErrorOut {
        ErrorOut error;
        auto parsed = self->describedProperties(response, result, ctx, error);
        if (!parsed) return error;
        self->keepDescription(response, std::move(*parsed));
        return std::nullopt;
    });
    execute(op, BLSOperationUtil::errorOnly(std::move(completionHandler)));
}

void BLSCloudBlob::existsWithCompletionHandler(ExistsCompletion completionHandler) {
    existsInternalWithPrimaryOnly(false, nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlob::existsWithAccessCondition(const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                             ContextPtr operationContext, ExistsCompletion completionHandler) {
    existsInternalWithPrimaryOnly(false, accessCondition, std::move(requestOptions), std::move(operationContext),
                                  std::move(completionHandler));
}

void BLSCloudBlob::existsInternalWithPrimaryOnly(bool primaryOnly, const BLSAccessCondition* accessCondition,
                                                 OptionsPtr requestOptions, ContextPtr operationContext,
                                                 ExistsCompletion completionHandler) {
    downloadAttributesWithPrimaryOnly(primaryOnly, accessCondition, std::move(requestOptions),
                                      std::move(operationContext),
                                      BLSOperationUtil::existsFromAttributes(std::move(completionHandler)));
}

// Snapshot -------------------------------------------------------------------------

void BLSCloudBlob::snapshotBlobWithMetadata(const BLSMetadata* metadata, SnapshotCompletion completionHandler) {
    snapshotBlobWithMetadata(metadata, nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlob::snapshotBlobWithMetadata(const BLSMetadata* metadata, const BLSAccessCondition* accessCondition,
                                            OptionsPtr requestOptions, ContextPtr operationContext,
                                            SnapshotCompletion completionHandler) {
    auto op = prepare<std::shared_ptr<BLSCloudBlob>>(requestOptions, std::move(operationContext));
    std::optional<BLSMetadata> givenMetadata = metadata ? std::optional<BLSMetadata>(*metadata) : std::nullopt;
    op.command->setBuildRequest(
        [givenMetadata, condition = BLSAccessCondition::copyCondition(accessCondition)](
            platform::net::URLComponents& components, double timeout, BLSOperationContext& ctx) {
            return BLSBlobRequestFactory::snapshotBlobWithMetadata(givenMetadata ? &*givenMetadata : nullptr,
                                                                   BLSAccessCondition::conditionPtr(condition),
                                                                   components, timeout, ctx);
        });
    op.command->setPostProcessResponse([self = shared_from_this(), givenMetadata](
                                           const HTTPURLResponse& response, BLSRequestResult&, platform::OutputStream*,
                                           BLSOperationContext&, ErrorOut& error) -> std::shared_ptr<BLSCloudBlob> {
        const std::string* stamp = response.valueForHTTPHeaderField("x-bs-snapshot");
        if (!stamp || stamp->empty()) {
            // Without its time the object would address the base blob.
            error =
                BLSMakeError(BLSErrorCode::ParseError, {{platform::Error::LocalizedDescriptionKey,
                                                         std::string("The service's answer holds no snapshot time.")}});
            return {};
        }
        std::shared_ptr<BLSCloudBlob> snapshot(new BLSCloudBlob());
        if (self->mBlobContainer) {
            snapshot->initWithContainer(self->mBlobContainer, self->mBlobName, *stamp);
        } else {
            snapshot->mBlobName = self->mBlobName;
            snapshot->mStorageUri = self->mStorageUri;
            snapshot->mClient = self->mClient;
            snapshot->mSnapshotTime = *stamp;
        }
        snapshot->mMetadata = givenMetadata ? *givenMetadata : self->mMetadata;
        snapshot->mProperties = self->mProperties;
        updateEtagAndLastModifiedWithResponse(response, *snapshot->mProperties, false);
        return snapshot;
    });
    execute(op,
            [completionHandler = std::move(completionHandler)](ErrorOut error, std::shared_ptr<BLSCloudBlob> snapshot) {
                if (!completionHandler) return;
                completionHandler(error, error ? nullptr : std::move(snapshot));
            });
}

// Leases ---------------------------------------------------------------------------

BLSLeaseTarget BLSCloudBlob::leaseTarget() {
    return BLSLeaseTarget{BLSLeaseTarget::Kind::Blob, mClient, mStorageUri,
                          [self = shared_from_this()](const HTTPURLResponse& response) {
                              updateEtagAndLastModifiedWithResponse(response, self->properties(), false);
                          }};
}

void BLSCloudBlob::acquireLeaseWithLeaseTime(std::optional<std::int64_t> leaseTime,
                                             std::optional<std::string> proposedLeaseId,
                                             StringCompletion completionHandler) {
    acquireLeaseWithLeaseTime(leaseTime, std::move(proposedLeaseId), nullptr, nullptr, nullptr,
                              std::move(completionHandler));
}

void BLSCloudBlob::acquireLeaseWithLeaseTime(std::optional<std::int64_t> leaseTime,
                                             std::optional<std::string> proposedLeaseId,
                                             const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                             ContextPtr operationContext, StringCompletion completionHandler) {
    BLSLeaseOperation::run(leaseTarget(),
                           BLSLeaseRequest::acquire(leaseTime, std::move(proposedLeaseId), accessCondition),
                           std::move(requestOptions), std::move(operationContext),
                           BLSLeaseOperation::leaseIdResult(std::move(completionHandler)));
}

void BLSCloudBlob::renewLeaseWithAccessCondition(const BLSAccessCondition* accessCondition,
                                                 Completion completionHandler) {
    renewLeaseWithAccessCondition(accessCondition, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlob::renewLeaseWithAccessCondition(const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                                 ContextPtr operationContext, Completion completionHandler) {
    BLSLeaseOperation::run(leaseTarget(), BLSLeaseRequest::renew(accessCondition), std::move(requestOptions),
                           std::move(operationContext), BLSLeaseOperation::errorOnly(std::move(completionHandler)));
}

void BLSCloudBlob::releaseLeaseWithAccessCondition(const BLSAccessCondition* accessCondition,
                                                   Completion completionHandler) {
    releaseLeaseWithAccessCondition(accessCondition, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlob::releaseLeaseWithAccessCondition(const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                                   ContextPtr operationContext, Completion completionHandler) {
    BLSLeaseOperation::run(leaseTarget(), BLSLeaseRequest::release(accessCondition), std::move(requestOptions),
                           std::move(operationContext), BLSLeaseOperation::errorOnly(std::move(completionHandler)));
}

void BLSCloudBlob::breakLeaseWithBreakPeriod(std::optional<std::int64_t> breakPeriod,
                                             NumberCompletion completionHandler) {
    breakLeaseWithBreakPeriod(breakPeriod, nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlob::breakLeaseWithBreakPeriod(std::optional<std::int64_t> breakPeriod,
                                             const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                             ContextPtr operationContext, NumberCompletion completionHandler) {
    BLSLeaseOperation::run(leaseTarget(), BLSLeaseRequest::breakLease(breakPeriod, accessCondition),
                           std::move(requestOptions), std::move(operationContext),
                           BLSLeaseOperation::leaseTimeResult(std::move(completionHandler)));
}

void BLSCloudBlob::changeLeaseWithProposedLeaseId(std::optional<std::string> proposedLeaseId,
                                                  const BLSAccessCondition* accessCondition,
                                                  StringCompletion completionHandler) {
    changeLeaseWithProposedLeaseId(std::move(proposedLeaseId), accessCondition, nullptr, nullptr,
                                   std::move(completionHandler));
}

void BLSCloudBlob::changeLeaseWithProposedLeaseId(std::optional<std::string> proposedLeaseId,
                                                  const BLSAccessCondition* accessCondition, OptionsPtr requestOptions,
                                                  ContextPtr operationContext, StringCompletion completionHandler) {
    BLSLeaseOperation::run(leaseTarget(), BLSLeaseRequest::change(std::move(proposedLeaseId), accessCondition),
                           std::move(requestOptions), std::move(operationContext),
                           BLSLeaseOperation::leaseIdResult(std::move(completionHandler)));
}

// Copy -----------------------------------------------------------------------------

void BLSCloudBlob::startAsyncCopyFromURL(const platform::net::URL& sourceURL, StringCompletion completionHandler) {
    startAsyncCopyFromURL(sourceURL, nullptr, nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlob::startAsyncCopyFromURL(const platform::net::URL& sourceURL,
                                         const BLSAccessCondition* sourceAccessCondition,
                                         const BLSAccessCondition* destinationAccessCondition,
                                         OptionsPtr requestOptions, ContextPtr operationContext,
                                         StringCompletion completionHandler) {
    auto op = prepare<std::optional<std::string>>(requestOptions, std::move(operationContext));
    op.command->setBuildRequest(
        [sourceURL, metadata = mMetadata, source = BLSAccessCondition::copyCondition(sourceAccessCondition),
         destination = BLSAccessCondition::copyCondition(destinationAccessCondition)](
            platform::net::URLComponents& components, double timeout, BLSOperationContext& ctx) {
            return BLSBlobRequestFactory::copyBlobWithSourceURL(
                sourceURL, BLSAccessCondition::conditionPtr(source), &metadata,
                BLSAccessCondition::conditionPtr(destination), components, timeout, ctx);
        });
    op.command->setPreProcessResponse([self = shared_from_this()](const HTTPURLResponse& response,
                                                                  BLSRequestResult& result,
                                                                  BLSOperationContext& ctx) -> ErrorOut {
        if (auto error = BLSResponseParser::preprocessResponseWithResponse(response, result, ctx)) return error;
        ErrorOut error;
        if (!BLSBlobResponseParser::getBlobPropertiesWithResponse(response, ctx, error)) return error;
        self->mBlobCopyState = BLSBlobResponseParser::getCopyStateWithResponse(response);
        return std::nullopt;
    });
    op.command->setPostProcessResponse([self = shared_from_this()](const HTTPURLResponse&, BLSRequestResult&,
                                                                   platform::OutputStream*, BLSOperationContext&,
                                                                   ErrorOut&) -> std::optional<std::string> {
        return self->mBlobCopyState.operationId;
    });
    execute(op, [completionHandler = std::move(completionHandler)](ErrorOut error, std::optional<std::string> copyId) {
        if (completionHandler) completionHandler(error, error ? std::nullopt : std::move(copyId));
    });
}

void BLSCloudBlob::startAsyncCopyFromBlob(const std::shared_ptr<BLSCloudBlob>& sourceBlob,
                                          StringCompletion completionHandler) {
    startAsyncCopyFromBlob(sourceBlob, nullptr, nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlob::startAsyncCopyFromBlob(const std::shared_ptr<BLSCloudBlob>& sourceBlob,
                                          const BLSAccessCondition* sourceAccessCondition,
                                          const BLSAccessCondition* destinationAccessCondition,
                                          OptionsPtr requestOptions, ContextPtr operationContext,
                                          StringCompletion completionHandler) {
    auto refuse = [&](const char* reason) {
        if (completionHandler) completionHandler(BLSMakeInvalidArgumentError(reason), std::nullopt);
    };
    if (!sourceBlob || !sourceBlob->storageUri().primaryUri()) return refuse("The copy source has no address.");

    platform::net::URLComponents components(*sourceBlob->storageUri().primaryUri());
    if (sourceBlob->snapshotTime()) {
        components.setPercentEncodedQuery(BLSRequestFactory::appendToQuery(
            components.percentEncodedQuery(),
            "snapshot=" + BLSUtil::URLEncodedStringWithString(*sourceBlob->snapshotTime())));
    }
    std::optional<platform::net::URL> source = components.url();
    if (source && mClient && mClient->credentials()) source = mClient->credentials()->transformWithUri(source);
    if (!source) return refuse("The copy source has no address.");
    startAsyncCopyFromURL(*source, sourceAccessCondition, destinationAccessCondition, std::move(requestOptions),
                          std::move(operationContext), std::move(completionHandler));
}

void BLSCloudBlob::abortAsyncCopyWithCopyId(const std::string& copyId, Completion completionHandler) {
    abortAsyncCopyWithCopyId(copyId, nullptr, nullptr, nullptr, std::move(completionHandler));
}

void BLSCloudBlob::abortAsyncCopyWithCopyId(const std::string& copyId, const BLSAccessCondition* accessCondition,
                                            OptionsPtr requestOptions, ContextPtr operationContext,
                                            Completion completionHandler) {
    auto op = prepare(requestOptions, std::move(operationContext));
    op.command->setBuildRequest(
        [copyId, condition = BLSAccessCondition::copyCondition(accessCondition)](
            platform::net::URLComponents& components, double timeout, BLSOperationContext& ctx) {
            return BLSBlobRequestFactory::abortCopyBlobWithCopyId(copyId, BLSAccessCondition::conditionPtr(condition),
                                                                  components, timeout, ctx);
        });
    op.command->setPreProcessResponse(statusThenEtag(shared_from_this()));
    execute(op, BLSOperationUtil::errorOnly(std::move(completionHandler)));
}

// Shared access signatures ------------------------------------------------------------

std::string BLSCloudBlob::createSharedAccessCanonicalName() const {
    std::string account;
    if (mClient && mClient->credentials() && mClient->credentials()->accountName()) {
        account = *mClient->credentials()->accountName();
    }
    return "/blob/" + account + "/" + containerName() + "/" + mBlobName;
}

std::optional<std::string> BLSCloudBlob::createSharedAccessSignatureWithParameters(
    const BLSSharedAccessBlobParameters& parameters, ErrorOut& error) const {
    return BLSSharedAccessSignatureHelper::sharedAccessSignatureForResourceWithParameters(
        parameters, "b", createSharedAccessCanonicalName(), mClient.get(), error);
}
