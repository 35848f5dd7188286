#pragma once
// The ingestion of the client's own endpoint: a batch of logs as
// {"logs":[...]} posted to <base URL>/logs?api-version=1.0.0 with the
// application secret and the install identifier in its headers.

#include "telemetry/Internals/Ingestion/TLMHttpIngestion.h"

#include <optional>
#include <string>

class TLMDefaultIngestion : public TLMHttpIngestion {
public:
    static constexpr const char* kDefaultBaseUrl = "https://in.telemetry.vekmont.com";
    static constexpr const char* kApiPath = "/logs";
    static constexpr const char* kApiVersion = "1.0.0";
    static constexpr const char* kAppSecretHeader = "App-Secret";
    static constexpr const char* kInstallIdHeader = "Install-ID";

    // Fixed headers "Content-Type: application/json" and the install
    // identifier; retries after 10, 300 and 1200 seconds; 2 connections.
    TLMDefaultIngestion(std::shared_ptr<TLMHttpClient> httpClient, std::string baseUrl, const std::string& installId);

    std::optional<std::string> appSecret() const;
    void setAppSecret(std::optional<std::string> appSecret);

    // A present and valid container goes to the base with its batch
    // identifier as the call identifier; any other fails at once with
    // TLMErrorInvalidLogContainer ("Invalid log container.", logged as an
    // error) and sends nothing.
    void sendAsync(std::shared_ptr<const TLMLogContainer> data, TLMSendAsyncCompletionHandler handler) override;
    void sendAsync(std::shared_ptr<const TLMLogContainer> data, const std::optional<std::string>& eTag,
                   TLMSendAsyncCompletionHandler handler) override;

    // Ready once it has an application secret.
    bool isReadyToSend() const override;
    // The fixed headers and "App-Secret".
    platform::net::HTTPHeaders getHeadersWithData(const TLMLogContainer& data,
                                                  const std::optional<std::string>& eTag) override;
    // The container's compact JSON, without a log JSON cannot hold; none
    // when no log is left.
    std::optional<std::vector<std::uint8_t>> getPayloadWithData(const TLMLogContainer& data) override;

    // Retry intervals of both ingestions, in seconds.
    static std::vector<double> defaultRetryIntervals() { return {10, 5 * 60, 20 * 60}; }

private:
    mutable std::mutex mSecretMutex;
    std::optional<std::string> mAppSecret;
};
