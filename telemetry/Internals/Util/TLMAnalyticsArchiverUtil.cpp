#include "telemetry/Internals/Util/TLMAnalyticsArchiverUtil.h"

#include "telemetry/Internals/Model/TLMEventLog.h"
#include "telemetry/TelemetryAnalytics/Internals/Model/TLMPageLog.h"
#include "telemetry/TelemetryAnalytics/Internals/Model/TLMStartSessionLog.h"
#include "telemetry/TelemetryAnalytics/Model/TLMEventProperties.h"
#include "telemetry/TelemetryAnalytics/Model/TLMTypedProperty.h"
#include "telemetry/Model/TLMDevice.h"
#include "telemetry/core/Context/TLMHistoryInfos.h"
#include "telemetry/core/Util/TLMUtility.h"

void TLMAnalyticsArchiverUtil::addAllowedAnalyitcsModuleClasses() {
    TLMUtility::addAllowedClasses({
        TLMArchiveClass::of<TLMSessionHistoryInfo>(),
        TLMArchiveClass::date(),
        TLMArchiveClass::of<TLMDevice>(),
        TLMArchiveClass::of<TLMAbstractLog>(),
        TLMArchiveClass::of<TLMEventLog>(),
        TLMArchiveClass::of<TLMPageLog>(),
        TLMArchiveClass::of<TLMEventProperties>(),
        TLMArchiveClass::of<TLMLogWithNameAndProperties>(),
        TLMArchiveClass::of<TLMBooleanTypedProperty>(),
        TLMArchiveClass::of<TLMDateTimeTypedProperty>(),
        TLMArchiveClass::of<TLMDoubleTypedProperty>(),
        TLMArchiveClass::of<TLMLongTypedProperty>(),
        TLMArchiveClass::of<TLMStringTypedProperty>(),
        TLMArchiveClass::of<TLMTypedProperty>(),
        TLMArchiveClass::of<TLMStartSessionLog>(),
        TLMArchiveClass::dictionary(),
        TLMArchiveClass::string(),
        TLMArchiveClass::number(),
        TLMArchiveClass::array(),
    });
}
