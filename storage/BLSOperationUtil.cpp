#include "storage/BLSOperationUtil.h"

#include "platform/foundation/Stream.h"
#include "storage/BLSOperationContext.h"

#include <utility>

std::shared_ptr<BLSOperationContext> BLSOperationUtil::contextOrNew(
    std::shared_ptr<BLSOperationContext> operationContext) {
    return operationContext ? std::move(operationContext) : std::make_shared<BLSOperationContext>();
}

std::span<const std::uint8_t> BLSOperationUtil::memoryData(platform::OutputStream* stream) {
    const std::vector<std::uint8_t>* data = stream != nullptr ? stream->dataWrittenToMemory() : nullptr;
    if (data == nullptr) return {};
    return std::span<const std::uint8_t>(data->data(), data->size());
}
