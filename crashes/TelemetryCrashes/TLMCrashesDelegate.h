#pragma once
// What the app may add to the crash reports the crashes service sends.

#include <memory>
#include <vector>

class TLMCrashes;
class TLMErrorAttachmentLog;
class TLMErrorReport;

class TLMCrashesDelegate {
public:
    virtual ~TLMCrashesDelegate() = default;
    // Asked once per report as it is sent, on the sending thread: the
    // attachments to send with it (none by default).
    virtual std::vector<std::shared_ptr<TLMErrorAttachmentLog>> attachmentsWithCrashes(TLMCrashes& crashes,
                                                                                       const TLMErrorReport& report) {
        (void)crashes, (void)report;
        return {};
    }
};
