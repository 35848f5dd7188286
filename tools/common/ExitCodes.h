#pragma once
// The exit statuses of every command-line tool. A status means the same in
// each tool, so a script can tell failures apart without knowing which tool
// it ran; each tool's --help lists the ones it can return.

#include <cstdio>
#include <initializer_list>

enum tToolExitCode : int {
    kExitOk = 0,           // done
    kExitUsage = 1,        // the command line is wrong
    kExitCannotOpen = 2,   // a file or folder cannot be opened, read or written
    kExitNotALayout = 3,   // the input is not a layout file
    kExitUnsupported = 4,  // the layout file's version is not read (older than 3 or newer than 13)
    kExitDamaged = 5,      // the input is damaged or holds nothing usable
    kExitInternal = 6,     // the tool itself failed unexpectedly
};

// The line of the table for one status, as --help shows it.
inline const char* ExitCodeMeaning(int code) {
    switch (code) {
        case kExitOk: return "done";
        case kExitUsage: return "the command line is wrong";
        case kExitCannotOpen:
            return "a file or folder cannot be opened, read or written (the system's reason is printed)";
        case kExitNotALayout: return "the input is not a layout file";
        case kExitUnsupported: return "the layout file's version is not read (older than 3 or newer than 13)";
        case kExitDamaged: return "the input is damaged or holds nothing usable";
        case kExitInternal: return "the tool itself failed unexpectedly";
        default: return "";
    }
}

// The "exit status" section of a tool's --help.
inline void PrintExitCodes(std::FILE* to, std::initializer_list<int> codes) {
    std::fprintf(to, "exit status:\n");
    for (const int code : codes) std::fprintf(to, "  %d  %s\n", code, ExitCodeMeaning(code));
}
