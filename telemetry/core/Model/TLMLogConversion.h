#pragma once
// A log that can be sent to the unified collector: it turns into one
// unified-schema log per transmission-target token.

#include "telemetry/TLMFlags.h"

#include <memory>
#include <vector>

class TLMUnifiedSchemaLog;

class TLMLogConversion {
public:
    virtual ~TLMLogConversion() = default;

    // One unified-schema log per token, each carrying the flags; empty for a
    // log without tokens, which then goes nowhere on that path.
    virtual std::vector<std::shared_ptr<TLMUnifiedSchemaLog>> toUnifiedSchemaLogsWithFlags(TLMFlags flags) const = 0;
};
