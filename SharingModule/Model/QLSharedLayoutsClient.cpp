#include "SharingModule/Model/QLSharedLayoutsClient.h"

#include "SharingModule/Model/QLCacheFileOutputStream.h"
#include "SharingModule/Model/QLCloudLayoutsCache.h"
#include "SharingModule/Model/QLServiceReplies.h"
#include "SharingModule/Model/QLSharingErrors.h"
#include "SharingModule/Model/QLUserNameCache.h"
#include "SharingModule/Model/VKMLayoutEntityCache.h"
#include "SharingModule/Model/VKMSharedLayoutsUser.h"
#include "engine/services/ActivityAnalyticsService.h"
#include "engine/services/ZDUtils.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Stream.h"
#include "storage/BLSCloudBlob.h"
#include "storage/BLSCloudBlobContainer.h"
#include "storage/BLSCloudClient.h"
#include "storage/BLSRequestOptions.h"
#include "storage/BLSStorageCredentials.h"

#include <cerrno>

namespace {

using Error = platform::Error;

// A signature is renewed this long before it expires.
constexpr std::chrono::minutes kSignatureMargin{5};

ZDRESTClient::Configuration restConfiguration(const QLSharedLayoutsClient::Configuration& configuration) {
    ZDRESTClient::Configuration rest;
    rest.baseURL = configuration.serviceURL;
    rest.timeoutInterval = configuration.timeoutInterval;
    rest.maximumReplySize = configuration.maximumReplySize;
    return rest;
}

// Blob names come from replies: no empty name, no "." or ".." segment, no NUL.
bool isAcceptableBlobName(const std::string& name) {
    if (name.empty() || name.find('\0') != std::string::npos) return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t end = std::min(name.find('/', start), name.size());
        const std::string segment = name.substr(start, end - start);
        if (segment == "." || segment == "..") return false;
        start = end + 1;
    }
    return true;
}

void onMain(std::function<void()> block) { platform::DispatchQueue::main().async(std::move(block)); }

}  // namespace

void QLReportCloudAPIError(const char* request, const Error& error) {
    ZDUtils::logWarning("Sharing service request %s failed: %s", request, error.localizedDescription().c_str());
    QLActivityAnalytics::trackEvent("CloudAPIError", {{"Request", request}, {"Code", std::to_string(error.code())}});
}

QLSharedLayoutsClient::QLSharedLayoutsClient(Configuration configuration, std::shared_ptr<VKMSharedLayoutsUser> user)
    : mConfiguration(std::move(configuration)), mUser(std::move(user)), mRest(restConfiguration(mConfiguration)) {}

std::optional<ZDRESTClient::Credentials> QLSharedLayoutsClient::credentials() const {
    if (!mUser || !mUser->hasValidUserCredentials()) return std::nullopt;
    return ZDRESTClient::Credentials{mUser->userID().value_or(""), mUser->password().value_or("")};
}

void QLSharedLayoutsClient::send(const std::string& method, const std::vector<std::string>& path,
                                 ZDRESTClient::CompletionAction completionAction,
                                 ZDRESTClient::FailureAction failureAction) {
    mRest.sendRequest(method, path, {}, std::nullopt, credentials(), std::move(completionAction),
                      std::move(failureAction));
}

void QLSharedLayoutsClient::summaryForUser(const std::string& userId, SummaryAction completionAction) {
    if (userId.size() <= 1) {
        ZDUtils::logWarning("userId.length > 1");
        return;
    }
    auto self = shared_from_this();
    send(
        "GET", {"users", userId, "summary"},
        [self, completionAction = std::move(completionAction)](const platform::Value& json,
                                                               const platform::net::HTTPHeaders&) {
            if (auto error = QLCheckUserSummary(json)) {
                QLReportCloudAPIError("UserSummary", *error);
                return;
            }
            if (completionAction) completionAction(json);
        },
        [](const Error& error) { QLReportCloudAPIError("UserSummary", error); });
}

void QLSharedLayoutsClient::requestEntity(const char* request, const std::string& method,
                                          const std::vector<std::string>& path, const std::string& layoutId,
                                          EntityAction completionAction, FailureAction failureAction) {
    auto self = shared_from_this();
    auto failure = std::make_shared<FailureAction>(std::move(failureAction));
    send(
        method, path,
        [self, request, layoutId, completionAction = std::move(completionAction), failure](
            const platform::Value& json, const platform::net::HTTPHeaders&) {
            self->takeEntity(request, layoutId, json, completionAction, *failure);
        },
        [request, failure](const Error& error) {
            QLReportCloudAPIError(request, error);
            if (*failure) (*failure)(error);
        });
}

void QLSharedLayoutsClient::takeEntity(const char* request, const std::string& layoutId, const platform::Value& json,
                                       const EntityAction& completionAction, const FailureAction& failureAction) {
    std::optional<Error> error;
    auto entity = QLLayoutEntity::entityWithJSON(json, error);
    if (entity && entity->layoutId() != layoutId) {
        error = QLMakeSharingError(
            QLSharingErrorCode::InvalidReply,
            "The service answered about layout \"" + entity->layoutId() + "\", not \"" + layoutId + "\".");
        entity = nullptr;
    }
    if (!entity) {
        QLReportCloudAPIError(request, *error);
        if (failureAction) failureAction(*error);
        return;
    }
    VKMLayoutEntityCache::sharedInstance().setObject(entity, layoutId);
    auto& names = QLUserNameCache::sharedInstance();
    if (entity->author().size() > 1 && !names.userNameForUserId(entity->author())) {
        names.requestUserNameForUserId(entity->author(), shared_from_this());
    }
    if (completionAction) completionAction(entity);
}

void QLSharedLayoutsClient::layoutEntityWithId(const std::string& layoutId, EntityAction completionAction,
                                               FailureAction failureAction) {
    requestEntity("LayoutDetails", "GET", {"layouts", layoutId}, layoutId, std::move(completionAction),
                  std::move(failureAction));
}

void QLSharedLayoutsClient::likeLayout(const EntityPtr& entity, EntityAction completionAction,
                                       FailureAction failureAction, std::function<void()> credentialsMissingAction) {
    if (!entity) return;
    if (!credentials()) {
        ZDUtils::logInfo("Liking layout %s needs a signed-in user", entity->layoutId().c_str());
        onMain([action = std::move(credentialsMissingAction)] {
            if (action) action();
        });
        return;
    }
    requestEntity("LikeLayout", "POST", {"layouts", entity->layoutId(), "likes"}, entity->layoutId(),
                  std::move(completionAction), std::move(failureAction));
}

void QLSharedLayoutsClient::downloadLayoutFile(const EntityPtr& entity, FileAction completionAction,
                                               FailureAction failureAction) {
    if (!entity) return;
    auto& cache = QLCloudLayoutsCache::sharedInstance();
    const std::string layoutId = entity->layoutId();
    if (auto file = cache.reusableFileForLayout(layoutId, entity->uploadDate())) {
        ZDUtils::logInfo("Reusing the downloaded file of layout %s", layoutId.c_str());
        onMain([file = *file, action = std::move(completionAction)] {
            if (action) action(file);
        });
        return;
    }
    send(
        "POST", {"layouts", layoutId, "downloads"}, [](const platform::Value&, const platform::net::HTTPHeaders&) {},
        [](const Error& error) { QLReportCloudAPIError("CountDownload", error); });
    ZDUtils::logInfo("Downloading layout %s", layoutId.c_str());
    downloadBlob(kLayoutsContainer, entity->blobName(), cache.pathForLayout(layoutId),
                 mConfiguration.maximumLayoutFileSize,
                 [layoutId, completionAction = std::move(completionAction), failureAction = std::move(failureAction)](
                     const std::shared_ptr<QLCacheFileOutputStream>& stream, std::optional<Error> error) {
                     if (!error && !stream->commit()) {
                         error = QLMakeSharingError(QLSharingErrorCode::File, "The layout file could not be stored.");
                     }
                     if (error) {
                         if (stream) stream->discard();
                         QLReportCloudAPIError("DownloadLayout", *error);
                         onMain([failureAction, error = *error] {
                             if (failureAction) failureAction(error);
                         });
                         return;
                     }
                     QLCloudLayoutsCache::sharedInstance().recordDownload(layoutId);
                     onMain([completionAction, file = stream->target()] {
                         if (completionAction) completionAction(file);
                     });
                 });
}

void QLSharedLayoutsClient::blobContainerNamed(const std::string& name, ContainerAction completionAction) {
    std::shared_ptr<BLSCloudBlobContainer> reusable;
    {
        std::lock_guard lock(mMutex);
        auto cached = mContainers.find(name);
        if (cached != mContainers.end() && platform::Clock::shared()->now() < cached->second.renewAfter) {
            reusable = cached->second.container;
        } else {
            auto& waiters = mContainerWaiters[name];
            waiters.push_back(std::move(completionAction));
            // Only the first waiter asks the service.
            if (waiters.size() > 1) return;
        }
    }
    if (reusable) {
        if (completionAction) completionAction(reusable, std::nullopt);
        return;
    }
    auto self = shared_from_this();
    send(
        "GET", {"storage", "containers", name, "sas"},
        [self, name](const platform::Value& json, const platform::net::HTTPHeaders&) {
            self->containerArrived(name, json);
        },
        [self, name](const Error& error) {
            QLReportCloudAPIError("StorageSignature", error);
            self->finishContainerRequests(name, nullptr, error);
        });
}

void QLSharedLayoutsClient::containerArrived(const std::string& name, const platform::Value& json) {
    std::optional<Error> error;
    auto signature = QLStorageSignature::signatureWithJSON(json, name, error);
    std::shared_ptr<BLSCloudBlobContainer> container;
    if (signature) {
        std::optional<Error> storageError;
        container = BLSCloudBlobContainer::makeWithUrl(
            signature->containerURL, BLSStorageCredentials::makeWithSASToken(signature->sasToken), storageError);
        if (!container) {
            error = QLMakeSharingError(QLSharingErrorCode::InvalidReply, "The service's storage address is refused.",
                                       storageError);
        }
    }
    if (error) {
        QLReportCloudAPIError("StorageSignature", *error);
        finishContainerRequests(name, nullptr, error);
        return;
    }
    auto options = std::make_shared<BLSBlobRequestOptions>();
    options->setServerTimeout(mConfiguration.timeoutInterval);
    options->setMaximumExecutionTime(mConfiguration.blobMaximumExecutionTime);
    container->client()->setDefaultRequestOptions(options);
    {
        std::lock_guard lock(mMutex);
        const auto renewAfter =
            signature->expiresOn ? *signature->expiresOn - kSignatureMargin : std::chrono::system_clock::time_point{};
        mContainers[name] = ContainerAccess{container, renewAfter};
    }
    finishContainerRequests(name, container, std::nullopt);
}

void QLSharedLayoutsClient::finishContainerRequests(const std::string& name,
                                                    const std::shared_ptr<BLSCloudBlobContainer>& container,
                                                    const std::optional<Error>& error) {
    std::vector<ContainerAction> waiters;
    {
        std::lock_guard lock(mMutex);
        auto it = mContainerWaiters.find(name);
        if (it == mContainerWaiters.end()) return;
        waiters = std::move(it->second);
        mContainerWaiters.erase(it);
    }
    for (auto& waiter : waiters) {
        if (waiter) waiter(container, error);
    }
}

void QLSharedLayoutsClient::downloadBlob(const std::string& containerName, const std::string& blobName,
                                         std::filesystem::path target, std::uint64_t maximumSize,
                                         BlobAction completionAction) {
    if (!isAcceptableBlobName(blobName)) {
        platform::DispatchQueue::global().async([completionAction, blobName] {
            if (completionAction) {
                completionAction(nullptr, QLMakeSharingError(QLSharingErrorCode::InvalidReply,
                                                             "The blob name \"" + blobName + "\" is not acceptable."));
            }
        });
        return;
    }
    auto self = shared_from_this();
    auto start = [self, containerName, blobName, target = std::move(target), maximumSize,
                  completionAction = std::move(completionAction)] {
        self->startBlobDownload(containerName, blobName, target, maximumSize, completionAction);
    };
    {
        std::lock_guard lock(mMutex);
        if (mActiveDownloads >= std::max<std::size_t>(1, mConfiguration.maximumConcurrentDownloads)) {
            mWaitingDownloads.push_back(std::move(start));
            return;
        }
        ++mActiveDownloads;
    }
    start();
}

void QLSharedLayoutsClient::downloadEnded() {
    std::function<void()> next;
    {
        std::lock_guard lock(mMutex);
        if (mWaitingDownloads.empty()) {
            --mActiveDownloads;
        } else {
            next = std::move(mWaitingDownloads.front());
            mWaitingDownloads.pop_front();
        }
    }
    if (next) next();
}

void QLSharedLayoutsClient::startBlobDownload(const std::string& containerName, const std::string& blobName,
                                              const std::filesystem::path& target, std::uint64_t maximumSize,
                                              const BlobAction& completionAction) {
    auto self = shared_from_this();
    // The slot is given to the next download before the caller hears of this one.
    auto done = [self, completionAction](const std::shared_ptr<QLCacheFileOutputStream>& stream,
                                         const std::optional<Error>& error) {
        self->downloadEnded();
        if (completionAction) completionAction(stream, error);
    };
    blobContainerNamed(
        containerName, [blobName, target, maximumSize, done](const std::shared_ptr<BLSCloudBlobContainer>& container,
                                                             const std::optional<Error>& error) {
            if (!container) {
                platform::DispatchQueue::global().async([done, error] { done(nullptr, error); });
                return;
            }
            auto blob = BLSCloudBlob::makeWithContainer(container, blobName);
            auto stream = std::make_shared<QLCacheFileOutputStream>(target, maximumSize);
            blob->downloadToStream(stream, [stream, done](const std::optional<Error>& storageError) {
                std::optional<Error> failure;
                const auto& streamError = stream->streamError();
                if (streamError && streamError->code() == EFBIG) {
                    failure = QLMakeSharingError(QLSharingErrorCode::TooLarge,
                                                 "The blob is larger than the client takes.", storageError);
                } else if (storageError) {
                    failure = QLMakeSharingError(
                        QLSharingErrorCode::Storage,
                        "The blob could not be downloaded: " + storageError->localizedDescription(), storageError);
                }
                done(stream, failure);
            });
        });
}
