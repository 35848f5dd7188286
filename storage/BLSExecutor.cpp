#include "storage/BLSExecutor.h"

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/dispatch/ThreadStart.h"
#include "platform/foundation/Stream.h"
#include "platform/security/Crypto.h"
#include "storage/BLSErrors.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSRequestOptions.h"
#include "storage/BLSRequestResult.h"
#include "storage/BLSRetryPolicy.h"
#include "storage/BLSStorageCommand.h"
#include "storage/BLSStorageCredentials.h"
#include "storage/BLSStreamDownloadBuffer.h"
#include "storage/BLSUtil.h"

#include <pthread.h>
#include <sys/utsname.h>

#include <algorithm>
#include <future>
#include <sstream>
#include <stdexcept>

using platform::net::HTTPURLResponse;
using platform::net::URLSession;
using platform::net::URLSessionTask;

namespace {

constexpr double kNoExpiryRemainingTime = 604800.0;  // 7 days

std::string userAgent() {
    // Never destroyed: a transfer may still run while the process exits.
    static const std::string& text = *new std::string([] {
        struct utsname name {};
        std::string release = ::uname(&name) == 0 ? name.release : "";
        return "BlobStorageClient/1.0 (Linux " + release + ")";
    }());
    return text;
}

std::string threadName() {
    char name[64] = {};
    if (pthread_getname_np(pthread_self(), name, sizeof name) != 0) return {};
    return name;
}

// User info as "{key = value; ...}": texts and numbers as they are, other
// values by their key only.
std::string describeUserInfo(const platform::Error::UserInfo& userInfo) {
    std::ostringstream out;
    out << "{";
    bool first = true;
    for (const auto& [key, value] : userInfo) {
        out << (first ? "" : "; ") << key;
        first = false;
        if (const auto* text = std::any_cast<std::string>(&value)) {
            out << " = " << *text;
        } else if (const auto* number = std::any_cast<long>(&value)) {
            out << " = " << *number;
        }
    }
    out << "}";
    return out.str();
}

// The wait before a retry: runs the calling thread's run loop until the
// clock's date reaches `until`, sleeping on the clock when the loop has
// nothing to run.
void retryWait(BLSExecutor::Date until) {
    using namespace std::chrono;
    const auto clock = platform::Clock::shared();
    auto loop = platform::RunLoop::current();
    while (clock->now() < until) {
        bool ran = loop->runUntil(clock->instant() + milliseconds(100));
        auto left = until - clock->now();
        if (!ran && left > system_clock::duration::zero()) {
            clock->sleepFor(std::min(duration_cast<platform::Clock::Duration>(left),
                                     duration_cast<platform::Clock::Duration>(seconds(1))));
        }
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Making and starting

BLSExecutor::BLSExecutor(std::shared_ptr<BLSStorageCommandBase> storageCommand,
                         std::shared_ptr<BLSRequestOptions> requestOptions,
                         std::shared_ptr<BLSOperationContext> operationContext)
    : mStorageCommand(std::move(storageCommand)),
      mRequestOptions(requestOptions ? std::move(requestOptions) : std::make_shared<BLSRequestOptions>()),
      mOperationContext(operationContext ? std::move(operationContext) : std::make_shared<BLSOperationContext>()) {
    if (mOperationContext->retryPolicy()) mRetryPolicy = mOperationContext->retryPolicy()->clone();
    mCurrentStorageLocationMode = mRequestOptions->storageLocationMode();
    mCurrentStorageLocation = getFirstLocationWithStorageLocationMode(mCurrentStorageLocationMode);
}

BLSExecutor::~BLSExecutor() = default;

void BLSExecutor::log(long level, const std::function<std::string()>& message) const {
    mOperationContext->logAtLevel(level, message);
}

void BLSExecutor::execute() {
    mSelf = shared_from_this();
    mCallerThread = std::this_thread::get_id();
    if (!mStorageCommand) {
        complete(BLSMakeInvalidArgumentError("No storage command to execute."));
        return;
    }
    executeAttempt();
}

// ---------------------------------------------------------------------------
// Locations and time

BLSStorageLocation BLSExecutor::getFirstLocationWithStorageLocationMode(BLSStorageLocationMode mode) {
    switch (mode) {
        case BLSStorageLocationModeSecondaryOnly:
        case BLSStorageLocationModeSecondaryThenPrimary: return BLSStorageLocationSecondary;
        default: return BLSStorageLocationPrimary;
    }
}

BLSStorageLocation BLSExecutor::getNextLocation() const {
    switch (mCurrentStorageLocationMode) {
        case BLSStorageLocationModeSecondaryOnly: return BLSStorageLocationSecondary;
        case BLSStorageLocationModePrimaryThenSecondary:
        case BLSStorageLocationModeSecondaryThenPrimary:
            return mCurrentStorageLocation == BLSStorageLocationPrimary ? BLSStorageLocationSecondary
                                                                        : BLSStorageLocationPrimary;
        default: return BLSStorageLocationPrimary;
    }
}

double BLSExecutor::remainingTime() const {
    const auto& expiry = mRequestOptions->operationExpiryTime();
    if (!expiry) return kNoExpiryRemainingTime;
    return std::chrono::duration<double>(*expiry - platform::Clock::shared()->now()).count();
}

std::optional<std::string> BLSExecutor::validateLocationMode() {
    const auto& uri = mStorageCommand->storageUri();
    const bool hasPrimary = uri && uri->primaryUri();
    const bool hasSecondary = uri && uri->secondaryUri();
    bool present = false;
    switch (mCurrentStorageLocationMode) {
        case BLSStorageLocationModePrimaryOnly: present = hasPrimary; break;
        case BLSStorageLocationModeSecondaryOnly: present = hasSecondary; break;
        default:  // unspecified, either order, and values outside the enumeration
            present = hasPrimary && hasSecondary;
            break;
    }
    if (!present) return std::string("No URI specified for input BLSStorageLocationMode.");

    switch (mStorageCommand->allowedStorageLocation()) {
        case BLSAllowedStorageLocationSecondaryOnly:
            if (mCurrentStorageLocationMode == BLSStorageLocationModePrimaryOnly) {
                return std::string("Cannot make this request to primary.");
            }
            mCurrentStorageLocationMode = BLSStorageLocationModeSecondaryOnly;
            mCurrentStorageLocation = BLSStorageLocationSecondary;
            break;
        case BLSAllowedStorageLocationPrimaryOnly:
            if (mCurrentStorageLocationMode == BLSStorageLocationModeSecondaryOnly) {
                return std::string("Cannot make this request to secondary.");
            }
            mCurrentStorageLocationMode = BLSStorageLocationModePrimaryOnly;
            mCurrentStorageLocation = BLSStorageLocationPrimary;
            break;
        default: break;
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// One attempt

void BLSExecutor::resetAttempt() {
    // Nothing of an earlier attempt may leak into this one: a response, a
    // verdict, a stream or a buffer left over would be judged as this
    // attempt's.
    mUrlComponents.reset();
    mRequest.reset();
    mRequestResult.reset();
    mHttpResponse.reset();
    mPreProcessError.reset();
    mOutputStream.reset();
    mDownloadBuffer.reset();
    mRunLoopForDownload.reset();
    mOwnsRunLoop = false;
    mWritesToMemory = false;
    mBytesInMemoryBefore = 0;
    clearResult();
    std::lock_guard lock(mAttemptMutex);
    mSession.reset();
    mAttemptFinished = false;
}

void BLSExecutor::executeAttempt() {
    resetAttempt();
    auto& context = *mOperationContext;
    context.setStartTimeIfUnset(platform::Clock::shared()->now());

    if (auto reason = validateLocationMode()) {
        complete(BLSMakeInvalidArgumentError(*reason));
        return;
    }
    try {
        prepareAndSend();
    } catch (const platform::net::InvalidHeaderError& e) {
        // A header that may not reach the wire: nothing was sent.
        complete(BLSMakeInvalidArgumentError(e.what()));
    } catch (const std::exception& e) {
        // A command block that throws (std::invalid_argument above all) ends
        // the operation with its reason instead of leaving it without an end.
        complete(BLSMakeInvalidArgumentError(e.what()));
    }
}

void BLSExecutor::prepareAndSend() {
    auto& command = *mStorageCommand;
    auto& context = *mOperationContext;

    std::optional<BLSStorageUri> uri = command.storageUri();
    if (command.credentials()) uri = command.credentials()->transformWithStorageUri(uri);
    mStartTime = platform::Clock::shared()->now();
    const std::optional<platform::net::URL>* url = uri ? &uri->urlWithLocation(mCurrentStorageLocation) : nullptr;
    if (url == nullptr || !url->has_value()) {
        complete(BLSMakeInvalidArgumentError("No URI specified for input BLSStorageLocationMode."));
        return;
    }
    mUrlComponents.emplace(**url);

    if (!command.buildRequest()) throw std::invalid_argument("The storage command has no request builder.");
    mRequest = command.buildRequest()(*mUrlComponents, mRequestOptions->serverTimeout(), context);
    mRequestResult = std::make_shared<BLSRequestResult>(mStartTime, mCurrentStorageLocation);
    if (!context.clientRequestId().empty()) mRequest->setValue(context.clientRequestId(), "x-bs-client-request-id");
    mRequest->setValue(userAgent(), "User-Agent");
    for (const auto& [name, value] : context.userHeaders()) mRequest->setValue(value, name);
    if (context.sendingRequest()) context.sendingRequest()(*mRequest, context);
    if (command.signRequest()) {
        if (auto error = command.signRequest()(*mRequest, context)) {
            complete(std::move(error));
            return;
        }
    }

    auto configuration = platform::net::URLSessionConfiguration::ephemeralSessionConfiguration();
    configuration.hasURLCache = false;
    configuration.requestCachePolicy = platform::net::URLRequestCachePolicy::ReloadIgnoringLocalCacheData;
    const double remaining = remainingTime();
    if (remaining <= 0) {
        complete(BLSMakeError(BLSErrorCode::OperationTimedOut));
        return;
    }
    configuration.timeoutIntervalForResource = remaining;
    configuration.timeoutIntervalForRequest = mRequestOptions->serverTimeout();

    log(BLSLogLevelInfo, [&] { return "Sending Request with URL:" + mRequest->url.absoluteString(); });
    for (const auto& header : mRequest->headers) {
        log(BLSLogLevelInfo, [&] { return "Sending header name = " + header.first + "; value = " + header.second; });
    }

    auto session = URLSession::sessionWithConfiguration(configuration, shared_from_this(), nullptr);
    {
        std::lock_guard lock(mAttemptMutex);
        mSession = session;
    }
    std::shared_ptr<URLSessionTask> task;
    if (const auto& source = command.source()) {
        // The body is lent, not copied.
        task = session->uploadTaskWithRequest(*mRequest, source);
    } else {
        task = session->dataTaskWithRequest(*mRequest);
    }
    task->resume();
}

std::uint64_t BLSExecutor::bytesStreamed() const {
    if (mWritesToMemory) return mOutputStream->dataWrittenToMemory()->size() - mBytesInMemoryBefore;
    return mDownloadBuffer ? mDownloadBuffer->totalSizeStreamed() : 0;
}

bool BLSExecutor::isCurrentAttempt(const URLSession& session) const {
    std::lock_guard lock(mAttemptMutex);
    return mSession.get() == &session && !mAttemptFinished;
}

// ---------------------------------------------------------------------------
// URL session delegate

void BLSExecutor::didReceiveResponse(
    URLSession& session, URLSessionTask& task, const HTTPURLResponse& response,
    std::function<void(platform::net::URLSessionResponseDisposition)> completionHandler) {
    if (!isCurrentAttempt(session)) {
        completionHandler(platform::net::URLSessionResponseDisposition::Cancel);
        return;
    }
    auto& command = *mStorageCommand;
    auto& context = *mOperationContext;

    mHttpResponse = response;
    log(BLSLogLevelInfo, [&] { return "Response HTTP status code = " + std::to_string(response.statusCode); });
    for (const auto& header : response.headers) {
        log(BLSLogLevelInfo, [&] { return "Response header name = " + header.first + "; value = " + header.second; });
    }
    if (context.responseReceived() && mRequest) context.responseReceived()(*mRequest, response, context);

    mRequestResult = std::make_shared<BLSRequestResult>(mStartTime, mCurrentStorageLocation, response, std::nullopt);
    if (command.preProcessResponse())
        mPreProcessError = command.preProcessResponse()(response, *mRequestResult, context);

    // Error bodies always land in memory, never in the caller's stream.
    mOutputStream = (!mPreProcessError && command.destinationStream()) ? command.destinationStream()
                                                                       : platform::OutputStream::toMemory();
    if (mOutputStream == command.destinationStream()) mDestinationOpened = true;
    const bool md5 = command.calculateResponseMD5() && response.valueForHTTPHeaderField("Content-MD5") != nullptr;
    if (const auto* memory = mOutputStream->dataWrittenToMemory(); memory != nullptr && !md5) {
        // A body bound for memory goes there straight from the transfer:
        // one copy, no hand-over per chunk and no run-loop thread. (An MD5
        // is worked out piece by piece as the body comes, below.)
        mBytesInMemoryBefore = memory->size();
        if (response.expectedContentLength > 0) {
            mOutputStream->setExpectedLength(static_cast<std::uint64_t>(response.expectedContentLength));
        }
        mOutputStream->open();
        task.writeReceivedDataToStream(mOutputStream);
        mWritesToMemory = true;
        completionHandler(platform::net::URLSessionResponseDisposition::Allow);
        return;
    }
    mDownloadBuffer = std::make_shared<BLSStreamDownloadBuffer>(
        mOutputStream, mRequestOptions->maximumDownloadBufferSize(), md5, mOperationContext);
    mOutputStream->setDelegate(mDownloadBuffer);
    // A stream to memory makes room for the whole body at once.
    if (response.expectedContentLength > 0) {
        mOutputStream->setExpectedLength(static_cast<std::uint64_t>(response.expectedContentLength));
    }

    if (auto loop = mRequestOptions->runLoopForDownload()) {
        mRunLoopForDownload = loop;
        mOwnsRunLoop = false;
        mOutputStream->scheduleInRunLoop(loop);
        mOutputStream->open();
    } else {
        createAndSpinRunloopWithOutputStream(mOutputStream);
    }
    completionHandler(platform::net::URLSessionResponseDisposition::Allow);
}

void BLSExecutor::createAndSpinRunloopWithOutputStream(const std::shared_ptr<platform::OutputStream>& stream) {
    std::promise<std::shared_ptr<platform::RunLoop>> ready;
    auto loopFuture = ready.get_future();
    platform::startThread([stream, context = mOperationContext, ready = std::move(ready)]() mutable {
        pthread_setname_np(pthread_self(), "bls.download");
        auto loop = platform::RunLoop::current();
        stream->scheduleInRunLoop(loop);
        stream->open();
        ready.set_value(loop);
        auto log = [&](const std::function<std::string()>& message) { context->logAtLevel(BLSLogLevelDebug, message); };
        // A stream kept open for a retry is taken off this loop: the thread
        // goes then, and the next attempt's thread takes the stream over.
        auto unavailable = [&stream, &loop] {
            return !BLSUtil::streamAvailable(stream.get()) || stream->scheduledRunLoop() != loop;
        };
        while (!unavailable()) {
            loop->runUntil(unavailable, std::chrono::seconds(2));
            log([] { return "(Waking up) Current thread name = " + threadName(); });
            if (stream->status() == platform::StreamStatus::Error && stream->streamError()) {
                const auto& error = *stream->streamError();
                log([&] {
                    return "StreamError.  Error code = " + std::to_string(error.code()) +
                           ", error domain = " + error.domain() +
                           ", error userinfo = " + describeUserInfo(error.userInfo());
                });
            } else {
                log([] { return std::string("No stream error while in runloop."); });
            }
        }
        // Events still queued (a failure at open above all) reach the
        // delegate before the thread goes.
        loop->runUntil(platform::Clock::shared()->instant());
        log([] { return std::string("Exiting spin."); });
    }).detach();
    mRunLoopForDownload = loopFuture.get();
    mOwnsRunLoop = true;
}

void BLSExecutor::didReceiveData(URLSession& session, URLSessionTask& task, std::span<const std::uint8_t> data) {
    if (!isCurrentAttempt(session) || !mDownloadBuffer) return;
    if (!mDownloadBuffer->streamError()) mDownloadBuffer->writeData(data);
}

void BLSExecutor::waitForDrain() {
    auto& buffer = *mDownloadBuffer;
    auto lock = buffer.lockDataDownloadCondition();
    log(BLSLogLevelDebug, [] { return std::string("Grabbed lock in didComplete."); });
    while (buffer.currentLength(lock) != 0 && !buffer.streamFailed(lock)) {
        const auto length = buffer.currentLength(lock);
        log(BLSLogLevelDebug, [length] {
            return "Waiting on condition in didComplete.  CurrentLength = " + std::to_string(length) + ".";
        });
        buffer.dataDownloadCondition().wait_for(lock, BLSStreamDownloadBuffer::kStreamRecheckInterval);
    }
    lock.unlock();
    log(BLSLogLevelDebug, [] { return std::string("Released lock in didComplete."); });
}

void BLSExecutor::releaseOutputStream() {
    if (!mOutputStream) return;
    // The caller's stream stays open until the operation ends: a retry
    // writes on into it, and a stream once closed takes nothing more.
    if (mOutputStream != mStorageCommand->destinationStream()) mOutputStream->close();
    mOutputStream->removeFromRunLoop();
    // Our stream thread leaves at once instead of at its next wake-up.
    if (mOwnsRunLoop && mRunLoopForDownload) mRunLoopForDownload->stop();
}

void BLSExecutor::closeDestinationStream() {
    if (!mDestinationOpened) return;
    mDestinationOpened = false;
    if (const auto& destination = mStorageCommand->destinationStream()) {
        destination->close();
        destination->removeFromRunLoop();
    }
}

void BLSExecutor::didCompleteWithError(URLSession& session, URLSessionTask& task,
                                       const std::optional<platform::Error>& taskError) {
    if (!isCurrentAttempt(session)) return;
    auto& command = *mStorageCommand;
    auto& context = *mOperationContext;

    if (mDownloadBuffer) {
        if (auto* md5 = mDownloadBuffer->md5Context()) {
            auto digest = md5->finish();
            if (mRequestResult) mRequestResult->setCalculatedResponseMD5(platform::security::base64Encode(digest));
        }
        waitForDrain();
    }
    releaseOutputStream();

    std::optional<platform::Error> error;
    std::optional<platform::Error> streamError = mDownloadBuffer ? mDownloadBuffer->streamError() : std::nullopt;
    // A stream to memory that failed under the session's writes ended the
    // task: the failure is the stream's, as it would be through the buffer.
    const bool memoryFailed = mWritesToMemory && mOutputStream->status() == platform::StreamStatus::Error;
    if (memoryFailed) {
        platform::Error::UserInfo userInfo;
        if (mOutputStream->streamError()) userInfo[BLSErrorKey::InnerError] = *mOutputStream->streamError();
        streamError = BLSMakeError(BLSErrorCode::OutputStreamError, std::move(userInfo));
    }
    try {
        if (taskError && !memoryFailed) {
            error = BLSMakeError(BLSErrorCode::URLSessionError, {{BLSErrorKey::InnerError, *taskError}});
        } else if (streamError) {
            error = streamError;
        } else if (!mPreProcessError && !mHttpResponse) {
            mPreProcessError = BLSMakeError(BLSErrorCode::ServerError);
            error = mPreProcessError;
        } else if (!mPreProcessError) {
            postProcessResponse(*mHttpResponse, *mRequestResult, mOutputStream.get(), context, error);
        } else {
            platform::Error populated = *mPreProcessError;
            std::optional<platform::Error> parseError;
            if (command.processError()) command.processError()(mOutputStream.get(), populated, parseError);
            mPreProcessError = populated;
            error = parseError ? std::move(parseError) : std::move(populated);
        }
    } catch (const std::exception& e) {
        // A command block that throws must still end the attempt.
        error = BLSMakeInvalidArgumentError(e.what());
        clearResult();
    }
    finishRequestWithSession(session, std::move(error));
}

void BLSExecutor::didBecomeInvalidWithError(URLSession& session, const std::optional<platform::Error>& error) {
    if (!error || !isCurrentAttempt(session)) return;
    releaseOutputStream();
    finishRequestWithSession(session, BLSMakeError(BLSErrorCode::URLSessionError, {{BLSErrorKey::InnerError, *error}}));
}

// ---------------------------------------------------------------------------
// The end of an attempt

void BLSExecutor::finishRequestWithSession(URLSession& session, std::optional<platform::Error> error) {
    {
        std::lock_guard lock(mAttemptMutex);
        if (mAttemptFinished) return;
        mAttemptFinished = true;
    }
    auto keepAlive = shared_from_this();
    log(BLSLogLevelDebug, [] { return std::string("Finishing session."); });
    session.finishTasksAndInvalidate();

    auto recorded = std::make_shared<BLSRequestResult>(mStartTime, mCurrentStorageLocation, mHttpResponse, error);
    if (mRequestResult) recorded->setCalculatedResponseMD5(mRequestResult->calculatedResponseMD5());
    mRequestResult = recorded;
    mOperationContext->addRequestResult(recorded);
    ++mRetryCount;

    if (error && !mCompleted) {
        // Bytes the caller's stream has taken cannot be taken back.
        const bool bytesDelivered =
            mOutputStream && mOutputStream == mStorageCommand->destinationStream() && bytesStreamed() > 0;
        // Without an answer we cannot know whether the service carried it out.
        const bool mayHaveHappened = !mHttpResponse && !mStorageCommand->retryAfterTransportFailure();
        if (!bytesDelivered && !mayHaveHappened && mRetryPolicy) {
            BLSRetryContext retryContext(static_cast<long>(mRetryCount), recorded, getNextLocation(),
                                         mCurrentStorageLocationMode);
            BLSRetryInfo info = mRetryPolicy->evaluateRetryContext(retryContext, *mOperationContext);
            if (info.shouldRetry) {
                const long status = mHttpResponse ? mHttpResponse->statusCode : 0;
                log(BLSLogLevelInfo,
                    [status] { return "Retrying on HTTP status code " + std::to_string(status) + "."; });
                mCurrentStorageLocation = info.targetLocation;
                mCurrentStorageLocationMode = info.updatedLocationMode;
                const auto until = platform::Clock::shared()->now() +
                                   std::chrono::duration_cast<std::chrono::system_clock::duration>(
                                       std::chrono::duration<double>(std::max(0.0, info.retryInterval)));
                retryWait(until);
                executeAttempt();
                return;
            }
        }
    }
    mOperationContext->setEndTime(platform::Clock::shared()->now());
    complete(std::move(error));
}

void BLSExecutor::complete(std::optional<platform::Error> error) {
    if (mCompleted) return;
    mCompleted = true;
    // No attempt writes any more: the caller gets its stream closed.
    if (mStorageCommand) closeDestinationStream();
    auto self = std::move(mSelf);  // alive until this call returns
    auto call = takeCompletion(std::move(error));
    if (!call) return;
    if (std::this_thread::get_id() == mCallerThread) {
        // Failed before anything was sent: never call back on the caller's thread.
        platform::startThread([call = std::move(call), self] { call(); }).detach();
        return;
    }
    call();
}
