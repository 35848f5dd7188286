// One launch of the app's telemetry on a home shared with another: the
// whole client and a unit of critical logs as the crashes service's, on a
// virtual clock. Arguments: the home, the ingestion URL and a tag, every
// log's data-residency region. Says "ready", then answers each line once
// the logs queue has done it: "store <e> <c>" (e events "<tag>-event-<i>",
// c critical logs "<tag>-crash-<i>") and "advance <s>" (the clock) with
// "ok"; "idle" waits (20 s at most) until no HTTP call is left and answers
// "sender" when this process sends the stored logs, else "storer". "exit"
// ends the process normally while the logs queue still saves an event, as a
// save that outlasts the app's end wait does; the save goes on while the
// statics are destroyed and "saved <stored logs>" comes once it is done.

#include "platform/dispatch/Clock.h"
#include "platform/foundation/Paths.h"
#include "platform/net/Reachability.h"
#include "telemetry/Internals/Channel/TLMChannelGroupDefault.h"
#include "telemetry/Internals/Model/TLMEventLog.h"
#include "telemetry/TLMAnalytics.h"
#include "telemetry/TLMTelemetry.h"
#include "telemetry/core/Util/TLMUuid.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

namespace {

class LinksUp final : public platform::net::ReachabilitySource {
public:
    std::optional<std::uint32_t> flagsFor(const platform::net::ReachabilityTarget&) override {
        return platform::net::ReachabilityFlagReachable;
    }
    bool startWatching(std::function<void()>) override { return true; }
    void stopWatching() override {}
};

// Set by the logs queue and the last exit handler; nothing to destroy.
std::atomic<bool> gExiting{false};
std::atomic<bool> gTornDown{false};
std::atomic<long> gSavedCount{-1};

// Registered first, so run last: after the destructors of every static the
// client made.
void LetTheSaveFinish() {
    if (!gExiting) return;
    gTornDown = true;
    for (int wait = 0; wait < 2000 && gSavedCount < 0; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    char text[64];
    const int length = std::snprintf(text, sizeof text, "saved %ld\n", gSavedCount.load());
    if (length > 0) (void)!write(STDOUT_FILENO, text, static_cast<std::size_t>(length));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    std::atexit(LetTheSaveFinish);
    const std::string tag = argv[3];
    platform::Paths::setRoot(argv[1]);
    auto clock = std::make_shared<platform::VirtualClock>();
    platform::ScopedClock scopedClock(clock);
    platform::net::ReachabilitySource::setShared(std::make_shared<LinksUp>());
    TLMTelemetry::setLogUrl(argv[2]);
    TLMTelemetry::setDataResidencyRegion(tag);
    TLMTelemetry::start("7d3f0c21-9a4e-4b6b-8e15-2c90f4a6d7e3", {&TLMAnalytics::sharedInstance});
    const std::shared_ptr<TLMChannelGroupDefault> group = TLMTelemetry::sharedInstance().channelGroup();
    if (!group) return 3;
    const auto crashes = group->addChannelUnitWithConfiguration(TLMChannelUnitConfiguration("Crashes", 2, 1, 1, 3));

    int logs = 0;
    std::string line;
    std::cout << "ready" << std::endl;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::string command;
        long first = 0;
        long second = 0;
        words >> command >> first >> second;
        group->logsDispatchQueue()->sync([] {});
        std::string answer = "ok";
        if (command == "store") {
            for (long i = 0; i < first; ++i) TLMAnalytics::trackEvent(tag + "-event-" + std::to_string(logs++));
            for (long i = 0; i < second; ++i) {
                auto log = std::make_shared<TLMEventLog>();
                log->setName(tag + "-crash-" + std::to_string(logs++));
                log->setEventId(TLMNewUuidString());
                crashes->enqueueItem(std::move(log), TLMFlagsCritical);
            }
        } else if (command == "advance") {
            clock->advance(std::chrono::seconds(first));
        } else if (command == "exit") {
            gExiting = true;
            group->logsDispatchQueue()->async([] {
                while (!gTornDown) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            });
            TLMAnalytics::trackEvent(tag + "-late");
            group->logsDispatchQueue()->async([storage = group->storage()] {
                const auto count = storage->countLogsWithGroupId("Analytics");
                gSavedCount = count ? static_cast<long>(*count) : -2;
            });
            std::exit(0);
        } else if (command == "idle") {
            for (int wait = 0; wait < 2000 && !group->httpClient()->pendingCalls().empty(); ++wait) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            answer = group->isSender() ? "sender" : "storer";
        }
        group->logsDispatchQueue()->sync([] {});
        std::cout << answer << std::endl;
    }
    // At once, the client's queues still running, as when the app is ended.
    std::_Exit(0);
}
