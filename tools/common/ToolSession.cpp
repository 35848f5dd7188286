#include "tools/common/ToolSession.h"

#include "engine/model/CurrentCloudLayout.h"
#include "engine/services/EngineStartup.h"
#include "engine/services/Logger.h"
#include "platform/foundation/Paths.h"
#include "telemetry/TLMAnalytics.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/TLMTelemetry.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace {

const char* const kAppSecret = "7d3f0c21-9a4e-4b6b-8e15-2c90f4a6d7e3";

// The resources beside the build tree's binaries: the tools sit one or two
// folders deeper than the app would.
void FindResources() {
    if (const char* set = std::getenv("VEKMONT_RESOURCES"); set != nullptr && *set != '\0') return;
    std::error_code error;
    std::filesystem::path dir = std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
    if (error) return;
    for (int up = 0; up < 3 && !dir.empty(); ++up, dir = dir.parent_path()) {
        const std::filesystem::path candidate = dir / "resources";
        std::error_code missing;
        if (std::filesystem::is_directory(candidate / "en.lproj", missing)) {
            setenv("VEKMONT_RESOURCES", candidate.c_str(), 1);
            return;
        }
    }
}

}  // namespace

CToolSession::CToolSession(const char* name) {
    if (const char* home = std::getenv("VEKMONT_HOME"); home != nullptr && *home != '\0') {
        mRoot = home;
    } else {
        std::string pattern = std::string("/tmp/") + name + "-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::fprintf(stderr, "%s: cannot make a temporary app root: %s\n", name, std::strerror(errno));
            return;
        }
        mRoot = pattern;
        mTemporaryRoot = true;
        setenv("VEKMONT_HOME", mRoot.c_str(), 1);
    }
    platform::Paths::setRoot(mRoot);
    FindResources();
    mConsole = std::cout.rdbuf(&mNowhere);
    mReady = true;
}

CToolSession::~CToolSession() {
    if (!mReady) return;
    std::fflush(stdout);
    TLMLogger::waitUntilIdle();
    CLogger::Instance().Flush();
    std::cout.rdbuf(mConsole);
    if (mTemporaryRoot) {
        std::error_code ignored;
        std::filesystem::remove_all(mRoot, ignored);
    }
}

void CToolSession::StartEngine() {
    TLMTelemetry::start(kAppSecret, {&TLMAnalytics::sharedInstance});
    UEngineStartup::Start((platform::Paths::logs() / "Vekmont.log").c_str());
}

int LastLoadErrorCode() {
    const std::string& message = CCurrentCloudLayout::Instance().GetLastLoadErrorMessage();
    for (int code = kLayoutFailedToOpenFile; code <= kLayoutParameterError; ++code) {
        if (CCurrentCloudLayout::GetLoadErrorMessage(static_cast<LayoutErrorCode>(code)) == message) return code;
    }
    return kLayoutFailedToOpenFile;
}
