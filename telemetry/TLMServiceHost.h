#pragma once
// What a service asks of the client that started it. The client
// (TLMTelemetry) hands itself to each service it starts, so the service base
// needs nothing of the client's own header.

class TLMServiceHost {
public:
    // The tag of the client's own messages.
    static constexpr const char* kLogTag = "Telemetry";

    // True once a start string has configured the client.
    virtual bool isSdkConfigured() const = 0;
    // The whole client's switch: configured and enabled.
    virtual bool isClientEnabled() const = 0;
    // True while the client is switching its services on or off.
    virtual bool isEnabledStateUpdating() const = 0;

protected:
    // Never deleted through the interface: the client lives as long as the
    // process.
    ~TLMServiceHost() = default;
};
