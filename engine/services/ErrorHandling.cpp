#include "engine/services/ErrorHandling.h"

#include "engine/services/Bundle.h"
#include "engine/services/Logger.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/TextEncoding.h"

#include <sys/utsname.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace UErrorHandling {

namespace {

constexpr std::size_t kMaxTitleBytes = 99;
constexpr std::size_t kMaxReportBytes = 511;

std::string Printf(const char* format, const char* a, const char* b, const char* c) {
    const int length = std::snprintf(nullptr, 0, format, a, b, c);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, format, a, b, c);
    return text;
}

// The report ends the process without running destructors: other threads may
// still be using the objects those would destroy. Hand the log's buffered
// lines to the system first.
[[noreturn]] void EndProcess() {
    CLogger::Instance().Flush();
    std::fflush(nullptr);
    std::_Exit(EXIT_FAILURE);
}

}  // namespace

void ThrowNullError(const char* signature, const char* message) {
    const std::string text = std::string("<<< ") + (message != nullptr ? message : "") + " >>>";
    LogError("An application error occured in '%s'", signature != nullptr ? signature : "");
    LogError("%s", text.c_str());
    throw std::runtime_error(text);
}

void CheckAllocation(const void* pointer, const char* signature, const char* description) {
    if (pointer != nullptr) return;
    ReportError(-1, signature, description, kNullPointer);
    EndProcess();
}

void ReportError(int code, const char* title, const char* description, int kind) {
    char codeText[16] = "<NULL>";
    if (kind != kNullPointer) std::snprintf(codeText, sizeof codeText, "%d", code);

    const std::string titleText = title != nullptr ? platform::truncateUtf8(title, kMaxTitleBytes) : "???";
    const std::string report =
        platform::truncateUtf8(Printf("%s\n\n Error Code  :  %s\n Description :  %s\n\n", titleText.c_str(), codeText,
                                      description != nullptr ? description : ""),
                               kMaxReportBytes);

    std::fputs(report.c_str(), stderr);
    LogErrorReport(report.c_str(), kind);
    if (kind == kFatal) EndProcess();
}

void LogErrorReport(const char* report, int kind) {
    struct utsname names {};
    if (uname(&names) != 0) names = {};

    // The bundle reports a missing main bundle through this very path; asking
    // it again from here would recurse into its own construction.
    std::string bundleName, identifier, version;
    if (platform::Bundle::main() != nullptr) {
        const CBundle& bundle = CBundle::Instance();
        bundleName = bundle.GetBundleName();
        identifier = bundle.GetIdentifier();
        version = bundle.GetVersion();
    }

    if (kind == kWarning) {
        LogWarning("Warning logged for %s (%s)", bundleName.c_str(), identifier.c_str());
    } else {
        LogError("Error logged for %s (%s)", bundleName.c_str(), identifier.c_str());
    }
    LogWarning("     OS/sysname: %s", names.sysname);
    LogWarning("      Node name: %s", names.nodename);
    LogWarning("        Machine: %s", names.machine);
    LogWarning(" Bundle Version: %s", version.c_str());
    const std::string separator = std::string(60, '=') + "\n";
    LogWarning("%s", separator.c_str());
    LogWarning("%s", report != nullptr ? report : "");
    LogWarning("%s", separator.c_str());

    // Lets the log's queue and sinks write these lines before a caller ends
    // the process.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
}

}  // namespace UErrorHandling
