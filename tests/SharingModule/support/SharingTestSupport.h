#pragma once
// Shared pieces of the sharing client's tests: analytics events and
// notifications recorded from any thread, the main loop run until
// something happens, and a fixture with a blob service and a sharing
// service stand-in running and a client on them. None of it uses the code
// under test beyond constructing it.

#include "SharingModule/Model/QLSharedLayoutsClient.h"
#include "SharingModule/Model/VKMSharedLayoutsUser.h"
#include "engine/services/ActivityAnalyticsService.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Value.h"
#include "tests/SharingModule/support/SharingTestServer.h"
#include "tests/storage/support/StorageTestServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sharingtest {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

// The analytics events the client reports, from any thread; registered as
// the analytics service once per test process.
class RecordedEvents : public ActivityAnalyticsServiceBase {
public:
    std::string GetServiceName() const override { return "ActivityAnalyticsService"; }
    void TrackEvent(const std::string& name) override { TrackEvent(name, {}); }
    void TrackEvent(const std::string& name, const tEventProperties& properties) override;
    // How many "CloudAPIError" events named the request.
    int cloudErrors(const std::string& request) const;
    // Forgets the events kept so far.
    void forget();

private:
    mutable std::mutex mMutex;
    std::vector<std::pair<std::string, tEventProperties>> mEvents;
};
RecordedEvents& Events();

// After each test of a program run as one process: empties the sharing
// client's caches, in memory and on disk, and waits until their indexes are
// written, so that the app root can go and nothing is written into the
// next test's; lets the user names be read from their file again; forgets
// the recorded events.
void ForgetSharingState();

// The posts of one notification name: user info and whether each came on
// the main thread.
class NotificationRecorder {
public:
    struct Post {
        platform::Value userInfo;
        bool onMainThread = false;
    };
    explicit NotificationRecorder(const std::string& name);
    std::vector<Post> posts() const;
    std::size_t count() const;

private:
    struct State {
        std::mutex mutex;
        std::vector<Post> posts;
    };
    std::shared_ptr<State> mState = std::make_shared<State>();
    platform::NotificationCenter::ObserverToken mToken;
};

// Runs the main loop until `done` holds (also when another thread makes it
// hold); false when it did not within the time (real time: it guards
// against hangs, it times nothing).
bool runMainUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 30s);
// Runs the main loop for a while, for what must not happen.
void runMainFor(std::chrono::milliseconds duration);

// A PNG picture of the test-support writer.
Bytes picture(int side, std::uint32_t seed);

class SharingServerTest : public ::testing::Test {
protected:
    void SetUp() override;

    QLSharedLayoutsClient::Configuration configuration() const;
    // Stores the user and password as the log-in does.
    void signIn(const std::string& userId, const std::string& password);

    // Moves itself whenever a thread sleeps on it, so retry waits take no time.
    std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>();
    platform::ScopedClock installedClock{clock};
    testsupport::StorageTestServer blobs;
    SharingTestServer sharing;
    std::shared_ptr<VKMSharedLayoutsUser> user;
    std::shared_ptr<QLSharedLayoutsClient> client;
};

}  // namespace sharingtest
