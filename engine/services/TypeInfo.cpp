#include "engine/services/TypeInfo.h"

#include <cxxabi.h>

#include <cstdlib>

namespace UTypeInfo {

std::string GetClassName(const char* name) {
    if (name == nullptr) return {};
    int status = 0;
    char* demangled = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    std::string text = (status == 0 && demangled != nullptr) ? demangled : name;
    std::free(demangled);
    const std::size_t scope = text.find("::");
    if (scope != std::string::npos) text.erase(scope);
    return text;
}

}  // namespace UTypeInfo
