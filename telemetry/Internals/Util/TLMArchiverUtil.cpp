#include "telemetry/Internals/Util/TLMArchiverUtil.h"

#include "telemetry/Internals/Model/TLMStartServiceLog.h"
#include "telemetry/Model/TLMDevice.h"
#include "telemetry/Model/TLMWrapperSdk.h"
#include "telemetry/core/Context/TLMHistoryInfos.h"
#include "telemetry/core/Model/TLMAbstractLog.h"
#include "telemetry/core/Model/TLMHistoryInfo.h"
#include "telemetry/core/Model/TLMLogWithProperties.h"
#include "telemetry/core/Model/UnifiedSchema/TLMUnifiedSchemaLog.h"
#include "telemetry/core/Util/TLMUtility.h"

std::vector<TLMArchiveClass> TLMArchiverUtil::telemetryModuleClasses() {
    return {
        TLMArchiveClass::of<TLMAbstractLog>(),
        TLMArchiveClass::date(),
        TLMArchiveClass::of<TLMDevice>(),
        TLMArchiveClass::of<TLMDeviceHistoryInfo>(),
        TLMArchiveClass::of<TLMSessionHistoryInfo>(),
        TLMArchiveClass::of<TLMUserIdHistoryInfo>(),
        TLMArchiveClass::of<TLMAppExtension>(),
        TLMArchiveClass::of<TLMCSExtensions>(),
        TLMArchiveClass::of<TLMUnifiedSchemaLog>(),
        TLMArchiveClass::of<TLMCSData>(),
        TLMArchiveClass::of<TLMDeviceExtension>(),
        TLMArchiveClass::of<TLMLocExtension>(),
        TLMArchiveClass::of<TLMMetadataExtension>(),
        TLMArchiveClass::of<TLMNetExtension>(),
        TLMArchiveClass::of<TLMOSExtension>(),
        TLMArchiveClass::of<TLMProtocolExtension>(),
        TLMArchiveClass::of<TLMSDKExtension>(),
        TLMArchiveClass::of<TLMUserExtension>(),
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
