#pragma once
// Reports in the log whether application forwarding is switched on by the
// bundle's configuration key; it installs nothing.

class TLMApplicationForwarder {
public:
    static constexpr const char* kEnabledKey = "TelemetryApplicationForwarderEnabled";

    static void registerForwarding();
};
