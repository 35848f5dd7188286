#include "telemetry/Internals/Util/TLMArchiverUtil.h"

#include "telemetry/Internals/Model/TLMAbstractLog.h"
#include "telemetry/Internals/Model/TLMHistoryInfo.h"
#include "telemetry/Internals/Model/TLMLogWithProperties.h"
#include "telemetry/Internals/Model/TLMStartServiceLog.h"
#include "telemetry/Internals/Util/TLMUtility.h"
#include "telemetry/Model/TLMDevice.h"
#include "telemetry/Model/TLMWrapperSdk.h"

std::vector<TLMArchiveClass> TLMArchiverUtil::telemetryModuleClasses() {
    return {
        TLMArchiveClass::of<TLMAbstractLog>(),
        TLMArchiveClass::date(),
        TLMArchiveClass::of<TLMDevice>(),
        TLMArchiveClass::of<TLMStartServiceLog>(),
        TLMArchiveClass::of<TLMHistoryInfo>(),
        TLMArchiveClass::of<TLMLogWithProperties>(),
        TLMArchiveClass::of<TLMWrapperSdk>(),
        TLMArchiveClass::uuid(),
        TLMArchiveClass::dictionary(),
        TLMArchiveClass::array(),
        TLMArchiveClass::null(),
        TLMArchiveClass::string(),
        TLMArchiveClass::number(),
    };
}

void TLMArchiverUtil::addAllowedTelemetryModuleClasses() { TLMUtility::addAllowedClasses(telemetryModuleClasses()); }
