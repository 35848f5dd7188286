#pragma once
// Marks a log that the session tracker gives no session identifier.

class TLMNoAutoAssignSessionIdLog {
public:
    virtual ~TLMNoAutoAssignSessionIdLog() = default;
};
