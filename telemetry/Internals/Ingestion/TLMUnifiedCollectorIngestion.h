#pragma once
// The ingestion of the unified collector: a batch of unified-schema logs
// posted to <base URL>/UnifiedCollector/1.0 as JSON lines (one compact
// object a line, each line ended by a line feed), with the batch's target
// tokens as "apikey", the time of upload and the tickets of its logs in the
// headers. Tokens and tickets are masked in the client's own output.

#include "telemetry/Internals/Ingestion/TLMHttpIngestion.h"

#include <optional>
#include <string>

class TLMUnifiedCollectorIngestion : public TLMHttpIngestion {
public:
    static constexpr const char* kDefaultBaseUrl = "https://collector.telemetry.vekmont.com";
    static constexpr const char* kApiPathPrefix = "/UnifiedCollector";
    static constexpr const char* kApiVersion = "1.0";

    // Fixed headers "Content-Type: application/x-json-stream; charset=utf-8"
    // and "Client-Version: TLC-iOS-ObjectiveC-no-<client version>-no";
    // retries after 10, 300 and 1200 seconds; 2 connections; no query.
    TLMUnifiedCollectorIngestion(std::shared_ptr<TLMHttpClient> httpClient, std::string baseUrl);

    // A present and valid container goes to the base with its batch
    // identifier as the call identifier; any other fails at once with
    // TLMErrorInvalidLogContainer and sends nothing. No application secret
    // is needed.
    void sendAsync(std::shared_ptr<const TLMLogContainer> data, TLMSendAsyncCompletionHandler handler) override;
    void sendAsync(std::shared_ptr<const TLMLogContainer> data, const std::optional<std::string>& eTag,
                   TLMSendAsyncCompletionHandler handler) override;

    // The fixed headers, then "apikey" (every distinct token of the batch's
    // logs, joined by ","), "Upload-Time" (the platform clock's time in
    // whole milliseconds since 1970) and, when the ticket cache holds a
    // ticket for any ticket key of the logs, "Tickets" (a compact JSON
    // object of key to ticket). The entity tag is not used.
    platform::net::HTTPHeaders getHeadersWithData(const TLMLogContainer& data,
                                                  const std::optional<std::string>& eTag) override;
    // Each log's compact JSON followed by "\n", the last one too. A log that
    // JSON cannot hold is left out (TLMLogContainer::serializedLogs); none
    // when no log is left, so the batch is never sent empty.
    std::optional<std::vector<std::uint8_t>> getPayloadWithData(const TLMLogContainer& data) override;
    // Every JSON member "token" with a text value shown as "token" : "***".
    std::optional<std::string> obfuscateResponsePayload(const std::string& payload) override;

    // At verbose level only: "URL: <url>" and "Headers: <name = value, ...>"
    // with the tokens and tickets masked.
    void willSendHTTPRequestToURL(const platform::net::URL& url, const platform::net::HTTPHeaders& headers) override;

    // Each of the ","-separated tokens with all but its last 8 characters
    // replaced by "*".
    static std::string obfuscateTargetTokens(const std::string& tokens);
    // Everything from a ":" to the next double quote replaced by ":***".
    static std::string obfuscateTickets(const std::string& tickets);
};
