#include "tools/common/ToolMain.h"

#include "tools/common/ExitCodes.h"

#include <cstdio>
#include <exception>

namespace UToolMain {

int Run(const char* program, bool help, bool parsed, void (*printHelp)(), const std::function<int()>& run) {
    if (help) {
        printHelp();
        return kExitOk;
    }
    if (!parsed) return kExitUsage;
    try {
        return run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", program, error.what());
        return kExitInternal;
    }
}

}  // namespace UToolMain
