#pragma once
// Runs one storage command to its end: validates the target location,
// builds and signs the request, sends it on a URL session of its own,
// streams the response body through a download buffer into the command's
// destination stream (or memory), lets the command judge and read the
// response, records a request result per attempt, retries as the retry
// policy says, and calls the completion handler exactly once.
//
// Threading: the URL session's delegate callbacks, the retry wait and every
// later attempt run on the delegate queue of the current attempt's session.
// The completion handler runs there too; a failure found before anything is
// sent on the first attempt (location, request building, signing, time
// budget) is reported from a thread of its own, so the completion never runs
// on the thread that called execute(). An attempt that receives a response
// also gets a thread of its own that runs the output stream's run loop,
// unless the options give a run loop for downloads (the caller must run it).
//
// Lifetime: the executor keeps itself alive from execute() until it has
// called the completion handler.

#include "platform/foundation/Error.h"
#include "platform/net/URLSession.h"
#include "storage/BLSEnums.h"

#include <any>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>

namespace platform {
class OutputStream;
class RunLoop;
}  // namespace platform
class BLSOperationContext;
class BLSRequestOptions;
class BLSRequestResult;
class BLSRetryPolicy;
class BLSStorageCommand;
class BLSStreamDownloadBuffer;

class BLSExecutor : public platform::net::URLSessionDataDelegate, public std::enable_shared_from_this<BLSExecutor> {
    struct Key {};

public:
    using Date = std::chrono::system_clock::time_point;
    // (error or nullopt, the command's postProcessResponse result or empty).
    using CompletionHandler = std::function<void(std::optional<platform::Error>, std::any)>;
    // Returns once `until` has come (the wait before a retry).
    using RetryWait = std::function<void(Date until)>;

    // Makes an executor and runs it. Null options mean defaults (no expiry
    // time); a null context means a new one.
    static void ExecuteWithStorageCommand(std::shared_ptr<BLSStorageCommand> storageCommand,
                                          std::shared_ptr<BLSRequestOptions> requestOptions,
                                          std::shared_ptr<BLSOperationContext> operationContext,
                                          CompletionHandler completionHandler);
    // The same with the count of attempts already made preset.
    static void ExecuteWithStorageCommand(std::shared_ptr<BLSStorageCommand> storageCommand,
                                          std::shared_ptr<BLSRequestOptions> requestOptions,
                                          std::shared_ptr<BLSOperationContext> operationContext,
                                          unsigned long retryCount, CompletionHandler completionHandler);

    // Retry count 0, a clone of the context's retry policy, the options'
    // location mode and its first location.
    static std::shared_ptr<BLSExecutor> make(std::shared_ptr<BLSStorageCommand> storageCommand,
                                             std::shared_ptr<BLSRequestOptions> requestOptions,
                                             std::shared_ptr<BLSOperationContext> operationContext,
                                             CompletionHandler completionHandler);
    BLSExecutor(Key, std::shared_ptr<BLSStorageCommand> storageCommand,
                std::shared_ptr<BLSRequestOptions> requestOptions,
                std::shared_ptr<BLSOperationContext> operationContext, CompletionHandler completionHandler);
    ~BLSExecutor() override;

    // Starts the operation (its first attempt). Call once.
    void execute();

    // Secondary for modes 3 and 4, primary for every other mode.
    static BLSStorageLocation getFirstLocationWithStorageLocationMode(BLSStorageLocationMode mode);
    // Primary for modes 0 and 1, secondary for 3, the other location for 2 and 4.
    BLSStorageLocation getNextLocation() const;
    // Seconds left until the options' expiry time; 604800 without one.
    double remainingTime() const;
    // The reason the command cannot run in the current mode, or nullopt;
    // may narrow the mode and location to what the command allows.
    std::optional<std::string> validateLocationMode();

    unsigned long retryCount() const { return mRetryCount; }
    void setRetryCount(unsigned long count) { mRetryCount = count; }
    BLSStorageLocation currentStorageLocation() const { return mCurrentStorageLocation; }
    BLSStorageLocationMode currentStorageLocationMode() const { return mCurrentStorageLocationMode; }

    // The wait before every retry, process-wide. An empty function restores
    // the default, which runs the calling thread's run loop until then.
    static void setRetryWait(RetryWait wait);

    // URL session delegate.
    void didReceiveResponse(platform::net::URLSession& session, platform::net::URLSessionTask& task,
                            const platform::net::HTTPURLResponse& response,
                            std::function<void(platform::net::URLSessionResponseDisposition)> completionHandler) override;
    void didReceiveData(platform::net::URLSession& session, platform::net::URLSessionTask& task,
                        std::span<const std::uint8_t> data) override;
    void didCompleteWithError(platform::net::URLSession& session, platform::net::URLSessionTask& task,
                              const std::optional<platform::Error>& error) override;
    void didBecomeInvalidWithError(platform::net::URLSession& session,
                                   const std::optional<platform::Error>& error) override;

private:
    void executeAttempt();
    void resetAttempt();
    // Builds, signs and sends the attempt's request, or completes the
    // operation when that cannot be done. Command blocks may throw.
    void prepareAndSend();
    void finishRequestWithSession(platform::net::URLSession& session, std::optional<platform::Error> error,
                                  std::any result);
    // Schedules the stream on a new thread's run loop and opens it there.
    void createAndSpinRunloopWithOutputStream(const std::shared_ptr<platform::OutputStream>& stream);
    void waitForDrain();
    void closeOutputStream();
    bool isCurrentAttempt(const platform::net::URLSession& session) const;
    void complete(std::optional<platform::Error> error, std::any result);
    void log(long level, const std::function<std::string()>& message) const;

    std::shared_ptr<BLSStorageCommand> mStorageCommand;
    std::shared_ptr<BLSRequestOptions> mRequestOptions;
    std::shared_ptr<BLSOperationContext> mOperationContext;
    CompletionHandler mCompletionHandler;
    std::shared_ptr<BLSRetryPolicy> mRetryPolicy;
    unsigned long mRetryCount = 0;
    BLSStorageLocation mCurrentStorageLocation = BLSStorageLocationPrimary;
    BLSStorageLocationMode mCurrentStorageLocationMode = BLSStorageLocationModePrimaryOnly;

    // State of the current attempt, cleared when an attempt starts.
    Date mStartTime{};
    std::optional<platform::net::URLComponents> mUrlComponents;
    std::optional<platform::net::URLRequest> mRequest;
    std::shared_ptr<BLSRequestResult> mRequestResult;
    std::optional<platform::net::HTTPURLResponse> mHttpResponse;
    std::optional<platform::Error> mPreProcessError;
    std::shared_ptr<platform::OutputStream> mOutputStream;
    std::shared_ptr<BLSStreamDownloadBuffer> mDownloadBuffer;
    std::shared_ptr<platform::RunLoop> mRunLoopForDownload;
    bool mOwnsRunLoop = false;  // the loop is our stream thread's, not the caller's

    // Which session's callbacks count; guarded because a finished session
    // may still call in from its own queue while the next attempt runs.
    mutable std::mutex mAttemptMutex;
    std::shared_ptr<platform::net::URLSession> mSession;
    bool mAttemptFinished = false;

    std::thread::id mCallerThread;
    bool mCompleted = false;
    std::shared_ptr<BLSExecutor> mSelf;  // held from execute() until completion
};
