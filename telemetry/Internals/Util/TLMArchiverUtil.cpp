#include "telemetry/Internals/Util/TLMArchiverUtil.h"

#include "telemetry/Internals/Context/TLMHistoryInfos.h"
#include "telemetry/Internals/Model/TLMAbstractLog.h"
#include "telemetry/Internals/Model/TLMHistoryInfo.h"
#include "telemetry/Internals/Model/TLMLogWithProperties.h"
#include "telemetry/Internals/Model/TLMStartServiceLog.h"
#include "telemetry/Internals/Model/UnifiedSchema/TLMUnifiedSchemaLog.h"
#include "telemetry/Internals/Util/TLMUtility.h"
#include "telemetry/Model/TLMDevice.h"
#include "telemetry/Model/TLMWrapperSdk.h"

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
