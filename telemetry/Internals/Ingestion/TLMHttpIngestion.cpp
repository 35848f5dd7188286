#include "telemetry/Internals/Ingestion/TLMHttpIngestion.h"

#include "telemetry/TLMErrors.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/TLMTelemetry.h"
#include "telemetry/core/Util/TLMKeyedArchiver.h"
#include "telemetry/core/Util/TLMUtility.h"
#include "telemetry/core/Util/TLMUuid.h"

#include <typeinfo>

using platform::net::HTTPHeaders;
using platform::net::HTTPURLResponse;

namespace {


bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

TLMHttpIngestion::TLMHttpIngestion(std::shared_ptr<TLMHttpClient> httpClient, std::string baseUrl, std::string apiPath,
                                   HTTPHeaders headers, std::map<std::string, std::string> queryStrings,
                                   std::vector<double> retryIntervals, long maxNumberOfConnections)
    : mHttpClient(std::move(httpClient)),
      mApiPath(std::move(apiPath)),
      mHttpHeaders(std::move(headers)),
      mQueryStrings(std::move(queryStrings)),
      mCallsRetryIntervals(std::move(retryIntervals)),
      mMaxNumberOfConnections(maxNumberOfConnections),
      mBaseURL(std::move(baseUrl)) {
    rebuildSendURL();
}

void TLMHttpIngestion::sendAsync(std::shared_ptr<const TLMLogContainer> data, TLMSendAsyncCompletionHandler handler) {
    sendAsync(std::move(data), std::nullopt, std::move(handler));
}

void TLMHttpIngestion::sendAsync(std::shared_ptr<const TLMLogContainer> data, const std::optional<std::string>& eTag,
                                 TLMSendAsyncCompletionHandler handler) {
    sendAsync(std::move(data), eTag, TLMNewUuidString(), std::move(handler));
}

void TLMHttpIngestion::sendAsync(std::shared_ptr<const TLMLogContainer> data, const std::optional<std::string>& eTag,
                                 const std::string& callId, TLMSendAsyncCompletionHandler handler) {
    std::unique_lock lock(mLock);
    const auto fail = [&](TLMErrorCode code, const std::string& description) {
        lock.unlock();
        if (handler) handler(callId, std::nullopt, std::nullopt, TLMMakeError(code, description));
    };
    if (!mEnabled) {
        const std::string className = TLMClassName(typeid(*this));
        TLMLogWarning(kTLMLogTag, "%s is disabled.", className.c_str());
        return fail(TLMErrorServiceDisabled, "The service is disabled.");
    }
    if (!TLMTelemetry::sharedInstance().isNetworkRequestsAllowed()) {
        TLMLogDebug(kTLMLogTag, "Network requests are not allowed; the batch %s is not sent.", callId.c_str());
        return fail(TLMErrorNetworkRequestsNotAllowed, "Network requests are not allowed.");
    }
    if (!data) return fail(TLMErrorInvalidLogContainer, "Invalid log container.");
    if (!mSendURL) return fail(TLMErrorInvalidRequest, "The ingestion has no valid address: " + mBaseURL + mApiPath);
    HTTPHeaders headers;
    try {
        headers = getHeadersWithData(*data, eTag);
    } catch (const platform::net::InvalidHeaderError& error) {
        // A text of our own: the message is made later, on the logger's queue.
        const std::string reason = error.what();
        TLMLogError(kTLMLogTag, "The request headers cannot be sent: %s", reason.c_str());
        return fail(TLMErrorInvalidRequest, "The request headers cannot be sent.");
    }
    std::optional<std::vector<std::uint8_t>> payload = getPayloadWithData(*data);
    if (!payload) return fail(TLMErrorSerializationFailed, "The batch cannot be written as the request body.");

    const std::weak_ptr<TLMHttpIngestion> weakSelf = weak_from_this();
    mHttpClient->sendAsync(
        *mSendURL, "POST", std::move(headers), payload, mCallsRetryIntervals, true,
        std::weak_ptr<TLMHttpClientDelegate>(weakSelf),
        [weakSelf, callId, handler = std::move(handler)](const std::optional<std::vector<std::uint8_t>>& body,
                                                         const std::optional<HTTPURLResponse>& response,
                                                         const std::optional<platform::Error>& error) {
            if (const auto self = weakSelf.lock()) self->printResponse(response, body, error);
            if (handler) handler(callId, response, body, error);
        });
}

void TLMHttpIngestion::sendValidContainer(std::shared_ptr<const TLMLogContainer> data,
                                          const std::optional<std::string>& eTag,
                                          TLMSendAsyncCompletionHandler handler) {
    const std::string batchId = data ? data->batchId() : std::string();
    if (!data || !data->isValid()) {
        TLMLogError(kTLMLogTag, "%s", "Invalid log container.");
        if (handler) {
            handler(batchId, std::nullopt, std::nullopt,
                    TLMMakeError(TLMErrorInvalidLogContainer, "Invalid log container."));
        }
        return;
    }
    sendAsync(std::move(data), eTag, batchId, std::move(handler));
}

bool TLMHttpIngestion::isEnabled() const {
    std::lock_guard lock(mLock);
    return mEnabled;
}

void TLMHttpIngestion::setEnabled(bool isEnabled, bool) {
    std::lock_guard lock(mLock);
    mEnabled = isEnabled;
}

HTTPHeaders TLMHttpIngestion::getHeadersWithData(const TLMLogContainer&, const std::optional<std::string>&) {
    return mHttpHeaders;
}

std::optional<std::vector<std::uint8_t>> TLMHttpIngestion::getPayloadWithData(const TLMLogContainer&) {
    return std::nullopt;
}

std::optional<std::string> TLMHttpIngestion::obfuscateResponsePayload(const std::string& payload) { return payload; }

void TLMHttpIngestion::printResponse(const std::optional<HTTPURLResponse>& response,
                                     const std::optional<std::vector<std::uint8_t>>& body,
                                     const std::optional<platform::Error>& error) {
    if (error) {
        const long code = error->code();
        const std::string domain = error->domain();
        const std::string description = error->localizedDescription();
        TLMLogDebug(kTLMLogTag, "HTTP request error with code: %ld, domain: %s, description: %s", code, domain.c_str(),
                    description.c_str());
        return;
    }
    if (TLMLogger::currentLogLevel() > TLMLogLevelVerbose) return;
    const int status = response ? response->statusCode : 0;
    const std::string* type = response ? response->valueForHTTPHeaderField("Content-Type") : nullptr;
    std::string payload;
    if (type != nullptr && !type->empty() && !startsWith(*type, "text/") && !startsWith(*type, "application/")) {
        payload = "<binary>";
    } else if (type != nullptr && startsWith(*type, "application/json")) {
        payload = TLMUtility::prettyPrintJson(body).value_or("");
    } else if (body) {
        payload.assign(body->begin(), body->end());
    }
    const std::string shown = obfuscateResponsePayload(payload).value_or("");
    TLMLogVerbose(kTLMLogTag, "HTTP response received with status code: %d, payload:\n%s", status, shown.c_str());
}

std::string TLMHttpIngestion::baseURL() const {
    std::lock_guard lock(mLock);
    return mBaseURL;
}

void TLMHttpIngestion::setBaseURL(std::string baseURL) {
    std::lock_guard lock(mLock);
    mBaseURL = std::move(baseURL);
    rebuildSendURL();
}

std::optional<platform::net::URL> TLMHttpIngestion::sendURL() const {
    std::lock_guard lock(mLock);
    return mSendURL;
}

void TLMHttpIngestion::rebuildSendURL() {
    std::string text = mBaseURL + mApiPath;
    if (!mQueryStrings.empty()) {
        text += '?';
        bool first = true;
        for (const auto& [key, value] : mQueryStrings) {
            if (!first) text += '&';
            first = false;
            text += platform::net::percentEncodeUnreserved(key) + "=" + platform::net::percentEncodeUnreserved(value);
        }
    }
    mSendURL = platform::net::URL::parse(text);
    if (!mSendURL) TLMLogError(kTLMLogTag, "The ingestion's address is not a valid URL: %s", text.c_str());
}
