#pragma once
// The sharing service's client: user summaries, layout details, likes and
// the downloads of layout files and pictures from blob storage with the
// shared access signatures the service hands out (docs/DESIGN.md, "Sharing
// service protocol").
//
// Threads: methods may be called from any thread. Completion, failure and
// credentials-missing actions run on the main queue, except those of
// downloadBlob, which run on a background thread. Every failure is logged
// and counted as the analytics event "CloudAPIError"; nothing is cached
// from a reply that fails or does not read.
//
// Keep the client in a std::shared_ptr: requests hold it until they end.

#include "SharingModule/Model/QLLayoutEntity.h"
#include "SharingModule/Model/ZDRESTClient.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"
#include "platform/net/URL.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class BLSCloudBlobContainer;
class QLCacheFileOutputStream;
class VKMSharedLayoutsUser;

class QLSharedLayoutsClient : public std::enable_shared_from_this<QLSharedLayoutsClient> {
public:
    static constexpr const char* kLayoutsContainer = "layouts";
    static constexpr const char* kProfilePicturesContainer = "profilepictures";

    struct Configuration {
        // The service's base address ("https://host/api/v1").
        platform::net::URL serviceURL;
        // Seconds a request or a blob download may go without progress.
        double timeoutInterval = 30;
        // Seconds a whole blob download may take.
        double blobMaximumExecutionTime = 600;
        std::size_t maximumReplySize = 4 * 1024 * 1024;
        std::uint64_t maximumLayoutFileSize = 256 * 1024 * 1024;
        std::uint64_t maximumImageSize = 16 * 1024 * 1024;
        // Blob downloads running at once; more wait their turn.
        std::size_t maximumConcurrentDownloads = 16;
    };

    using Error = platform::Error;
    using EntityPtr = std::shared_ptr<const QLLayoutEntity>;
    using SummaryAction = std::function<void(const platform::Value& summary)>;
    using EntityAction = std::function<void(const EntityPtr& entity)>;
    using FileAction = std::function<void(const std::filesystem::path& file)>;
    using FailureAction = std::function<void(const Error& error)>;
    using ContainerAction =
        std::function<void(const std::shared_ptr<BLSCloudBlobContainer>& container, const std::optional<Error>& error)>;
    // The stream holds the whole blob in its temporary file, uncommitted,
    // when there is no error.
    using BlobAction =
        std::function<void(const std::shared_ptr<QLCacheFileOutputStream>& stream, const std::optional<Error>& error)>;

    QLSharedLayoutsClient(Configuration configuration, std::shared_ptr<VKMSharedLayoutsUser> user);

    const Configuration& configuration() const { return mConfiguration; }

    // The user's summary (a dictionary; "userName" and "profileImage512",
    // the blob name of the user's picture, are texts when present). An
    // identifier of one character or none only logs "userId.length > 1";
    // a failure calls no action.
    void summaryForUser(const std::string& userId, SummaryAction completionAction);

    // The layout's details, kept in VKMLayoutEntityCache; the author's name
    // is asked of the user-name cache when it has none.
    void layoutEntityWithId(const std::string& layoutId, EntityAction completionAction, FailureAction failureAction);

    // Likes the layout as the signed-in user and hands over the entity the
    // service gives back (also kept in VKMLayoutEntityCache). Without stored
    // credentials nothing is sent and credentialsMissingAction runs: the
    // screens ask the user to log in there.
    void likeLayout(const EntityPtr& entity, EntityAction completionAction, FailureAction failureAction,
                    std::function<void()> credentialsMissingAction);

    // The layout's file: the downloaded one while QLCloudLayoutsCache may
    // reuse it, else a download is counted with the service and the file is
    // fetched from the container "layouts" into the cache. A download that
    // fails leaves no file behind.
    void downloadLayoutFile(const EntityPtr& entity, FileAction completionAction, FailureAction failureAction);

    // A container of the service's blob storage, reached with the service's
    // shared access signature (kept until five minutes before it expires).
    void blobContainerNamed(const std::string& name, ContainerAction completionAction);

    // Downloads the blob into a QLCacheFileOutputStream for `target` of at
    // most `maximumSize` bytes, when fewer than maximumConcurrentDownloads
    // run (else once one has ended). The action runs on a background thread.
    void downloadBlob(const std::string& containerName, const std::string& blobName, std::filesystem::path target,
                      std::uint64_t maximumSize, BlobAction completionAction);

private:
    struct ContainerAccess {
        std::shared_ptr<BLSCloudBlobContainer> container;
        std::chrono::system_clock::time_point renewAfter;
    };

    std::optional<ZDRESTClient::Credentials> credentials() const;
    void send(const std::string& method, const std::vector<std::string>& path,
              ZDRESTClient::CompletionAction completionAction, ZDRESTClient::FailureAction failureAction);
    // Sends a request whose answer is the layout `layoutId`.
    void requestEntity(const char* request, const std::string& method, const std::vector<std::string>& path,
                       const std::string& layoutId, EntityAction completionAction, FailureAction failureAction);
    // Reads an entity reply for `layoutId`, keeps it and hands it over.
    void takeEntity(const char* request, const std::string& layoutId, const platform::Value& json,
                    const EntityAction& completionAction, const FailureAction& failureAction);
    void containerArrived(const std::string& name, const platform::Value& json);
    void startBlobDownload(const std::string& containerName, const std::string& blobName,
                           const std::filesystem::path& target, std::uint64_t maximumSize,
                           const BlobAction& completionAction);
    // Gives a finished download's slot to the next one waiting.
    void downloadEnded();
    void finishContainerRequests(const std::string& name, const std::shared_ptr<BLSCloudBlobContainer>& container,
                                 const std::optional<Error>& error);

    Configuration mConfiguration;
    std::shared_ptr<VKMSharedLayoutsUser> mUser;
    ZDRESTClient mRest;

    std::mutex mMutex;  // guards the four below
    std::map<std::string, ContainerAccess> mContainers;
    std::map<std::string, std::vector<ContainerAction>> mContainerWaiters;
    std::size_t mActiveDownloads = 0;
    std::deque<std::function<void()>> mWaitingDownloads;
};

// Logs a failed request and counts it as "CloudAPIError".
void QLReportCloudAPIError(const char* request, const platform::Error& error);
