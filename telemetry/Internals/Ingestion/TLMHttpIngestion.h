#pragma once
// The base of the telemetry client's ingestions: where a batch goes (base
// URL, path and query), the fixed headers, the retry intervals, and the
// HTTP client that sends it. A subclass supplies the headers of a batch, its
// body and the masking of answers in the client's own output.
//
// Threads: sendAsync may be called from any thread; it is serialised on the
// ingestion's lock. The HTTP client calls the handler on its queue.

#include "platform/net/URL.h"
#include "telemetry/Internals/Ingestion/TLMHttpClient.h"
#include "telemetry/Internals/Ingestion/TLMHttpClientDelegate.h"
#include "telemetry/Internals/Ingestion/TLMIngestionProtocol.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class TLMHttpIngestion : public TLMIngestionProtocol,
                         public TLMHttpClientDelegate,
                         public std::enable_shared_from_this<TLMHttpIngestion> {
public:
    // The ingestion is the delegate of its own calls (made with
    // std::make_shared, as it hands itself to the client weakly). The send
    // URL is base URL + path, then "?" and the query's key=value pairs
    // (percent-encoded, in key order) joined by "&" when there are any.
    TLMHttpIngestion(std::shared_ptr<TLMHttpClient> httpClient, std::string baseUrl, std::string apiPath,
                     platform::net::HTTPHeaders headers, std::map<std::string, std::string> queryStrings,
                     std::vector<double> retryIntervals, long maxNumberOfConnections);

    // With no entity tag and a new UUID text as the call identifier.
    void sendAsync(std::shared_ptr<const TLMLogContainer> data, TLMSendAsyncCompletionHandler handler) override;
    void sendAsync(std::shared_ptr<const TLMLogContainer> data, const std::optional<std::string>& eTag,
                   TLMSendAsyncCompletionHandler handler) override;
    // When enabled and network requests are allowed, hands the send URL,
    // "POST", the batch's headers and body, the retry intervals and
    // compression to the HTTP client; the answer is printed and passed on.
    // Disabled: the warning "<class> is disabled." and TLMErrorServiceDisabled;
    // network requests not allowed: TLMErrorNetworkRequestsNotAllowed; no
    // body (JSON can hold none of the logs): TLMErrorSerializationFailed; no send
    // URL or headers that cannot go on the wire: TLMErrorInvalidRequest.
    // Each of these completes at once and sends nothing.
    void sendAsync(std::shared_ptr<const TLMLogContainer> data, const std::optional<std::string>& eTag,
                   const std::string& callId, TLMSendAsyncCompletionHandler handler);

    bool isReadyToSend() const override { return true; }
    bool isEnabled() const override;
    // Disabling refuses later batches; what the HTTP client holds is the
    // channel group's to cancel.
    void setEnabled(bool isEnabled, bool deleteDataOnDisabled) override;

    // The headers of one batch: the fixed headers unless a subclass adds to
    // them. The entity tag is for subclasses that use one.
    virtual platform::net::HTTPHeaders getHeadersWithData(const TLMLogContainer& data,
                                                          const std::optional<std::string>& eTag);
    // The body of one batch; none here and whenever it cannot be written.
    virtual std::optional<std::vector<std::uint8_t>> getPayloadWithData(const TLMLogContainer& data);
    // An answer's body as the client's output may show it; unchanged here.
    virtual std::optional<std::string> obfuscateResponsePayload(const std::string& payload);

    // With an error, at debug level "HTTP request error with code: <code>,
    // domain: <domain>, description: <text>"; otherwise, at verbose level
    // only, "HTTP response received with status code: <n>, payload:\n<body>"
    // with the body masked (pretty-printed JSON for "application/json...",
    // "<binary>" for a type that is neither "text/..." nor
    // "application/...").
    void printResponse(const std::optional<platform::net::HTTPURLResponse>& response,
                       const std::optional<std::vector<std::uint8_t>>& body,
                       const std::optional<platform::Error>& error);

    std::shared_ptr<TLMHttpClient> httpClient() const { return mHttpClient; }
    std::string baseURL() const;
    // Replaces the base URL and rebuilds the send URL.
    void setBaseURL(std::string baseURL);
    const std::string& apiPath() const { return mApiPath; }
    // None when base URL and path make no URL.
    std::optional<platform::net::URL> sendURL() const;
    const platform::net::HTTPHeaders& httpHeaders() const { return mHttpHeaders; }
    const std::map<std::string, std::string>& queryStrings() const { return mQueryStrings; }
    const std::vector<double>& callsRetryIntervals() const { return mCallsRetryIntervals; }
    long maxNumberOfConnections() const { return mMaxNumberOfConnections; }

protected:
    // What the ingestions of log containers do: a present and valid
    // container goes out with its batch identifier as the call identifier;
    // any other fails at once with TLMErrorInvalidLogContainer ("Invalid
    // log container.", logged as an error) and sends nothing.
    void sendValidContainer(std::shared_ptr<const TLMLogContainer> data, const std::optional<std::string>& eTag,
                            TLMSendAsyncCompletionHandler handler);

private:
    void rebuildSendURL();  // under mLock

    const std::shared_ptr<TLMHttpClient> mHttpClient;
    const std::string mApiPath;
    const platform::net::HTTPHeaders mHttpHeaders;
    const std::map<std::string, std::string> mQueryStrings;
    const std::vector<double> mCallsRetryIntervals;
    const long mMaxNumberOfConnections;

    mutable std::recursive_mutex mLock;
    bool mEnabled = true;
    std::string mBaseURL;
    std::optional<platform::net::URL> mSendURL;
};
