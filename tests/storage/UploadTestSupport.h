#pragma once
// Shared pieces of the upload tests (helper, output stream, block blob):
// completion catchers, test bytes, request-log filters and the block-ID
// decoding, all independent of the code under test.

#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Stream.h"
#include "platform/security/Crypto.h"
#include "storage/BLSCloudBlobContainer.h"
#include "storage/BLSCloudClient.h"
#include "storage/BLSCloudStorageAccount.h"
#include "storage/BLSErrors.h"
#include "storage/BLSExecutor.h"
#include "storage/BLSOperationContext.h"
#include "storage/BLSRetryPolicy.h"
#include "tests/storage/support/StorageTestServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

namespace uploadtest {

using testsupport::RecordedRequest;
using testsupport::StorageTestServer;
using Bytes = std::vector<std::uint8_t>;
using ErrorOut = std::optional<platform::Error>;

constexpr std::size_t kMiB = 1024 * 1024;
constexpr std::size_t kChunk = 4194304;

// Deterministic bytes that no piece of the client computes.
inline Bytes patternBytes(std::size_t count, std::uint32_t seed = 1) {
    Bytes bytes(count);
    std::uint32_t state = seed;
    for (auto& b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

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

inline long statusOf(const platform::Error& error) {
    const long* status = error.userInfoValue<long>(BLSErrorKey::HTTPStatusCode);
    return status ? *status : -1;
}

inline std::string serviceCodeOf(const platform::Error& error) {
    const std::string* code = error.userInfoValue<std::string>(BLSErrorKey::Code);
    return code ? *code : std::string();
}

inline std::string descriptionOf(const platform::Error& error) {
    const std::string* text = error.userInfoValue<std::string>(platform::Error::LocalizedDescriptionKey);
    return text ? *text : std::string();
}

inline std::vector<RecordedRequest> requestsFor(const StorageTestServer& server, const std::string& operation) {
    std::vector<RecordedRequest> result;
    for (auto& request : server.requests()) {
        if (request.operation == operation) result.push_back(request);
    }
    return result;
}

inline std::string percentDecode(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out.push_back(static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// The "blockid" query value of a Put Block, percent-decoded (still base64).
inline std::string blockIdOf(const RecordedRequest& request) {
    std::string query = "&" + request.query;
    auto at = query.find("&blockid=");
    if (at == std::string::npos) return {};
    auto start = at + 9;
    auto end = query.find('&', start);
    return percentDecode(query.substr(start, end == std::string::npos ? std::string::npos : end - start));
}

// True when `id` is base64 of "blockid" and 32 lower-case hex digits.
inline bool isHelperBlockId(const std::string& id) {
    if (id.size() != 52) return false;
    auto decoded = platform::security::base64Decode(id);
    if (!decoded) return false;
    std::string text(decoded->begin(), decoded->end());
    static const std::regex pattern("blockid[0-9a-f]{32}");
    return std::regex_match(text, pattern);
}

inline std::string base64Md5(const Bytes& bytes) {
    auto digest = platform::security::md5(bytes);
    return platform::security::base64Encode(digest);
}

// A fixture with a running server, a client and the container "uploads".
class UploadServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Retries wait no real time.
        BLSExecutor::setRetryWait([](BLSExecutor::Date) {});
        server.start();
        ErrorOut error;
        account = BLSCloudStorageAccount::accountFromConnectionString(server.connectionString(), error);
        ASSERT_TRUE(account) << (error ? error->localizedDescription() : "");
        client = account->getBlobClient();
        ASSERT_TRUE(client);
        freshContainer();
    }
    void TearDown() override { BLSExecutor::setRetryWait({}); }

    // Empties the server (state, log, stats, faults) and creates "uploads".
    void freshContainer() {
        server.reset();
        // Makes the container without an entry in the request log.
        server.preloadBlob("uploads", "placeholder", {});
        container = client->containerReferenceFromName("uploads");
    }

    std::shared_ptr<BLSOperationContext> noRetryContext() {
        auto context = std::make_shared<BLSOperationContext>();
        context->setRetryPolicy(std::make_shared<BLSRetryPolicyNoRetry>());
        return context;
    }

    StorageTestServer server;
    std::shared_ptr<BLSCloudStorageAccount> account;
    std::shared_ptr<BLSCloudBlobClient> client;
    std::shared_ptr<BLSCloudBlobContainer> container;
};

}  // namespace uploadtest
