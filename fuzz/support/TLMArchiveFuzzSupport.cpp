#include "fuzz/support/TLMArchiveFuzzSupport.h"

namespace fuzzsupport {

TLMAllowedClasses TelemetryArchiveClasses() {
    TLMAllowedClasses allowed;
    allowed.add({TLMArchiveClass::null(), TLMArchiveClass::number(), TLMArchiveClass::string(), TLMArchiveClass::data(),
                 TLMArchiveClass::date(), TLMArchiveClass::uuid(), TLMArchiveClass::array(),
                 TLMArchiveClass::dictionary()});
    return allowed;
}

}  // namespace fuzzsupport
