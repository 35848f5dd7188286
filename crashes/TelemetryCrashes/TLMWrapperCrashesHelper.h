#pragma once
// The entry through which a wrapper SDK (another runtime embedding the
// client) reaches the crashes service: it may hold back automatic
// processing, pick the reports to send and take part in setting up the
// crash handlers.

#include "crashes/TelemetryCrashes/Model/TLMErrorAttachmentLog.h"
#include "crashes/TelemetryCrashes/Model/TLMErrorReport.h"

#include <memory>
#include <string>
#include <vector>

// Asked by the crashes service around installing its crash handlers.
class TLMCrashHandlerSetupDelegate {
public:
    virtual ~TLMCrashHandlerSetupDelegate() = default;
    virtual void willSetUpCrashHandlers() {}
    virtual void didSetUpCrashHandlers() {}
    // False leaves the uncaught-exception handler to the wrapper runtime.
    virtual bool shouldEnableUncaughtExceptionHandler() { return true; }
};

class TLMWrapperCrashesHelper {
public:
    // Held weakly.
    static void setCrashHandlerSetupDelegate(std::weak_ptr<TLMCrashHandlerSetupDelegate> delegate);
    static std::shared_ptr<TLMCrashHandlerSetupDelegate> crashHandlerSetupDelegate();

    static void setAutomaticProcessing(bool automaticProcessing);
    static bool automaticProcessing();
    static std::vector<std::shared_ptr<TLMErrorReport>> unprocessedCrashReports();
    static bool sendCrashReportsOrAwaitUserConfirmationForFilteredIds(const std::vector<std::string>& filteredIds);
    static void sendErrorAttachments(const std::vector<std::shared_ptr<TLMErrorAttachmentLog>>& attachments,
                                     const std::string& incidentIdentifier);
    static std::shared_ptr<TLMErrorReport> buildHandledErrorReportWithErrorID(const std::string& errorId);
};
