#include "crashes/TelemetryCrashes/Internals/Util/TLMCrashesUtil.h"

#include "telemetry/core/Util/TLMUtility.h"

#include <atomic>

namespace {

std::atomic<bool> gCrashesDirMade{false};
std::atomic<bool> gLogBufferDirMade{false};
std::atomic<bool> gWrapperExceptionsDirMade{false};

std::string directory(const char* name, std::atomic<bool>& made) {
    if (!made.exchange(true)) TLMUtility::createDirectoryForPathComponent(name);
    return name;
}

}  // namespace

std::string TLMCrashesUtil::crashesDir() { return directory("crashes", gCrashesDirMade); }

std::string TLMCrashesUtil::logBufferDir() { return directory("crasheslogbuffer", gLogBufferDirMade); }

std::string TLMCrashesUtil::wrapperExceptionsDir() {
    return directory("crasheswrapperexceptions", gWrapperExceptionsDirMade);
}

void TLMCrashesUtil::resetDirectory() {
    gCrashesDirMade = false;
    gLogBufferDirMade = false;
    gWrapperExceptionsDirMade = false;
}
