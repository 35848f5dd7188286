#include "telemetry/Internals/Util/TLMAnalyticsArchiverUtil.h"

#include "telemetry/Internals/Model/TLMEventLog.h"
#include "telemetry/Internals/Util/TLMUtility.h"

void TLMAnalyticsArchiverUtil::addAllowedAnalyitcsModuleClasses() {
    TLMUtility::addAllowedClasses(
        {TLMArchiveClass::of<TLMLogWithNameAndProperties>(), TLMArchiveClass::of<TLMEventLog>()});
}
