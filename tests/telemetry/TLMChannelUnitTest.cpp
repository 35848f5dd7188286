// A channel unit taking logs in: what it completes on the caller's thread,
// what it refuses or filters, and what switching it off does to the logs it
// stored. The unit is paused, so nothing leaves for the test server.

#include "tests/telemetry/TLMLogCapture.h"
#include "tests/telemetry/support/TelemetryTestSupport.h"

#include "telemetry/Internals/Channel/TLMChannelUnitDefault.h"
#include "telemetry/TLMErrors.h"
#include "telemetry/TLMTelemetry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <semaphore>
#include <string>
#include <thread>

using testsupport::makeEvent;
using testsupport::numberedNames;
using testsupport::storedLogs;
using Kind = testsupport::RecordingChannelDelegate::Kind;

namespace {

const int kPauser = 0;

struct PausedUnit {
    PausedUnit() {
        unit = rig.addUnit("Analytics");
        unit->pauseWithIdentifyingObject(&kPauser);
    }
    std::vector<std::string> storedNames() {
        std::vector<std::string> names;
        for (const auto& log : storedLogs(*rig.group, "Analytics")) {
            names.push_back(std::dynamic_pointer_cast<TLMEventLog>(log)->name());
        }
        return names;
    }

    testsupport::SendingRig rig;
    std::shared_ptr<TLMChannelUnitDefault> unit;
};

}  // namespace

TEST(TLMChannelUnit, RefusesInvalidLogsWithOneWarningEach) {
    struct Case {
        const char* name;
        std::shared_ptr<TLMAbstractLog> log;
        const char* invalidField;  // named in the verbose message, or null
    };
    auto untyped = makeEvent("Named");
    untyped->setType("");
    auto unnamed = makeEvent("");
    auto withoutId = makeEvent("Named");
    withoutId->setEventId("");
    const Case cases[] = {
        {"null log", nullptr, nullptr},
        {"event without a name", unnamed, "name"},
        {"event without an id", withoutId, "eventId"},
        {"log without a type", untyped, "type"},
    };
    PausedUnit paused;
    for (const Case& c : cases) {
        TLMLogCapture capture;
        paused.unit->enqueueItem(c.log, TLMFlagsNormal);
        const std::vector<TLMCapturedLine> warnings = capture.linesAt(TLMLogLevelWarning);
        ASSERT_EQ(warnings.size(), 1u) << c.name;
        EXPECT_EQ(warnings[0].message, "Log is not valid.") << c.name;
        if (c.invalidField != nullptr) {
            const std::vector<TLMCapturedLine> verbose = capture.linesAt(TLMLogLevelVerbose);
            ASSERT_EQ(verbose.size(), 1u) << c.name;
            EXPECT_EQ(verbose[0].message, std::string("TLMEventLog: \"") + c.invalidField + "\" is not valid.")
                << c.name;
        }
    }
    EXPECT_TRUE(paused.storedNames().empty());
    EXPECT_EQ(paused.rig.delegate->count(Kind::Prepare), 0u);
    EXPECT_EQ(paused.rig.delegate->count(Kind::DidComplete), 0u);
}

TEST(TLMChannelUnit, CompletesLogsOnTheCallersThreadAndStoresThemInOrder) {
    PausedUnit paused;
    const auto clockDate = std::chrono::system_clock::time_point(std::chrono::seconds(1'700'000'000));
    paused.rig.clock->setDate(clockDate);
    TLMTelemetry::setDataResidencyRegion("eu");
    const auto fixed = std::chrono::system_clock::time_point(std::chrono::seconds(1'500'000'000));
    auto dated = makeEvent("Dated");
    dated->setTimestamp(fixed);
    dated->setDataResidencyRegion("us");
    auto undated = makeEvent("Undated");

    std::thread caller([&] {
        paused.unit->enqueueItem(dated, TLMFlagsNormal);
        paused.unit->enqueueItem(undated, TLMFlagsCritical);
        // Prepared before enqueueItem returned, on this thread.
        EXPECT_EQ(paused.rig.delegate->eventNames(Kind::Prepare), (std::vector<std::string>{"Dated", "Undated"}));
        EXPECT_EQ(paused.rig.delegate->eventNames(Kind::DidPrepare), (std::vector<std::string>{"Dated", "Undated"}));
    });
    caller.join();

    EXPECT_EQ(*dated->timestamp(), fixed);
    EXPECT_EQ(dated->dataResidencyRegion(), "us");
    ASSERT_TRUE(undated->timestamp().has_value());
    EXPECT_EQ(*undated->timestamp(), clockDate);  // the platform clock's date, not the system's
    EXPECT_EQ(undated->dataResidencyRegion(), "eu");
    ASSERT_NE(undated->device(), nullptr);

    // The critical log is loaded first, but both are stored in order.
    EXPECT_EQ(paused.storedNames(), (std::vector<std::string>{"Dated", "Undated"}));
    EXPECT_EQ(paused.rig.delegate->eventNames(Kind::DidComplete), (std::vector<std::string>{"Dated", "Undated"}));
    TLMTelemetry::setDataResidencyRegion(std::nullopt);
}

TEST(TLMChannelUnit, FilteredLogsAreNotStoredButCompleted) {
    PausedUnit paused;
    paused.rig.delegate->setFilteredName("Noise");
    paused.unit->enqueueItem(makeEvent("Kept"), TLMFlagsNormal);
    paused.unit->enqueueItem(makeEvent("Noise"), TLMFlagsNormal);
    EXPECT_EQ(paused.storedNames(), std::vector<std::string>{"Kept"});
    EXPECT_EQ(paused.rig.delegate->eventNames(Kind::DidComplete), (std::vector<std::string>{"Kept", "Noise"}));
}

TEST(TLMChannelUnit, DisablingDeletesStoredLogsOnlyWhenAskedAndReportsThemFailed) {
    PausedUnit paused;
    paused.rig.enqueueEvents(*paused.unit, "Stored", 3);

    paused.unit->setEnabled(false, false);
    paused.unit->enqueueItem(makeEvent("WhileOff"), TLMFlagsNormal);
    EXPECT_EQ(paused.storedNames(), testsupport::numberedNames("Stored", 3));  // kept: no deletion asked
    EXPECT_FALSE(paused.unit->isEnabled());
    EXPECT_EQ(paused.rig.delegate->count(Kind::DidFail), 0u);

    paused.unit->setEnabled(false, true);
    EXPECT_TRUE(paused.storedNames().empty());
    const auto failures = paused.rig.delegate->events(Kind::DidFail);
    ASSERT_EQ(failures.size(), 3u);
    EXPECT_EQ(paused.rig.delegate->eventNames(Kind::DidFail), testsupport::numberedNames("Stored", 3));
    for (const auto& failure : failures) {
        ASSERT_TRUE(failure.error.has_value());
        EXPECT_EQ(failure.error->domain(), kTLMErrorDomain);
        EXPECT_EQ(failure.error->code(), TLMErrorChannelDisabled);
    }

    paused.unit->setEnabled(true, true);
    paused.unit->enqueueItem(makeEvent("On"), TLMFlagsNormal);
    EXPECT_EQ(paused.storedNames(), std::vector<std::string>{"On"});
    // Nothing was sent meanwhile.
    EXPECT_TRUE(paused.rig.server.requests().empty());
}

TEST(TLMChannelUnit, LogsAreStoredInTheOrderOfTheSwitchesAroundThemWhoeverSavesThem) {
    PausedUnit paused;
    paused.rig.drain();
    // The logs queue is held while the calls are made, so the first block
    // to run finds every log waiting and saves what it may in one go.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    paused.rig.group->logsDispatchQueue()->async([released] { released.wait(); });
    paused.rig.enqueueEvents(*paused.unit, "Before", 2);
    paused.unit->setEnabled(false, false);
    paused.rig.enqueueEvents(*paused.unit, "WhileOff", 2);
    paused.unit->setEnabled(true, false);
    paused.rig.enqueueEvents(*paused.unit, "After", 1);
    release.set_value();

    EXPECT_EQ(paused.storedNames(), (std::vector<std::string>{"Before0", "Before1", "After0"}));
    EXPECT_EQ(paused.rig.delegate->eventNames(Kind::DidComplete),
              (std::vector<std::string>{"Before0", "Before1", "WhileOff0", "WhileOff1", "After0"}));
}

TEST(TLMChannelUnit, ABurstWaitingForTheLogsQueueIsStoredWholeAndInOrder) {
    PausedUnit paused;
    paused.rig.drain();
    TLMLogCapture capture;
    // Far more than one save takes: while the log database takes saves,
    // none is dropped for waiting.
    std::binary_semaphore queueHeld(0);
    paused.rig.group->logsDispatchQueue()->async([&queueHeld] { queueHeld.acquire(); });
    const std::vector<std::string> names = numberedNames("Burst", 2000);
    for (const std::string& name : names) paused.unit->enqueueItem(makeEvent(name), TLMFlagsNormal);
    EXPECT_EQ(paused.unit->waitingLogCount(), names.size());
    EXPECT_EQ(paused.rig.delegate->count(Kind::DidComplete), 0u);
    queueHeld.release();

    EXPECT_EQ(paused.storedNames(), names);
    EXPECT_EQ(paused.rig.delegate->eventNames(Kind::DidComplete), names);
    EXPECT_TRUE(capture.linesAt(TLMLogLevelWarning).empty());
}
