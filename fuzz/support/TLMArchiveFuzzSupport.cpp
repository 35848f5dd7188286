#include "fuzz/support/TLMArchiveFuzzSupport.h"

#include "telemetry/Internals/Util/TLMArchiverUtil.h"

namespace fuzzsupport {

TLMAllowedClasses TelemetryArchiveClasses() {
    TLMAllowedClasses allowed;
    allowed.add(TLMArchiverUtil::telemetryModuleClasses());
    allowed.add({TLMArchiveClass::data()});
    return allowed;
}

}  // namespace fuzzsupport
