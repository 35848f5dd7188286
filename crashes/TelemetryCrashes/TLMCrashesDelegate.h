#pragma once
// What the app may decide about and add to the crash reports the crashes
// service sends. Every method has a neutral default.

#include "platform/foundation/Error.h"

#include <memory>
#include <vector>

class TLMCrashes;
class TLMErrorAttachmentLog;
class TLMErrorReport;

class TLMCrashesDelegate {
public:
    virtual ~TLMCrashesDelegate() = default;
    // Asked for each stored report on the processing queue; false drops it.
    virtual bool crashesShouldProcessErrorReport(TLMCrashes& crashes, const TLMErrorReport& report) {
        (void)crashes, (void)report;
        return true;
    }
    // Asked once per report as it is sent, on the sending thread: the
    // attachments to send with it (none by default).
    virtual std::vector<std::shared_ptr<TLMErrorAttachmentLog>> attachmentsWithCrashes(TLMCrashes& crashes,
                                                                                       const TLMErrorReport& report) {
        (void)crashes, (void)report;
        return {};
    }
    // The progress of a crash report's transmission, on the main thread.
    virtual void crashesWillSendErrorReport(TLMCrashes& crashes, const TLMErrorReport& report) {
        (void)crashes, (void)report;
    }
    virtual void crashesDidSucceedSendingErrorReport(TLMCrashes& crashes, const TLMErrorReport& report) {
        (void)crashes, (void)report;
    }
    virtual void crashesDidFailSendingErrorReport(TLMCrashes& crashes, const TLMErrorReport& report,
                                                  const platform::Error& error) {
        (void)crashes, (void)report, (void)error;
    }
};
