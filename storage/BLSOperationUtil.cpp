#include "storage/BLSOperationUtil.h"

#include "platform/foundation/Stream.h"
#include "storage/BLSCloudClient.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSRequestOptions.h"
#include "storage/BLSStorageCredentials.h"

#include <utility>

std::shared_ptr<BLSOperationContext> BLSOperationUtil::contextOrNew(
    std::shared_ptr<BLSOperationContext> operationContext) {
    return operationContext ? std::move(operationContext) : std::make_shared<BLSOperationContext>();
}

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

std::span<const std::uint8_t> BLSOperationUtil::memoryData(platform::OutputStream* stream) {
    const std::vector<std::uint8_t>* data = stream != nullptr ? stream->dataWrittenToMemory() : nullptr;
    if (data == nullptr) return {};
    return std::span<const std::uint8_t>(data->data(), data->size());
}
