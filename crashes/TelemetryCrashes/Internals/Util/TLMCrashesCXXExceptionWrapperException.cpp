#include "crashes/TelemetryCrashes/Internals/Util/TLMCrashesCXXExceptionWrapperException.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>

namespace {

std::string demangledName(const char* mangled) {
    if (mangled == nullptr) return "";
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> demangled(abi::__cxa_demangle(mangled, nullptr, nullptr, &status),
                                                          &std::free);
    return status == 0 && demangled != nullptr ? std::string(demangled.get()) : std::string(mangled);
}

}  // namespace

TLMCrashesCXXExceptionWrapperException::TLMCrashesCXXExceptionWrapperException(const TLMCrashesCXXExceptionInfo* info)
    : TLCrashUncaughtException(demangledName(info->exceptionTypeName),
                               info->exceptionMessage != nullptr ? info->exceptionMessage : ""),
      mInfo(info) {}

std::vector<std::uint64_t> TLMCrashesCXXExceptionWrapperException::callStackReturnAddresses() const {
    return std::vector<std::uint64_t>(mInfo->exceptionFrames, mInfo->exceptionFrames + mInfo->exceptionFramesCount);
}
