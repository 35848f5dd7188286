#include "SharingModule/Model/ZDRESTClient.h"

#include "SharingModule/Model/QLSharingErrors.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/net/URLSession.h"
#include "platform/security/Crypto.h"
#include "storage/BLSUtil.h"

#include <map>
#include <mutex>

namespace {

using platform::net::HTTPURLResponse;
using platform::net::URLSession;
using platform::net::URLSessionTask;

// One path segment or query value: what is not unreserved is escaped, and
// a segment of dots alone too, so that no identifier is a dot segment.
std::string encodeComponent(const std::string& text) {
    if (!text.empty() && text.find_first_not_of('.') == std::string::npos) {
        std::string dots;
        for (std::size_t i = 0; i < text.size(); ++i) dots += "%2E";
        return dots;
    }
    return BLSUtil::URLEncodedStringWithString(text);
}

// The service's own reason from an error body {"message": "..."}, shortened.
std::string serviceMessage(const std::vector<std::uint8_t>& body) {
    auto json = platform::Value::fromJson(std::string(body.begin(), body.end()));
    const platform::Value* message = json ? json->find("message") : nullptr;
    if (message == nullptr || !message->isString()) return {};
    std::string text = *message->asString();
    if (text.size() > 200) text.resize(200);
    return ": " + text;
}

}  // namespace

// Collects each task's reply on the session's queue and hands the outcome
// to the main queue.
class ZDRESTClient::Delegate : public platform::net::URLSessionDataDelegate {
public:
    struct Pending {
        CompletionAction completionAction;
        FailureAction failureAction;
        std::size_t maximumReplySize = 0;
        std::vector<std::uint8_t> body;
        std::optional<HTTPURLResponse> response;
        bool tooLarge = false;
    };

    void add(unsigned long taskIdentifier, std::shared_ptr<Pending> pending) {
        std::lock_guard lock(mMutex);
        mPending[taskIdentifier] = std::move(pending);
    }

    void didReceiveResponse(URLSession&, URLSessionTask& task, const HTTPURLResponse& response,
                            std::function<void(platform::net::URLSessionResponseDisposition)> handler) override {
        auto pending = find(task);
        if (pending) {
            pending->response = response;
            if (response.expectedContentLength > 0 &&
                static_cast<std::uint64_t>(response.expectedContentLength) > pending->maximumReplySize) {
                pending->tooLarge = true;
                handler(platform::net::URLSessionResponseDisposition::Cancel);
                return;
            }
        }
        handler(platform::net::URLSessionResponseDisposition::Allow);
    }

    void didReceiveData(URLSession&, URLSessionTask& task, std::span<const std::uint8_t> data) override {
        auto pending = find(task);
        if (!pending || pending->tooLarge) return;
        if (data.size() > pending->maximumReplySize - pending->body.size()) {
            pending->tooLarge = true;
            pending->body.clear();
            task.cancel();
            return;
        }
        pending->body.insert(pending->body.end(), data.begin(), data.end());
    }

    void didCompleteWithError(URLSession&, URLSessionTask& task, const std::optional<platform::Error>& error) override {
        std::shared_ptr<Pending> pending;
        {
            std::lock_guard lock(mMutex);
            auto it = mPending.find(task.taskIdentifier());
            if (it == mPending.end()) return;
            pending = std::move(it->second);
            mPending.erase(it);
        }
        deliver(std::move(pending), error);
    }

private:
    std::shared_ptr<Pending> find(const URLSessionTask& task) {
        std::lock_guard lock(mMutex);
        auto it = mPending.find(task.taskIdentifier());
        return it == mPending.end() ? nullptr : it->second;
    }

    static void deliver(std::shared_ptr<Pending> pending, const std::optional<platform::Error>& transportError) {
        std::optional<platform::Error> failure;
        std::optional<platform::Value> json;
        const auto& response = pending->response;
        if (pending->tooLarge) {
            failure = QLMakeSharingError(
                QLSharingErrorCode::TooLarge,
                "The service's reply is larger than " + std::to_string(pending->maximumReplySize) + " bytes.");
        } else if (transportError) {
            failure = QLMakeSharingError(QLSharingErrorCode::Transport,
                                         "The service could not be reached: " + transportError->localizedDescription(),
                                         transportError);
        } else if (!response || response->statusCode < 200 || response->statusCode > 299) {
            const int status = response ? response->statusCode : 0;
            failure = QLMakeSharingError(
                QLSharingErrorCode::HTTPStatus,
                "The service answered with status " + std::to_string(status) + serviceMessage(pending->body));
            failure->userInfo()[QLSharingErrorKey::HTTPStatusCode] = static_cast<long>(status);
        } else if (pending->body.empty()) {
            json = platform::Value();
        } else {
            std::string reason;
            json = platform::Value::fromJson(std::string(pending->body.begin(), pending->body.end()), &reason);
            if (!json) {
                failure =
                    QLMakeSharingError(QLSharingErrorCode::InvalidReply, "The service's reply is not JSON: " + reason);
            }
        }
        if (failure) {
            platform::DispatchQueue::main().async(
                [action = std::move(pending->failureAction), error = std::move(*failure)] {
                    if (action) action(error);
                });
            return;
        }
        platform::DispatchQueue::main().async(
            [action = std::move(pending->completionAction), json = std::move(*json), headers = response->headers] {
                if (action) action(json, headers);
            });
    }

    std::mutex mMutex;
    std::map<unsigned long, std::shared_ptr<Pending>> mPending;
};

ZDRESTClient::ZDRESTClient(Configuration configuration)
    : mConfiguration(std::move(configuration)), mDelegate(std::make_shared<Delegate>()) {
    auto sessionConfiguration = platform::net::URLSessionConfiguration::ephemeralSessionConfiguration();
    sessionConfiguration.timeoutIntervalForRequest = mConfiguration.timeoutInterval;
    mSession = URLSession::sessionWithConfiguration(sessionConfiguration, mDelegate, nullptr);
}

ZDRESTClient::~ZDRESTClient() { mSession->invalidateAndCancel(); }

std::optional<platform::net::URLRequest> ZDRESTClient::makeRequest(
    const std::string& method, const std::vector<std::string>& pathSegments, const QueryItems& queryItems,
    const std::optional<platform::Value>& body, const std::optional<Credentials>& credentials) const {
    platform::net::URLComponents components(mConfiguration.baseURL);
    std::string path = mConfiguration.baseURL.percentEncodedPath();
    while (!path.empty() && path.back() == '/') path.pop_back();
    for (const auto& segment : pathSegments) path += "/" + encodeComponent(segment);
    components.setPercentEncodedPath(path);
    if (!queryItems.empty()) {
        std::string query;
        for (const auto& [name, value] : queryItems) {
            if (!query.empty()) query += '&';
            query += encodeComponent(name) + "=" + encodeComponent(value);
        }
        components.setPercentEncodedQuery(query);
    } else {
        components.setPercentEncodedQuery(std::nullopt);
    }
    auto url = components.url();
    if (!url) return std::nullopt;

    platform::net::URLRequest request(*url);
    request.httpMethod = method;
    request.timeoutInterval = mConfiguration.timeoutInterval;
    request.setValue("application/json", "Accept");
    if (credentials) {
        const std::string pair = credentials->user + ":" + credentials->password;
        request.setValue("Basic " + platform::security::base64Encode(platform::security::bytesOf(pair)),
                         "Authorization");
    }
    if (body) {
        const std::string text = body->toJson();
        request.httpBody.assign(text.begin(), text.end());
        request.setValue("application/json; charset=utf-8", "Content-Type");
    }
    return request;
}

void ZDRESTClient::sendRequest(const std::string& method, const std::vector<std::string>& pathSegments,
                               const QueryItems& queryItems, const std::optional<platform::Value>& body,
                               const std::optional<Credentials>& credentials, CompletionAction completionAction,
                               FailureAction failureAction) {
    auto request = makeRequest(method, pathSegments, queryItems, body, credentials);
    if (!request) {
        platform::DispatchQueue::main().async([failureAction = std::move(failureAction)] {
            if (failureAction) {
                failureAction(QLMakeSharingError(QLSharingErrorCode::Transport, "The request has no valid address."));
            }
        });
        return;
    }
    auto pending = std::make_shared<Delegate::Pending>();
    pending->completionAction = std::move(completionAction);
    pending->failureAction = std::move(failureAction);
    pending->maximumReplySize = mConfiguration.maximumReplySize;
    auto task = mSession->dataTaskWithRequest(std::move(*request));
    mDelegate->add(task->taskIdentifier(), std::move(pending));
    task->resume();
}
