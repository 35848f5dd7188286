#include "tools/common/ToolSession.h"

#include "tools/common/ExitCodes.h"
#include "tools/common/ToolMessages.h"

#include "engine/model/CurrentCloudLayout.h"
#include "engine/services/EngineStartup.h"
#include "engine/services/Logger.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Paths.h"
#include "platform/ui/views/Notifications.h"
#include "telemetry/TLMAnalytics.h"
#include "telemetry/TLMLogger.h"
#include "telemetry/TLMTelemetry.h"

#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <vector>

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

// The warnings and errors the failed load logged, for the reader of
// standard error.
void PrintLoadWarnings() {
    std::vector<std::string> lines;
    CLogger::Instance().FindRecentLines(5, 3, lines);
    for (const std::string& line : lines) {
        const std::size_t text = line.find("] :  ");
        const std::string message = line.substr(text == std::string::npos ? 0 : text + 5);
        std::fprintf(stderr, "  %s\n", UToolMessages::WithoutSignatures(message).c_str());
    }
}

}  // namespace

CToolSession::CToolSession(const char* name) : mName(name) {
    if (const char* home = std::getenv("VEKMONT_HOME"); home != nullptr && *home != '\0') {
        mRoot = home;
    } else {
        try {
            mTemporaryRoot.emplace(name);
        } catch (const std::system_error& error) {
            std::fprintf(stderr, "%s: cannot make a temporary app root in %s: %s\n", name,
                         platform::temporaryDirectory().c_str(), error.code().message().c_str());
            return;
        }
        mRoot = mTemporaryRoot->path();
        setenv("VEKMONT_HOME", mRoot.c_str(), 1);
    }
    platform::Paths::setRoot(mRoot);
    FindResources();
    // Standard output carries the tool's result: the log goes to its file
    // and the memory list only.
    CLogger::Instance().SetConsoleOutput(false);
    mReady = true;
}

CToolSession::~CToolSession() {
    if (!mReady) return;
    std::fflush(stdout);
    // As an app ending: the logs queue finishes its saves (up to a second)
    // before a temporary root is removed, or a save would set the removed
    // log file up anew in it.
    platform::NotificationCenter::defaultCenter().postNotificationName(
        platform::ui::kApplicationWillTerminateNotification, nullptr);
    TLMLogger::waitUntilIdle();
    CLogger::Instance().Flush();
    CLogger::Instance().SetConsoleOutput(true);
}

void CToolSession::StartEngine() {
    TLMTelemetry::start(kAppSecret, {&TLMAnalytics::sharedInstance});
    UEngineStartup::Start((platform::Paths::logs() / "Vekmont.log").c_str());
}

int CToolSession::LoadLayout(const std::string& path) {
    std::string reason;
    if (!UToolMessages::CanRead(path, reason)) {
        std::fprintf(stderr, "%s: cannot open %s: %s\n", mName.c_str(), path.c_str(), reason.c_str());
        return kExitCannotOpen;
    }
    CCurrentCloudLayout& holder = CCurrentCloudLayout::Instance();
    if (holder.LoadLayout(path)) return kExitOk;
    std::fprintf(stderr, "%s: %s: %s\n", mName.c_str(), path.c_str(), holder.GetLastLoadErrorMessage().c_str());
    PrintLoadWarnings();
    return ExitCodeForLoadError(LastLoadErrorCode());
}

int CToolSession::ReportFailure(const char* what) {
    // The engine's checks wrap their message in "<<< ... >>>" for the log.
    std::string text = UToolMessages::WithoutSignatures(what != nullptr ? what : "");
    if (text.size() >= 8 && text.starts_with("<<< ") && text.ends_with(" >>>")) text = text.substr(4, text.size() - 8);
    std::fprintf(stderr, "%s: unexpected failure%s%s\n", mName.c_str(), text.empty() ? "" : ": ", text.c_str());
    return kExitInternal;
}

int ExitCodeForLoadError(int loadErrorCode) {
    switch (loadErrorCode) {
        case kLayoutLoaded: return kExitOk;
        case kLayoutFailedToOpenFile: return kExitCannotOpen;
        case kLayoutWrongFileType: return kExitNotALayout;
        case kLayoutObsoleteVersion:
        case kLayoutVersionNotSupported: return kExitUnsupported;
        case kLayoutElementsError:
        case kLayoutParameterError: return kExitDamaged;
        default: return kExitInternal;
    }
}

int LastLoadErrorCode() {
    const std::string& message = CCurrentCloudLayout::Instance().GetLastLoadErrorMessage();
    for (int code = kLayoutFailedToOpenFile; code <= kLayoutParameterError; ++code) {
        if (CCurrentCloudLayout::GetLoadErrorMessage(static_cast<LayoutErrorCode>(code)) == message) return code;
    }
    return kLayoutFailedToOpenFile;
}
