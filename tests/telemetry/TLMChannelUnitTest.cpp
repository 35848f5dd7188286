// A channel unit on its own: what it accepts, what it refuses, and what
// switching it off does to the logs waiting in it.

#include "tests/telemetry/TLMLogCapture.h"

#include "telemetry/Internals/Channel/TLMChannelUnitDefault.h"
#include "telemetry/Internals/Model/TLMEventLog.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

namespace {

std::shared_ptr<TLMEventLog> makeEvent(const std::string& name, const std::string& eventId) {
    auto event = std::make_shared<TLMEventLog>();
    event->setName(name);
    event->setEventId(eventId);
    return event;
}

TLMChannelUnitDefault makeUnit() {
    return TLMChannelUnitDefault(TLMChannelUnitConfiguration::makeDefaultConfiguration("Analytics"));
}

}  // namespace

TEST(TLMChannelUnit, RefusesInvalidLogsWithOneWarningEach) {
    struct Case {
        const char* name;
        std::shared_ptr<TLMAbstractLog> log;
        const char* invalidField;  // named in the verbose message, or null
    };
    auto untyped = makeEvent("Named", "1");
    untyped->setType("");
    const Case cases[] = {
        {"null log", nullptr, nullptr},
        {"event without a name", makeEvent("", "1"), "name"},
        {"event without an id", makeEvent("Named", ""), "eventId"},
        {"log without a type", untyped, "type"},
    };
    TLMChannelUnitDefault unit = makeUnit();
    for (const Case& c : cases) {
        TLMLogCapture capture;
        unit.enqueueItem(c.log, TLMFlagsNormal);
        EXPECT_EQ(unit.countLogs(), 0u) << c.name;
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
}

TEST(TLMChannelUnit, FillsOnlyMissingTimestampsAndKeepsOrder) {
    TLMChannelUnitDefault unit = makeUnit();
    const auto fixed = std::chrono::system_clock::time_point(std::chrono::seconds(1'500'000'000));
    auto dated = makeEvent("Dated", "1");
    dated->setTimestamp(fixed);
    auto undated = makeEvent("Undated", "2");

    const auto before = std::chrono::system_clock::now();
    unit.enqueueItem(dated, TLMFlagsNormal);
    unit.enqueueItem(undated, TLMFlagsCritical);

    const std::vector<TLMPendingLog> pending = unit.pendingLogs();
    ASSERT_EQ(pending.size(), 2u);
    EXPECT_EQ(pending[0].log, dated);
    EXPECT_EQ(*pending[0].log->timestamp(), fixed);
    EXPECT_EQ(pending[0].flags, TLMFlagsNormal);
    EXPECT_EQ(pending[1].log, undated);
    ASSERT_TRUE(undated->timestamp().has_value());
    EXPECT_GE(*undated->timestamp(), before);
    EXPECT_EQ(pending[1].flags, TLMFlagsCritical);
}

TEST(TLMChannelUnit, DisablingDropsNewLogsAndDeletesWaitingOnesOnlyWhenAsked) {
    TLMChannelUnitDefault unit = makeUnit();
    unit.enqueueItem(makeEvent("Waiting", "1"), TLMFlagsNormal);

    unit.setEnabled(false, false);
    EXPECT_FALSE(unit.isEnabled());
    unit.enqueueItem(makeEvent("WhileOff", "2"), TLMFlagsNormal);
    ASSERT_EQ(unit.countLogs(), 1u);  // kept: no deletion asked
    EXPECT_EQ(std::static_pointer_cast<TLMEventLog>(unit.pendingLogs()[0].log)->name(), "Waiting");

    unit.setEnabled(false, true);
    EXPECT_EQ(unit.countLogs(), 0u);

    unit.setEnabled(true, true);
    unit.enqueueItem(makeEvent("On", "3"), TLMFlagsNormal);
    EXPECT_EQ(unit.countLogs(), 1u);
}
