#pragma once
// A JSON REST client over the platform's URL session: requests to paths
// under one base address, HTTP Basic authentication when credentials are
// given, JSON bodies both ways.
//
// Every reply is untrusted: it is read into memory only up to
// maximumReplySize (a longer one is cut off and fails), parsed on the
// session's queue, and handed over only when it is whole JSON of a 2xx
// answer. A connection that makes no progress for timeoutInterval seconds
// fails. Exactly one of the two actions of a request runs, on the main
// queue.

#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"
#include "platform/net/URL.h"
#include "platform/net/URLRequest.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform::net {
class URLSession;
}

class ZDRESTClient {
public:
    struct Configuration {
        // The service's base address; request paths are added below it.
        platform::net::URL baseURL;
        // Seconds a request may go without progress.
        double timeoutInterval = 30;
        // The longest reply body read.
        std::size_t maximumReplySize = 4 * 1024 * 1024;
    };
    struct Credentials {
        std::string user;
        std::string password;
    };
    using QueryItems = std::vector<std::pair<std::string, std::string>>;
    // The parsed body (null for an empty one) and the answer's header fields.
    using CompletionAction =
        std::function<void(const platform::Value& json, const platform::net::HTTPHeaders& headers)>;
    using FailureAction = std::function<void(const platform::Error& error)>;

    explicit ZDRESTClient(Configuration configuration);
    // Cancels the requests still running; their failure actions are queued.
    ~ZDRESTClient();
    ZDRESTClient(const ZDRESTClient&) = delete;
    ZDRESTClient& operator=(const ZDRESTClient&) = delete;

    const Configuration& configuration() const { return mConfiguration; }

    // Sends `method` to the base address with the path segments added, each
    // percent-encoded as one segment (so an identifier can never change the
    // route), and the query items. `body` is sent as JSON when given.
    void sendRequest(const std::string& method, const std::vector<std::string>& pathSegments,
                     const QueryItems& queryItems, const std::optional<platform::Value>& body,
                     const std::optional<Credentials>& credentials, CompletionAction completionAction,
                     FailureAction failureAction);

private:
    class Delegate;

    // The request, or nothing when the segments and items make no URL.
    std::optional<platform::net::URLRequest> makeRequest(const std::string& method,
                                                         const std::vector<std::string>& pathSegments,
                                                         const QueryItems& queryItems,
                                                         const std::optional<platform::Value>& body,
                                                         const std::optional<Credentials>& credentials) const;

    Configuration mConfiguration;
    std::shared_ptr<Delegate> mDelegate;
    std::shared_ptr<platform::net::URLSession> mSession;
};
