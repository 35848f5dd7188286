#pragma once
// What a channel unit asks of the ingestion that sends its batches.

#include "platform/foundation/Error.h"
#include "platform/net/URLRequest.h"
#include "telemetry/Internals/Model/TLMLogContainer.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Something that can be switched off, throwing away what it holds.
class TLMEnable {
public:
    virtual ~TLMEnable() = default;
    virtual void setEnabled(bool isEnabled, bool deleteDataOnDisabled) = 0;
};

// The outcome of sending one batch: the call's identifier (for the
// ingestions of log containers, the batch identifier), the answer's head
// and body when there was an answer, and the error that ended the call (a
// transfer error, or one of the client's own, TLMErrors.h). An answer with
// a failure status comes with no error.
using TLMSendAsyncCompletionHandler = std::function<void(
    const std::string& callId, const std::optional<platform::net::HTTPURLResponse>& response,
    const std::optional<std::vector<std::uint8_t>>& data, const std::optional<platform::Error>& error)>;

class TLMIngestionProtocol : public TLMEnable {
public:
    // Sends the container; the handler runs once, on the HTTP client's queue.
    virtual void sendAsync(std::shared_ptr<const TLMLogContainer> data, TLMSendAsyncCompletionHandler handler) = 0;
    virtual void sendAsync(std::shared_ptr<const TLMLogContainer> data, const std::optional<std::string>& eTag,
                           TLMSendAsyncCompletionHandler handler) = 0;
    // Whether a batch may be handed over now.
    virtual bool isReadyToSend() const = 0;
    virtual bool isEnabled() const = 0;
};
