#include "storage/BLSStorageCommand.h"

#include "platform/foundation/Stream.h"
#include "storage/BLSErrors.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSResponseParser.h"
#include "storage/BLSStorageCredentials.h"
#include "storage/BLSUtil.h"

BLSStorageCommandBase::BLSStorageCommandBase(std::shared_ptr<BLSStorageCredentials> credentials,
                                             std::optional<BLSStorageUri> storageUri,
                                             std::shared_ptr<BLSOperationContext> operationContext)
    : BLSStorageCommandBase(std::move(credentials), std::move(storageUri), false, std::move(operationContext)) {}

BLSStorageCommandBase::BLSStorageCommandBase(std::shared_ptr<BLSStorageCredentials> credentials,
                                             std::optional<BLSStorageUri> storageUri, bool calculateResponseMD5,
                                             std::shared_ptr<BLSOperationContext> operationContext)
    : mCalculateResponseMD5(calculateResponseMD5),
      mStorageUri(std::move(storageUri)),
      mCredentials(std::move(credentials)) {
    mProcessError = [context = std::move(operationContext)](platform::OutputStream* stream,
                                                            platform::Error& errorToPopulate,
                                                            std::optional<platform::Error>& error) {
        // Only the service's failures come with an error body. A verdict of
        // our own on a successful answer (a blob of the wrong type, a missing
        // MD5) keeps its error: what reached memory then is the blob itself.
        if (!BLSIsError(errorToPopulate, BLSErrorCode::ServerError)) {
            return;
        }
        const std::vector<std::uint8_t>* body = stream != nullptr ? stream->dataWrittenToMemory() : nullptr;
        if (body == nullptr || body->empty()) {
            return;
        }
        platform::Error::UserInfo userInfo = errorToPopulate.userInfo();
        userInfo[BLSErrorKey::RawErrorData] = *body;
        errorToPopulate = platform::Error(errorToPopulate.domain(), errorToPopulate.code(), std::move(userInfo));
        BLSOperationContext& logContext = context ? *context : *BLSUtil::operationlessContext();
        BLSResponseParser::processErrorResponseWithData(*body, errorToPopulate, logContext, error);
    };
}

void BLSStorageCommandBase::setAllowedStorageLocation(BLSAllowedStorageLocation requested) {
    std::optional<platform::Error> ignored;
    setAllowedStorageLocation(requested, std::nullopt, ignored);
}

void BLSStorageCommandBase::setAllowedStorageLocation(BLSAllowedStorageLocation requested,
                                                      std::optional<BLSStorageLocation> lockLocation,
                                                      std::optional<platform::Error>& error) {
    if (!lockLocation || *lockLocation == 0) {
        mAllowedStorageLocation = requested;
        return;
    }
    switch (*lockLocation) {
        case BLSStorageLocationPrimary:
            if (requested == BLSAllowedStorageLocationSecondaryOnly) {
                error = BLSMakeInvalidArgumentError(
                    "Cannot set storage location mode to secondary only if the location is already primary only.");
            }
            mAllowedStorageLocation = BLSAllowedStorageLocationPrimaryOnly;
            break;
        case BLSStorageLocationSecondary:
            if (requested == BLSAllowedStorageLocationPrimaryOnly) {
                error = BLSMakeInvalidArgumentError(
                    "Cannot set storage location mode to primary only if the location is already secondary only.");
            }
            mAllowedStorageLocation = BLSAllowedStorageLocationSecondaryOnly;
            break;
        default: break;
    }
}

void BLSStorageCommandBase::setAuthenticationHandler(std::shared_ptr<BLSAuthenticationHandler> handler) {
    if (!handler) {
        mSignRequest = nullptr;
        return;
    }
    mSignRequest = [handler = std::move(handler)](platform::net::URLRequest& request,
                                                  BLSOperationContext& operationContext) {
        return handler->signRequest(request, operationContext);
    };
}
