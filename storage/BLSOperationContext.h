#pragma once
// The caller-visible record of one logical storage operation across its
// attempts, and the process-wide log settings of the storage client.

#include "platform/foundation/LogClient.h"
#include "storage/BLSEnums.h"

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform::net {
struct URLRequest;
struct HTTPURLResponse;
}  // namespace platform::net

class BLSRequestResult;
class BLSRetryPolicy;

class BLSOperationContext : public std::enable_shared_from_this<BLSOperationContext> {
public:
    using Date = std::chrono::system_clock::time_point;
    using LogFunction = std::function<void(BLSLogLevel, const std::string&)>;
    using SendingRequest = std::function<void(platform::net::URLRequest&, BLSOperationContext&)>;
    using ResponseReceived = std::function<void(const platform::net::URLRequest&, const platform::net::HTTPURLResponse&,
                                                BLSOperationContext&)>;

    // A new client request id (upper-case UUID), the exponential retry
    // policy with its defaults, log level 0.
    BLSOperationContext();

    // Hands the message to the global sink and then to this context's sink,
    // each only when its threshold is at least `level`; `makeMessage` runs at
    // most once and not at all when nothing would log. Level 0 logs nothing.
    void logAtLevel(BLSLogLevel level, const std::function<std::string()>& makeMessage);
    void logAtLevel(BLSLogLevel level, const std::string& message);

    // Per-operation log client (not owned) and the mutex that serialises
    // writes to it; both set together.
    void setLogger(platform::LogClient* logger, std::mutex* loggerCondition);
    platform::LogClient* logger() const { return mLogger; }
    std::mutex* loggerCondition() const { return mLoggerCondition; }

    void addRequestResult(std::shared_ptr<BLSRequestResult> result);
    std::vector<std::shared_ptr<BLSRequestResult>> requestResults() const;

    const std::string& clientRequestId() const { return mClientRequestId; }
    void setClientRequestId(std::string id) { mClientRequestId = std::move(id); }

    const SendingRequest& sendingRequest() const { return mSendingRequest; }
    void setSendingRequest(SendingRequest hook) { mSendingRequest = std::move(hook); }
    const ResponseReceived& responseReceived() const { return mResponseReceived; }
    void setResponseReceived(ResponseReceived hook) { mResponseReceived = std::move(hook); }

    // Header name to value, added to every request.
    const std::map<std::string, std::string>& userHeaders() const { return mUserHeaders; }
    void setUserHeaders(std::map<std::string, std::string> headers) { mUserHeaders = std::move(headers); }

    // The operation's start and end. Block uploads running side by side
    // share one context, so these are read and written under its lock.
    std::optional<Date> startTime() const;
    void setStartTime(std::optional<Date> t);
    // Sets the start to `now` unless the operation has one already.
    void setStartTimeIfUnset(Date now);
    std::optional<Date> endTime() const;
    void setEndTime(std::optional<Date> t);

    const std::shared_ptr<BLSRetryPolicy>& retryPolicy() const { return mRetryPolicy; }
    void setRetryPolicy(std::shared_ptr<BLSRetryPolicy> policy) { mRetryPolicy = std::move(policy); }

    BLSLogLevel logLevel() const { return mLogLevel; }
    void setLogLevel(BLSLogLevel level) { mLogLevel = level; }
    const LogFunction& logFunction() const { return mLogFunction; }
    void setLogFunction(LogFunction f) { mLogFunction = std::move(f); }

    // Process-wide settings, shared by every context; nothing is set by
    // default, so nothing is logged.
    static BLSLogLevel globalLogLevel();
    static void setGlobalLogLevel(BLSLogLevel level);
    static platform::LogClient* globalLogger();
    static void setGlobalLogger(platform::LogClient* logger);
    static LogFunction globalLogFunction();
    static void setGlobalLogFunction(LogFunction f);

private:
    platform::LogClient* mLogger = nullptr;
    std::mutex* mLoggerCondition = nullptr;
    mutable std::mutex mResultsMutex;
    std::vector<std::shared_ptr<BLSRequestResult>> mRequestResults;
    std::string mClientRequestId;
    SendingRequest mSendingRequest;
    ResponseReceived mResponseReceived;
    std::map<std::string, std::string> mUserHeaders;
    std::optional<Date> mStartTime, mEndTime;
    std::shared_ptr<BLSRetryPolicy> mRetryPolicy;
    BLSLogLevel mLogLevel = 0;
    LogFunction mLogFunction;
};
