#include "crashes/TelemetryCrashes/TLMWrapperCrashesHelper.h"

#include "crashes/TelemetryCrashes/TLMCrashes.h"

#include <mutex>

namespace {

std::mutex gMutex;
std::weak_ptr<TLMCrashHandlerSetupDelegate> gSetupDelegate;

}  // namespace

void TLMWrapperCrashesHelper::setCrashHandlerSetupDelegate(std::weak_ptr<TLMCrashHandlerSetupDelegate> delegate) {
    std::lock_guard guard(gMutex);
    gSetupDelegate = std::move(delegate);
}

std::shared_ptr<TLMCrashHandlerSetupDelegate> TLMWrapperCrashesHelper::crashHandlerSetupDelegate() {
    std::lock_guard guard(gMutex);
    return gSetupDelegate.lock();
}

void TLMWrapperCrashesHelper::setAutomaticProcessing(bool automaticProcessing) {
    TLMCrashes::sharedInstance().setAutomaticProcessingEnabled(automaticProcessing);
}

bool TLMWrapperCrashesHelper::automaticProcessing() {
    return TLMCrashes::sharedInstance().isAutomaticProcessingEnabled();
}

std::vector<std::shared_ptr<TLMErrorReport>> TLMWrapperCrashesHelper::unprocessedCrashReports() {
    return TLMCrashes::sharedInstance().unprocessedCrashReports();
}

bool TLMWrapperCrashesHelper::sendCrashReportsOrAwaitUserConfirmationForFilteredIds(
    const std::vector<std::string>& filteredIds) {
    return TLMCrashes::sharedInstance().sendCrashReportsOrAwaitUserConfirmationForFilteredIds(filteredIds);
}

void TLMWrapperCrashesHelper::sendErrorAttachments(
    const std::vector<std::shared_ptr<TLMErrorAttachmentLog>>& attachments, const std::string& incidentIdentifier) {
    TLMCrashes::sendErrorAttachments(attachments, incidentIdentifier);
}

std::shared_ptr<TLMErrorReport> TLMWrapperCrashesHelper::buildHandledErrorReportWithErrorID(
    const std::string& errorId) {
    return TLMCrashes::sharedInstance().buildHandledErrorReportWithErrorID(errorId);
}
