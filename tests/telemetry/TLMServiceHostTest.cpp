// The service base asks the host that started it, not the client's
// singleton: a service started by a host of its own follows that host, while
// the client in this process is never configured.

#include "tests/telemetry/TLMLogCapture.h"

#include "telemetry/TLMServiceAbstract.h"
#include "telemetry/TLMServiceHost.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class FakeHost : public TLMServiceHost {
public:
    bool isSdkConfigured() const override { return configured; }
    bool isClientEnabled() const override { return enabled; }
    bool isEnabledStateUpdating() const override { return updating; }

    bool configured = true;
    bool enabled = true;
    bool updating = false;
};

class HostedService : public TLMServiceAbstract {
public:
    HostedService() : TLMServiceAbstract("Hosted") {}
    std::string serviceName() const override { return "Hosted"; }
    std::string logTag() const override { return "HostedTag"; }

    bool isEnabled() { return classIsEnabled(*this); }
    void setEnabled(bool isEnabled) { classSetEnabled(*this, isEnabled); }
};

TEST(TLMServiceHost, TheServiceFollowsTheHostThatStartedIt) {
    TLMLogger::setCurrentLogLevel(TLMLogLevelVerbose);
    TLMLogCapture capture;
    FakeHost host;
    HostedService service;

    // Not started: not usable, whatever the host says, and the client's tag
    // carries the error.
    EXPECT_FALSE(service.canBeUsed());
    EXPECT_FALSE(service.isEnabled());
    EXPECT_TRUE(capture.hasMessage(TLMLogLevelError,
                                   "Hosted service hasn't been started. You need to call [TLMTelemetry "
                                   "start:YOUR_APP_SECRET withServices:LIST_OF_SERVICES] first."));
    EXPECT_EQ(capture.linesAt(TLMLogLevelError).front().tag, "Telemetry");

    service.startWithChannelGroup(host, nullptr, std::nullopt, std::nullopt, true);
    EXPECT_TRUE(service.canBeUsed());
    EXPECT_TRUE(service.isEnabled());
    host.configured = false;
    EXPECT_FALSE(service.canBeUsed());
    host.configured = true;

    // A host switched off refuses the switch, unless it is the one switching.
    host.enabled = false;
    capture.clear();
    service.setEnabled(false);
    EXPECT_TRUE(service.isInstanceEnabled());
    EXPECT_TRUE(capture.hasMessage(
        TLMLogLevelError,
        "The SDK is disabled. Re-enable the whole SDK from Telemetry first before enabling Hosted service."));
    host.updating = true;
    service.setEnabled(false);
    EXPECT_FALSE(service.isInstanceEnabled());
    host.updating = false;
    host.enabled = true;
    service.setEnabled(true);
    EXPECT_TRUE(service.isInstanceEnabled());
}

}  // namespace
