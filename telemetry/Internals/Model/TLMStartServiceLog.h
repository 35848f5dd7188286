#pragma once
// The log that announces which services the client started, and whether
// logs also go to the unified collector (a default transmission target is
// configured).

#include "telemetry/core/Model/TLMAbstractLog.h"
#include "telemetry/core/Model/TLMNoAutoAssignSessionIdLog.h"

#include <optional>
#include <string>
#include <vector>

class TLMStartServiceLog : public TLMAbstractLog, public TLMNoAutoAssignSessionIdLog {
public:
    // Of type "startService".
    TLMStartServiceLog();
    explicit TLMStartServiceLog(const TLMKeyedUnarchiver& coder);

    // The names of the started services; none when not set.
    const std::optional<std::vector<std::string>>& services() const { return mServices; }
    void setServices(std::optional<std::vector<std::string>> services) { mServices = std::move(services); }
    bool isUnifiedCollectorEnabled() const { return mUnifiedCollectorEnabled; }
    void setUnifiedCollectorEnabled(bool enabled) { mUnifiedCollectorEnabled = enabled; }

    // The base's keys; with services set, "services" and
    // "isUnifiedCollectorEnabled" after them, neither without.
    TLMOrderedDictionary serializeToDictionary() const override;
    // Another start-service log, equal in the base's fields and the
    // services; the unified-collector flag is not compared.
    bool isEqual(const TLMCoding& other) const override;
    // The base's fields, "services" and "isUnifiedCollectorEnabled".
    void encodeWithCoder(TLMKeyedArchiver& coder) const override;

private:
    std::optional<std::vector<std::string>> mServices;
    bool mUnifiedCollectorEnabled = false;
};
