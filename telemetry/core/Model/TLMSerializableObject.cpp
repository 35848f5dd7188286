#include "telemetry/core/Model/TLMSerializableObject.h"

#include "telemetry/TLMLogger.h"

bool TLMSerializableObject::reportInvalidField(const char* fieldName) const {
    const std::string recordClass = className();
    const std::string field = fieldName;
    TLMLogVerbose("Telemetry", "%s: \"%s\" is not valid.", recordClass.c_str(), field.c_str());
    return false;
}
