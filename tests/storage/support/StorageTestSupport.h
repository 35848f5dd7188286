#pragma once
// Shared pieces of the storage tests: test bytes, completion catchers, error
// readers, request-log filters, a fixture with a running blob service
// stand-in and a client on it, and the readers of built requests. All of it
// is independent of the code under test.

#include "platform/dispatch/Clock.h"
#include "platform/foundation/Error.h"
#include "platform/net/URL.h"
#include "platform/net/URLRequest.h"
#include "storage/BLSCloudBlobContainer.h"
#include "storage/BLSCloudClient.h"
#include "storage/BLSErrors.h"
#include "storage/BLSOperationContext.h"
#include "tests/storage/support/StorageTestServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace storagetest {

using testsupport::RecordedRequest;
using testsupport::StorageTestServer;
using Bytes = std::vector<std::uint8_t>;
using ErrorOut = std::optional<platform::Error>;
using ErrorCompletion = std::function<void(const ErrorOut&)>;

constexpr std::size_t kMiB = 1024 * 1024;

// Deterministic bytes that no piece of the client computes.
Bytes patternBytes(std::size_t count, std::uint32_t seed = 1);
Bytes textBytes(const std::string& text);

// Collects the arguments of one completion and counts the calls; get()
// waits for the first (the wait guards against hangs, it times nothing).
template <typename... Values>
class Awaited {
    struct State {
        std::mutex mutex;
        std::condition_variable cv;
        int calls = 0;
        std::optional<std::tuple<Values...>> values;
    };

public:
    auto handler() {
        return [state = mState](const auto&... args) {
            {
                std::lock_guard<std::mutex> lock(state->mutex);
                if (++state->calls == 1) state->values.emplace(args...);
            }
            state->cv.notify_all();
        };
    }
    std::tuple<Values...> get() {
        std::unique_lock<std::mutex> lock(mState->mutex);
        if (!mState->cv.wait_for(lock, std::chrono::seconds(120), [&] { return mState->calls > 0; })) {
            ADD_FAILURE() << "the completion was never called";
            return {};
        }
        return *mState->values;
    }
    int calls() const {
        std::lock_guard<std::mutex> lock(mState->mutex);
        return mState->calls;
    }

private:
    std::shared_ptr<State> mState = std::make_shared<State>();
};

// Runs one operation whose completion takes only an error, waits for it and
// expects exactly one call.
ErrorOut awaitError(const std::function<void(ErrorCompletion)>& start);

// The HTTP status, service error code and description an error carries
// (-1 / empty when it has none).
long statusOf(const platform::Error& error);
std::string serviceCodeOf(const platform::Error& error);
std::string descriptionOf(const platform::Error& error);

// The service requests of one operation kind, in arrival order.
std::vector<RecordedRequest> requestsFor(const StorageTestServer& server, const std::string& operation);

// A virtual clock that moves itself whenever a thread sleeps on it: the
// waits before retries take no real time, and the clock shows them.
std::shared_ptr<platform::VirtualClock> autoAdvancingClock();

// A running stand-in and a shared-key client on it made from the server's
// connection string, on an auto-advancing virtual clock: retries go out at
// once.
class StorageServerTest : public ::testing::Test {
protected:
    void SetUp() override;

    // A client of the server's account signing with `key` (base64).
    std::shared_ptr<BLSCloudBlobClient> clientWithKey(const std::string& key);
    // A container created on the service by a request of the client.
    std::shared_ptr<BLSCloudBlobContainer> createdContainer(const std::string& name);
    // A context whose operations are tried once.
    std::shared_ptr<BLSOperationContext> noRetryContext();

    ErrorOut await(const std::function<void(ErrorCompletion)>& start) { return awaitError(start); }

    std::shared_ptr<platform::VirtualClock> clock = autoAdvancingClock();
    platform::ScopedClock installedClock{clock};
    StorageTestServer server;
    std::shared_ptr<BLSCloudBlobClient> client;
};

// Built requests: the address parts, the header fields in order, and whether
// a header holds a line break or another control character.
using Headers = std::vector<std::pair<std::string, std::string>>;
inline const std::pair<std::string, std::string> kVersion{"x-bs-version", "2016-03-14"};

platform::net::URLComponents componentsOf(const char* text);
Headers headersOf(const platform::net::URLRequest& request);
bool hasLineBreakOrControl(const platform::net::URLRequest& request);

}  // namespace storagetest
