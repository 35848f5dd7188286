#include "storage/BLSOperationUtil.h"

#include "platform/foundation/Stream.h"
#include "storage/BLSErrors.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSResponseParser.h"

#include <utility>

std::shared_ptr<BLSOperationContext> BLSOperationUtil::contextOrNew(
    std::shared_ptr<BLSOperationContext> operationContext) {
    return operationContext ? std::move(operationContext) : std::make_shared<BLSOperationContext>();
}

void BLSOperationUtil::checkStatus(BLSStorageCommandBase& command) {
    command.setPreProcessResponse(&BLSResponseParser::preprocessResponseWithResponse);
}

BLSOperationUtil::Completion BLSOperationUtil::existsFromAttributes(FlagCompletion completion) {
    return [completion = std::move(completion)](const ErrorOut& error) {
        if (!completion) return;
        if (!error) return completion(std::nullopt, true);
        if (BLSIsError(*error, BLSErrorCode::ServerError)) {
            const long* status = error->userInfoValue<long>(BLSErrorKey::HTTPStatusCode);
            if (status != nullptr && *status == 404) return completion(std::nullopt, false);
        }
        completion(error, false);
    };
}

BLSOperationUtil::FlagCompletion BLSOperationUtil::actOnExists(bool actWhenExists,
                                                               std::function<void(Completion done)> act,
                                                               FlagCompletion completion) {
    return [actWhenExists, act = std::move(act), completion = std::move(completion)](const ErrorOut& error,
                                                                                     bool exists) mutable {
        if (error || exists != actWhenExists) {
            if (completion) completion(error, false);
            return;
        }
        act([completion = std::move(completion)](const ErrorOut& actError) {
            if (completion) completion(actError, !actError.has_value());
        });
    };
}

std::span<const std::uint8_t> BLSOperationUtil::memoryData(platform::OutputStream* stream) {
    const std::vector<std::uint8_t>* data = stream != nullptr ? stream->dataWrittenToMemory() : nullptr;
    if (data == nullptr) return {};
    return std::span<const std::uint8_t>(data->data(), data->size());
}
