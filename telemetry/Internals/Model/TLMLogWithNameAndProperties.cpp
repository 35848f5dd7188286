#include "telemetry/Internals/Model/TLMLogWithNameAndProperties.h"

bool TLMLogWithNameAndProperties::isValid() const {
    if (!TLMLogWithProperties::isValid()) return false;
    if (mName.empty()) return reportInvalidField("name");
    return true;
}
