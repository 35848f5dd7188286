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
// unless the options give a run loop for downloads (the caller must run it)
// or the body goes to memory, where the session writes it itself.
//
// Time: start and end dates, the time budget and the retry timing are read
// on platform::Clock::shared()'s date, and the wait before a retry runs the
// thread's run loop and sleeps on that clock, so a virtual clock drives them.
//
// Streams: the caller's destination stream is opened by the first attempt
// whose answer goes into it and stays open across retries (an attempt cut
// off before any body byte reached it is retried into it); it is closed
// when the operation ends, before the completion handler runs.
//
// Lifetime: the executor keeps itself alive from execute() until it has
// called the completion handler.
//
// Types: BLSExecutor is the untyped core (all of the above, in the .cpp);
// BLSTypedExecutor<Result> on top of it runs the command's reader and keeps
// its result for the completion, which takes the command's own Result. A
// completion for another type does not compile.

#include "platform/foundation/Error.h"
#include "platform/net/URLSession.h"
#include "storage/BLSEnums.h"
#include "storage/BLSStorageCommand.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <type_traits>

namespace platform {
class OutputStream;
class RunLoop;
}  // namespace platform
class BLSOperationContext;
class BLSRequestOptions;
class BLSRequestResult;
class BLSRetryPolicy;
class BLSStreamDownloadBuffer;

class BLSExecutor : public platform::net::URLSessionDataDelegate, public std::enable_shared_from_this<BLSExecutor> {
protected:
    struct Key {};

public:
    using Date = std::chrono::system_clock::time_point;

    // Makes an executor and runs it. Null options mean defaults (no expiry
    // time); a null context means a new one. The completion's type follows
    // from the command's alone.
    template <typename Result>
    static void ExecuteWithStorageCommand(std::shared_ptr<BLSStorageCommand<Result>> storageCommand,
                                          std::shared_ptr<BLSRequestOptions> requestOptions,
                                          std::shared_ptr<BLSOperationContext> operationContext,
                                          std::type_identity_t<BLSCompletionHandler<Result>> completionHandler) {
        make(std::move(storageCommand), std::move(requestOptions), std::move(operationContext),
             std::move(completionHandler))
            ->execute();
    }
    // The same with the count of attempts already made preset.
    template <typename Result>
    static void ExecuteWithStorageCommand(std::shared_ptr<BLSStorageCommand<Result>> storageCommand,
                                          std::shared_ptr<BLSRequestOptions> requestOptions,
                                          std::shared_ptr<BLSOperationContext> operationContext,
                                          unsigned long retryCount,
                                          std::type_identity_t<BLSCompletionHandler<Result>> completionHandler) {
        auto executor = make(std::move(storageCommand), std::move(requestOptions), std::move(operationContext),
                             std::move(completionHandler));
        executor->setRetryCount(retryCount);
        executor->execute();
    }

    // Retry count 0, a clone of the context's retry policy, the options'
    // location mode and its first location.
    template <typename Result>
    static std::shared_ptr<BLSExecutor> make(std::shared_ptr<BLSStorageCommand<Result>> storageCommand,
                                             std::shared_ptr<BLSRequestOptions> requestOptions,
                                             std::shared_ptr<BLSOperationContext> operationContext,
                                             std::type_identity_t<BLSCompletionHandler<Result>> completionHandler);
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

    // URL session delegate.
    void didReceiveResponse(
        platform::net::URLSession& session, platform::net::URLSessionTask& task,
        const platform::net::HTTPURLResponse& response,
        std::function<void(platform::net::URLSessionResponseDisposition)> completionHandler) override;
    void didReceiveData(platform::net::URLSession& session, platform::net::URLSessionTask& task,
                        std::span<const std::uint8_t> data) override;
    void didCompleteWithError(platform::net::URLSession& session, platform::net::URLSessionTask& task,
                              const std::optional<platform::Error>& error) override;
    void didBecomeInvalidWithError(platform::net::URLSession& session,
                                   const std::optional<platform::Error>& error) override;

protected:
    BLSExecutor(std::shared_ptr<BLSStorageCommandBase> storageCommand,
                std::shared_ptr<BLSRequestOptions> requestOptions,
                std::shared_ptr<BLSOperationContext> operationContext);

    // The typed layer. Runs the command's reader, if it has one, and keeps
    // its result; may throw what the reader throws.
    virtual void postProcessResponse(const platform::net::HTTPURLResponse& response, BLSRequestResult& requestResult,
                                     platform::OutputStream* stream, BLSOperationContext& context,
                                     std::optional<platform::Error>& error) = 0;
    // Forgets the kept result (an attempt starts, or its reader failed).
    virtual void clearResult() = 0;
    // The call of the completion with `error` and the kept result, which it
    // takes over; empty when there is no completion.
    virtual std::function<void()> takeCompletion(std::optional<platform::Error> error) = 0;

private:
    void executeAttempt();
    void resetAttempt();
    // Builds, signs and sends the attempt's request, or completes the
    // operation when that cannot be done. Command blocks may throw.
    void prepareAndSend();
    // Ends the attempt with `error` and the kept result.
    void finishRequestWithSession(platform::net::URLSession& session, std::optional<platform::Error> error);
    // Schedules the stream on a new thread's run loop and opens it there.
    void createAndSpinRunloopWithOutputStream(const std::shared_ptr<platform::OutputStream>& stream);
    void waitForDrain();
    // Ends the attempt's use of its output stream: off the run loop, and
    // closed unless it is the caller's destination, which a retry still
    // writes into.
    void releaseOutputStream();
    // Closes the caller's destination once the operation is over, when an
    // attempt opened it.
    void closeDestinationStream();
    bool isCurrentAttempt(const platform::net::URLSession& session) const;
    // Body bytes of this attempt that reached the output stream.
    std::uint64_t bytesStreamed() const;
    void complete(std::optional<platform::Error> error);
    void log(long level, const std::function<std::string()>& message) const;

    std::shared_ptr<BLSStorageCommandBase> mStorageCommand;
    std::shared_ptr<BLSRequestOptions> mRequestOptions;
    std::shared_ptr<BLSOperationContext> mOperationContext;
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
    // The session writes the body straight into a stream to memory, which
    // held this much before.
    bool mWritesToMemory = false;
    std::size_t mBytesInMemoryBefore = 0;

    // Which session's callbacks count; guarded because a finished session
    // may still call in from its own queue while the next attempt runs.
    mutable std::mutex mAttemptMutex;
    std::shared_ptr<platform::net::URLSession> mSession;
    bool mAttemptFinished = false;

    std::thread::id mCallerThread;
    bool mCompleted = false;
    // An attempt opened the caller's destination stream; it is closed when
    // the operation ends, not when an attempt does.
    bool mDestinationOpened = false;
    std::shared_ptr<BLSExecutor> mSelf;  // held from execute() until completion
};

// The thin typed layer: the command's reader and the completion meet here,
// with one Result between them.
template <typename Result>
class BLSTypedExecutor final : public BLSExecutor {
public:
    BLSTypedExecutor(Key, std::shared_ptr<BLSStorageCommand<Result>> storageCommand,
                     std::shared_ptr<BLSRequestOptions> requestOptions,
                     std::shared_ptr<BLSOperationContext> operationContext,
                     BLSCompletionHandler<Result> completionHandler)
        : BLSExecutor(storageCommand, std::move(requestOptions), std::move(operationContext)),
          mTypedCommand(std::move(storageCommand)),
          mCompletionHandler(std::move(completionHandler)) {}

private:
    void postProcessResponse(const platform::net::HTTPURLResponse& response, BLSRequestResult& requestResult,
                             platform::OutputStream* stream, BLSOperationContext& context,
                             std::optional<platform::Error>& error) override {
        if (mTypedCommand && mTypedCommand->postProcessResponse()) {
            mResult = mTypedCommand->postProcessResponse()(response, requestResult, stream, context, error);
        }
    }
    void clearResult() override { mResult = Result{}; }
    std::function<void()> takeCompletion(std::optional<platform::Error> error) override {
        if (!mCompletionHandler) return {};
        return [handler = std::move(mCompletionHandler), error = std::move(error),
                result = std::move(mResult)]() mutable { handler(std::move(error), std::move(result)); };
    }

    std::shared_ptr<BLSStorageCommand<Result>> mTypedCommand;
    BLSCompletionHandler<Result> mCompletionHandler;
    Result mResult{};
};

template <typename Result>
std::shared_ptr<BLSExecutor> BLSExecutor::make(std::shared_ptr<BLSStorageCommand<Result>> storageCommand,
                                               std::shared_ptr<BLSRequestOptions> requestOptions,
                                               std::shared_ptr<BLSOperationContext> operationContext,
                                               std::type_identity_t<BLSCompletionHandler<Result>> completionHandler) {
    return std::make_shared<BLSTypedExecutor<Result>>(Key{}, std::move(storageCommand), std::move(requestOptions),
                                                      std::move(operationContext), std::move(completionHandler));
}
