#include "crashes/TelemetryCrashes/Internals/Util/TLMCallStackSymbols.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr int kMaxFrames = 256;

std::string symbolName(const char* name) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(name, nullptr, nullptr, &status), std::free);
    return status == 0 && demangled ? demangled.get() : name;
}

}  // namespace

std::vector<std::string> TLMCallStackSymbols() {
    void* addresses[kMaxFrames];
    const int count = backtrace(addresses, kMaxFrames);
    std::vector<std::string> lines;
    // Frame 0 is this function itself.
    for (int i = 1; i < count; ++i) {
        const auto address = reinterpret_cast<std::uintptr_t>(addresses[i]);
        Dl_info info{};
        const bool found = dladdr(addresses[i], &info) != 0;
        std::string image = "???";
        if (found && info.dli_fname != nullptr && *info.dli_fname != '\0') {
            const char* slash = std::strrchr(info.dli_fname, '/');
            image = slash != nullptr ? slash + 1 : info.dli_fname;
        }
        std::string symbol;
        std::uintptr_t start = 0;
        if (found && info.dli_sname != nullptr) {
            symbol = symbolName(info.dli_sname);
            start = reinterpret_cast<std::uintptr_t>(info.dli_saddr);
        } else {
            start = found ? reinterpret_cast<std::uintptr_t>(info.dli_fbase) : 0;
            char base[24];
            std::snprintf(base, sizeof base, "0x%" PRIxPTR, start);
            symbol = base;
        }
        char head[80];
        std::snprintf(head, sizeof head, "%-4d%-35s 0x%016" PRIxPTR " ", i - 1, image.c_str(), address);
        lines.push_back(head + symbol + " + " + std::to_string(address - start));
    }
    return lines;
}
