#pragma once
// Announces a new session; it carries the session's id itself, so the
// session tracker leaves its "sid" alone.

#include "telemetry/core/Model/TLMAbstractLog.h"
#include "telemetry/core/Model/TLMNoAutoAssignSessionIdLog.h"

class TLMStartSessionLog : public TLMAbstractLog, public TLMNoAutoAssignSessionIdLog {
public:
    TLMStartSessionLog() { setType("startSession"); }
    explicit TLMStartSessionLog(const TLMKeyedUnarchiver& coder) : TLMAbstractLog(coder) {}

    bool isEqual(const TLMCoding& other) const override {
        return dynamic_cast<const TLMStartSessionLog*>(&other) != nullptr && TLMAbstractLog::isEqual(other);
    }
};
