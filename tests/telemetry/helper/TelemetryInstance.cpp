// One launch of the app's telemetry for the tests of processes that share
// a home: the whole client (the analytics service, and a unit of critical
// logs configured as the crashes service's) on a virtual clock, with the
// links up, sending to the ingestion test server. Driven a line at a time
// from standard input:
//   track <n>    n analytics events "<tag>-event-<i>", numbered on
//   crash <n>    n critical logs "<tag>-crash-<i>" on the unit "Crashes"
//   advance <s>  moves the clock s seconds
//   idle         waits (20 s at most) until no call of the HTTP client is
//                left
//   role         "sender" when this process sends the stored logs, else
//                "storer"
//   exit         ends the process at once
// Every command first waits for what the logs queue holds, and is answered
// with one line ("ok" or the role) once done.
//
// Arguments: the home (app root), the ingestion server's base URL and the
// tag, written into every log as its data-residency region so that the
// server's record tells the processes apart.

#include "platform/dispatch/Clock.h"
#include "platform/foundation/Paths.h"
#include "platform/net/Reachability.h"
#include "telemetry/Internals/Channel/TLMChannelGroupDefault.h"
#include "telemetry/Internals/Model/TLMEventLog.h"
#include "telemetry/TLMAnalytics.h"
#include "telemetry/TLMTelemetry.h"
#include "telemetry/core/Util/TLMUuid.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

namespace {

const char* const kAppSecret = "7d3f0c21-9a4e-4b6b-8e15-2c90f4a6d7e3";

class LinksUp final : public platform::net::ReachabilitySource {
public:
    std::optional<std::uint32_t> flagsFor(const platform::net::ReachabilityTarget&) override {
        return platform::net::ReachabilityFlagReachable;
    }
    bool startWatching(std::function<void()>) override { return true; }
    void stopWatching() override {}
};

void answer(const std::string& line) { std::cout << line << std::endl; }

// Ends at once: the client's queues still run, as when the app is ended.
[[noreturn]] void end(int status) {
    std::fflush(stdout);
    std::_Exit(status);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <home> <ingestion base URL> <tag>\n", argv[0]);
        return 2;
    }
    const std::string tag = argv[3];
    platform::Paths::setRoot(argv[1]);
    auto clock = std::make_shared<platform::VirtualClock>();
    platform::ScopedClock scopedClock(clock);
    platform::net::ReachabilitySource::setShared(std::make_shared<LinksUp>());

    TLMTelemetry::setLogUrl(argv[2]);
    TLMTelemetry::setDataResidencyRegion(tag);
    TLMTelemetry::start(kAppSecret, {&TLMAnalytics::sharedInstance});
    const std::shared_ptr<TLMChannelGroupDefault> group = TLMTelemetry::sharedInstance().channelGroup();
    if (!group) return 3;
    // As the crashes service configures its unit: priority 2, one log a batch.
    const std::shared_ptr<TLMChannelUnitDefault> crashes =
        group->addChannelUnitWithConfiguration(TLMChannelUnitConfiguration("Crashes", 2, 1, 1, 3));

    int events = 0;
    int crashLogs = 0;
    std::string line;
    answer("ready");
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::string command;
        long count = 0;
        words >> command >> count;
        group->logsDispatchQueue()->sync([] {});
        if (command == "track") {
            for (long i = 0; i < count; ++i) TLMAnalytics::trackEvent(tag + "-event-" + std::to_string(events++));
        } else if (command == "crash") {
            for (long i = 0; i < count; ++i) {
                auto log = std::make_shared<TLMEventLog>();
                log->setName(tag + "-crash-" + std::to_string(crashLogs++));
                log->setEventId(TLMNewUuidString());
                crashes->enqueueItem(std::move(log), TLMFlagsCritical);
            }
        } else if (command == "advance") {
            clock->advance(std::chrono::seconds(count));
        } else if (command == "idle") {
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (!group->httpClient()->pendingCalls().empty() && std::chrono::steady_clock::now() < until) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        } else if (command == "role") {
            answer(group->isSender() ? "sender" : "storer");
            continue;
        } else if (command == "exit") {
            answer("ok");
            end(0);
        }
        group->logsDispatchQueue()->sync([] {});
        answer("ok");
    }
    end(0);
}
