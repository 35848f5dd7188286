#pragma once
// The base of the named analytics logs (events, pages).

#include "telemetry/Internals/Model/TLMLogWithProperties.h"

#include <string>

class TLMLogWithNameAndProperties : public TLMLogWithProperties {
public:
    const std::string& name() const { return mName; }
    void setName(std::string name) { mName = std::move(name); }

    // The base's checks and a non-empty name.
    bool isValid() const override;

private:
    std::string mName;
};
