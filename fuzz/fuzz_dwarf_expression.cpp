// A DWARF expression from untrusted bytes, as a call-frame rule holds it:
// evaluated alone and with a CFA pushed first, over a register state whose
// registers point into this target's memory. Every evaluation ends, branches
// back included, with a code; an expression of nops gives what was pushed.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "crashes/reporter/async/TLCrashAsyncDwarfFrameReader.h"
#include "fuzz/support/FuzzSupport.h"

using fuzzsupport::Require;
using namespace tlcrash::async;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::vector<std::uint8_t> code(data, data + size);
    tlcrash_async_mobject mobj;
    const auto address = reinterpret_cast<uint64_t>(code.data());
    Require(tlcrash_async_mobject_init(&mobj, tlcrash_task_self(), address, code.size(), true) == TLCRASH_ERR_NONE,
            "the expression maps");

    // Registers and the CFA point at words that hold addresses of the same
    // stack, so that dereferences read on.
    alignas(16) uint64_t stack[32];
    const auto base = reinterpret_cast<uint64_t>(stack);
    for (std::size_t i = 0; i < 32; ++i) stack[i] = base + 8 * ((i * 7) % 32);
    tlcrash_async_thread_state state;
    tlcrash_async_thread_state_clear(&state);
    for (uint32_t reg = 0; reg < tlcrash_async_thread_state_reg_count(&state); ++reg) {
        tlcrash_async_thread_state_write_reg(&state, reg, base + 8 * reg);
    }

    bool onlyNops = true;
    for (const std::uint8_t byte : code) onlyNops = onlyNops && byte == 0x96;
    const uint64_t cfa = base + 8 * 20;
    for (const std::size_t count : {std::size_t{0}, std::size_t{1}}) {
        uint64_t result = 0;
        const tlcrash_error_t error =
            tlcrash_async_dwarf_expression_eval(&mobj, tlcrash_task_self(), &state, tlcrash_async_byteorder_host(),
                                                address, 0, code.size(), &cfa, count, &result);
        Require(error >= TLCRASH_ERR_NONE && error <= TLCRASH_ERR_BADDATA, "the evaluation ends with a code");
        if (onlyNops) {
            Require(count == 0 ? error == TLCRASH_ERR_INVAL : error == TLCRASH_ERR_NONE && result == cfa,
                    "nops leave the stack as it was");
        }
    }
    return 0;
}
