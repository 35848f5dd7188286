#include "telemetry/Internals/Ingestion/TLMUnifiedCollectorIngestion.h"

#include "platform/foundation/TextParts.h"
#include "telemetry/Internals/Ingestion/TLMDefaultIngestion.h"
#include "telemetry/Internals/Ingestion/TLMHttpUtil.h"
#include "telemetry/Internals/Util/TLMTicketCache.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/core/Model/UnifiedSchema/TLMUnifiedSchemaLog.h"
#include "telemetry/core/Util/TLMUtility.h"

#include <set>

namespace {

const char* const kApiKeyHeader = "apikey";
const char* const kTicketsHeader = "Tickets";

platform::net::HTTPHeaders fixedHeaders() {
    platform::net::HTTPHeaders headers;
    headers.set("Content-Type", "application/x-json-stream; charset=utf-8");
    headers.set("Client-Version", "TLC-iOS-ObjectiveC-no-" + TLMUtility::sdkVersion() + "-no");
    return headers;
}

// Appended rather than added: GCC 12 sees a false overflow in the chained +.
std::string collectorApiPath() {
    std::string path(TLMUnifiedCollectorIngestion::kApiPathPrefix);
    path.append("/").append(TLMUnifiedCollectorIngestion::kApiVersion);
    return path;
}

}  // namespace

TLMUnifiedCollectorIngestion::TLMUnifiedCollectorIngestion(std::shared_ptr<TLMHttpClient> httpClient,
                                                           std::string baseUrl)
    : TLMHttpIngestion(std::move(httpClient), std::move(baseUrl), collectorApiPath(), fixedHeaders(), {},
                       TLMDefaultIngestion::defaultRetryIntervals(), 2) {}

void TLMUnifiedCollectorIngestion::sendAsync(std::shared_ptr<const TLMLogContainer> data,
                                             TLMSendAsyncCompletionHandler handler) {
    sendAsync(std::move(data), std::nullopt, std::move(handler));
}

void TLMUnifiedCollectorIngestion::sendAsync(std::shared_ptr<const TLMLogContainer> data,
                                             const std::optional<std::string>& eTag,
                                             TLMSendAsyncCompletionHandler handler) {
    sendValidContainer(std::move(data), eTag, std::move(handler));
}

platform::net::HTTPHeaders TLMUnifiedCollectorIngestion::getHeadersWithData(const TLMLogContainer& data,
                                                                            const std::optional<std::string>& eTag) {
    platform::net::HTTPHeaders headers = TLMHttpIngestion::getHeadersWithData(data, eTag);
    std::set<std::string> tokens;
    TLMOrderedDictionary tickets;
    for (const auto& log : data.logs()) {
        if (const auto logTokens = log->transmissionTargetTokens()) tokens.insert(logTokens->begin(), logTokens->end());
        const auto* unified = dynamic_cast<const TLMUnifiedSchemaLog*>(log.get());
        const auto& protocol = unified && unified->ext() ? unified->ext()->protocolExt() : nullptr;
        if (!protocol || !protocol->ticketKeys()) continue;
        for (const std::string& key : *protocol->ticketKeys()) {
            if (std::optional<std::string> ticket = TLMTicketCache::sharedInstance().ticketFor(key)) {
                tickets.setObject(std::move(*ticket), key);
            }
        }
    }
    headers.set(kApiKeyHeader, platform::joined({tokens.begin(), tokens.end()}, ","));
    headers.set("Upload-Time", std::to_string(static_cast<long long>(TLMUtility::nowInMilliseconds())));
    if (tickets.count() != 0) {
        std::string error;
        if (const std::optional<std::string> json = tickets.jsonText(false, &error)) {
            headers.set(kTicketsHeader, *json);
        } else {
            TLMLogError(kTLMLogTag, "The tickets of a batch cannot be written as JSON: %s", error.c_str());
        }
    }
    return headers;
}

std::optional<std::vector<std::uint8_t>> TLMUnifiedCollectorIngestion::getPayloadWithData(const TLMLogContainer& data) {
    // A log that JSON cannot hold is dropped alone (the container says so).
    const std::vector<std::string>& lines = data.serializedLogs();
    if (lines.empty() && !data.unwritableLogs().empty()) return std::nullopt;
    std::string body;
    for (const std::string& line : lines) {
        body += line;
        body += '\n';
    }
    return std::vector<std::uint8_t>(body.begin(), body.end());
}

std::optional<std::string> TLMUnifiedCollectorIngestion::obfuscateResponsePayload(const std::string& payload) {
    return TLMUtility::obfuscateString(payload, R"("token"\s*:\s*"[^"]+")", R"("token" : "***")");
}

void TLMUnifiedCollectorIngestion::willSendHTTPRequestToURL(const platform::net::URL& url,
                                                            const platform::net::HTTPHeaders& headers) {
    if (TLMLogger::currentLogLevel() >= TLMLogLevelDebug) return;
    std::vector<std::string> fields;
    for (const auto& [name, value] : headers) {
        const std::string shown = name == kApiKeyHeader    ? obfuscateTargetTokens(value)
                                  : name == kTicketsHeader ? obfuscateTickets(value)
                                                           : value;
        fields.push_back(name + " = " + shown);
    }
    const std::string address = url.absoluteString();
    const std::string joined = platform::joined(fields, ", ");
    TLMLogVerbose(kTLMLogTag, "URL: %s", address.c_str());
    TLMLogVerbose(kTLMLogTag, "Headers: %s", joined.c_str());
}

std::string TLMUnifiedCollectorIngestion::obfuscateTargetTokens(const std::string& tokens) {
    std::vector<std::string> masked = platform::split(tokens, ',');
    for (std::string& token : masked) token = TLMHttpUtil::hideSecret(token);
    return platform::joined(masked, ",");
}

std::string TLMUnifiedCollectorIngestion::obfuscateTickets(const std::string& tickets) {
    return TLMUtility::obfuscateString(tickets, R"(:[^"]+)", ":***").value_or("");
}
