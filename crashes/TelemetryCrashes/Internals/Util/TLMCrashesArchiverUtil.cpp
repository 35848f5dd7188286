#include "crashes/TelemetryCrashes/Internals/Util/TLMCrashesArchiverUtil.h"

#include "crashes/TelemetryCrashes/Internals/Model/TLMAppleErrorLog.h"
#include "crashes/TelemetryCrashes/Internals/Model/TLMBinary.h"
#include "crashes/TelemetryCrashes/Internals/Model/TLMHandledErrorLog.h"
#include "crashes/TelemetryCrashes/Internals/Model/TLMThread.h"
#include "crashes/TelemetryCrashes/Internals/Model/TLMWrapperException.h"
#include "crashes/TelemetryCrashes/Model/TLMErrorAttachmentLog.h"
#include "crashes/TelemetryCrashes/Model/TLMExceptionModel.h"
#include "crashes/TelemetryCrashes/Model/TLMStackFrame.h"
#include "crashes/TelemetryCrashes/Model/TLMWrapperExceptionModel.h"
#include "telemetry/Model/TLMDevice.h"
#include "telemetry/core/Util/TLMUtility.h"

std::vector<TLMArchiveClass> TLMCrashesArchiverUtil::crashesModuleClasses() {
    // The error report is only handed to the app and never archived.
    return {
        TLMArchiveClass::of<TLMAppleErrorLog>(),
        TLMArchiveClass::date(),
        TLMArchiveClass::of<TLMDevice>(),
        TLMArchiveClass::of<TLMThread>(),
        TLMArchiveClass::of<TLMWrapperException>(),
        TLMArchiveClass::of<TLMAbstractErrorLog>(),
        TLMArchiveClass::of<TLMHandledErrorLog>(),
        TLMArchiveClass::of<TLMWrapperExceptionModel>(),
        TLMArchiveClass::of<TLMStackFrame>(),
        TLMArchiveClass::of<TLMBinary>(),
        TLMArchiveClass::of<TLMErrorAttachmentLog>(),
        TLMArchiveClass::of<TLMWrapperSdk>(),
        TLMArchiveClass::uuid(),
        TLMArchiveClass::dictionary(),
        TLMArchiveClass::array(),
        TLMArchiveClass::null(),
        TLMArchiveClass::of<TLMLogWithProperties>(),
        TLMArchiveClass::data(),
        TLMArchiveClass::of<TLMExceptionModel>(),
        TLMArchiveClass::string(),
        TLMArchiveClass::number(),
    };
}

void TLMCrashesArchiverUtil::addAllowedCrashesModuleClasses() { TLMUtility::addAllowedClasses(crashesModuleClasses()); }
