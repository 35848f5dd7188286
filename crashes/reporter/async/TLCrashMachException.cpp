#include "crashes/reporter/async/TLCrashMachException.h"

#include <signal.h>

namespace {

constexpr uint32_t kBadAccess = 1, kBadInstruction = 2, kArithmetic = 3, kEmulation = 4, kSoftware = 5, kBreakpoint = 6;
constexpr uint64_t kInvalidAddress = 1;

}  // namespace

bool tlcrash_mach_exception_to_signal(uint32_t exception_type, const uint64_t* codes, uint32_t code_count, int* signo,
                                      int* code, uint64_t* address) {
    if (code_count < 2 || exception_type < kBadAccess || exception_type > kBreakpoint) return false;
    *address = codes[1];
    *code = 0;
    switch (exception_type) {
        case kBadAccess:
            if (codes[0] == kInvalidAddress) {
                *signo = SIGSEGV;
                *code = SEGV_MAPERR;
            } else {
                *signo = SIGBUS;
                *code = BUS_ADRERR;
            }
            break;
        case kBadInstruction: *signo = SIGILL; break;
        case kArithmetic: *signo = SIGFPE; break;
        // Linux has no emulator trap signal; it is an instruction it could
        // not run.
        case kEmulation: *signo = SIGILL; break;
        case kSoftware:
            switch (codes[0]) {
                case 0x10000: *signo = SIGSYS; break;
                case 0x10001: *signo = SIGPIPE; break;
                case 0x10003: *signo = SIGKILL; break;
                default: *signo = SIGABRT; break;
            }
            break;
        case kBreakpoint:
            *signo = SIGTRAP;
            *code = TRAP_BRKPT;
            break;
    }
    return true;
}
