#include "tools/common/ToolOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace UToolOptions {

tOption Flag(const char* name, bool& flag) {
    return {name, false, [&flag](const char*) {
                flag = true;
                return true;
            }};
}

tOption Text(const char* name, std::string& text) {
    return {name, true, [&text](const char* value) {
                text = value;
                return true;
            }};
}

bool Parse(const char* program, int argc, char** argv, const std::vector<tOption>& options, bool& help,
           const std::function<bool(const char* argument)>& plain) {
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argument, "-h") == 0 || std::strcmp(argument, "--help") == 0) {
            help = true;
            continue;
        }
        const tOption* option = nullptr;
        for (const tOption& candidate : options) {
            if (std::strcmp(argument, candidate.name) == 0 && (hasValue || !candidate.takesValue)) option = &candidate;
        }
        if (option != nullptr) {
            if (!option->apply(option->takesValue ? argv[++i] : nullptr)) return false;
            continue;
        }
        if (argument[0] != '-' && plain && plain(argument)) continue;
        const bool valueMissing = std::strncmp(argument, "--", 2) == 0 && !hasValue;
        std::fprintf(stderr, "%s: %s '%s' (see --help)\n", program,
                     valueMissing ? "a value is missing after" : "unknown argument", argument);
        return false;
    }
    return true;
}

bool ParseNumber(const char* text, double& out) {
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || errno != 0 || !std::isfinite(value)) return false;
    out = value;
    return true;
}

}  // namespace UToolOptions
