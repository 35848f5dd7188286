#include "telemetry/Internals/Model/TLMAbstractLog.h"

#include "telemetry/TLMLogger.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

bool TLMAbstractLog::isValid() const {
    if (mType.empty()) return reportInvalidField("type");
    if (!mTimestamp) return reportInvalidField("timestamp");
    return true;
}

std::string TLMAbstractLog::className() const {
    const char* mangled = typeid(*this).name();
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(mangled, nullptr, nullptr, &status),
                                                     std::free);
    return status == 0 && demangled ? std::string(demangled.get()) : std::string(mangled);
}

bool TLMAbstractLog::reportInvalidField(const char* fieldName) const {
    const std::string logClass = className();
    const std::string field = fieldName;
    TLMLogVerbose("Telemetry", "%s: \"%s\" is not valid.", logClass.c_str(), field.c_str());
    return false;
}
