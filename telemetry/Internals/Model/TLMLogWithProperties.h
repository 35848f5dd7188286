#pragma once
// A log that carries a dictionary of string properties.

#include "telemetry/Internals/Model/TLMAbstractLog.h"

#include <map>
#include <string>

class TLMLogWithProperties : public TLMAbstractLog {
public:
    using Properties = std::map<std::string, std::string>;

    const Properties& properties() const { return mProperties; }
    void setProperties(Properties properties) { mProperties = std::move(properties); }

private:
    Properties mProperties;
};
