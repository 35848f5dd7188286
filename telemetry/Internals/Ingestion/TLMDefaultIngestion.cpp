#include "telemetry/Internals/Ingestion/TLMDefaultIngestion.h"


namespace {

platform::net::HTTPHeaders fixedHeaders(const std::string& installId) {
    platform::net::HTTPHeaders headers;
    headers.set("Content-Type", "application/json");
    headers.set(TLMDefaultIngestion::kInstallIdHeader, installId);
    return headers;
}

}  // namespace

TLMDefaultIngestion::TLMDefaultIngestion(std::shared_ptr<TLMHttpClient> httpClient, std::string baseUrl,
                                         const std::string& installId)
    : TLMHttpIngestion(std::move(httpClient), std::move(baseUrl), kApiPath, fixedHeaders(installId),
                       {{"api-version", kApiVersion}}, defaultRetryIntervals(), 2) {}

std::optional<std::string> TLMDefaultIngestion::appSecret() const {
    std::lock_guard lock(mSecretMutex);
    return mAppSecret;
}

void TLMDefaultIngestion::setAppSecret(std::optional<std::string> appSecret) {
    std::lock_guard lock(mSecretMutex);
    mAppSecret = std::move(appSecret);
}

void TLMDefaultIngestion::sendAsync(std::shared_ptr<const TLMLogContainer> data,
                                    TLMSendAsyncCompletionHandler handler) {
    sendAsync(std::move(data), std::nullopt, std::move(handler));
}

void TLMDefaultIngestion::sendAsync(std::shared_ptr<const TLMLogContainer> data, const std::optional<std::string>& eTag,
                                    TLMSendAsyncCompletionHandler handler) {
    sendValidContainer(std::move(data), eTag, std::move(handler));
}

bool TLMDefaultIngestion::isReadyToSend() const { return appSecret().has_value(); }

platform::net::HTTPHeaders TLMDefaultIngestion::getHeadersWithData(const TLMLogContainer& data,
                                                                   const std::optional<std::string>& eTag) {
    platform::net::HTTPHeaders headers = TLMHttpIngestion::getHeadersWithData(data, eTag);
    if (const std::optional<std::string> secret = appSecret()) headers.set(kAppSecretHeader, *secret);
    return headers;
}

std::optional<std::vector<std::uint8_t>> TLMDefaultIngestion::getPayloadWithData(const TLMLogContainer& data) {
    const std::optional<std::string> body = data.serializeLog();
    if (!body) return std::nullopt;
    return std::vector<std::uint8_t>(body->begin(), body->end());
}
