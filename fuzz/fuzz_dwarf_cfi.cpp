// A DWARF call-frame section from untrusted bytes, as the stack walker finds
// it in an image at crash time: the FDE of a pc is searched, its CIE parsed,
// both programs run up to the pc (and whole), and the row is applied to a
// register state whose stack lies in this target's memory. Every step ends
// with a code, the row keeps to its table's limits, and an applied row gives
// the caller's pc and stack pointer.
//
// Input: a flags byte (bit 0: the section is a .debug_frame; bit 1: the pc
// is absolute, else an offset from the section's start), the pc as 8 bytes
// little-endian, then the section.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "crashes/reporter/async/TLCrashAsyncDwarfFrameReader.h"
#include "fuzz/support/FuzzSupport.h"

using fuzzsupport::Require;
using namespace tlcrash::async;

namespace {

constexpr std::size_t kHeader = 9;

bool KnownCode(tlcrash_error_t error) { return error >= TLCRASH_ERR_NONE && error <= TLCRASH_ERR_BADDATA; }

// Every register valid, each pointing at its own word of `stack`, which
// holds addresses of the stack again: rules that read the stack find words
// there.
tlcrash_async_thread_state StateOver(uint64_t* stack, std::size_t words, uint64_t pc) {
    tlcrash_async_thread_state state;
    tlcrash_async_thread_state_clear(&state);
    const auto base = reinterpret_cast<uint64_t>(stack);
    for (std::size_t i = 0; i < words; ++i) stack[i] = base + 8 * ((i * 5) % words);
    for (uint32_t reg = 0; reg < tlcrash_async_thread_state_reg_count(&state); ++reg) {
        tlcrash_async_thread_state_write_reg(&state, reg, base + 8 * (words / 2 + reg));
    }
    tlcrash_async_thread_state_write_reg(&state, TLCRASH_REG_IP, pc);
    return state;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size <= kHeader) return 0;
    const bool debugFrame = (data[0] & 1) != 0;
    const bool absolute = (data[0] & 2) != 0;
    uint64_t pcValue = 0;
    for (int i = 7; i >= 0; --i) pcValue = pcValue << 8 | data[1 + i];
    const std::vector<std::uint8_t> bytes(data + kHeader, data + size);

    tlcrash_async_mobject section;
    const auto base = reinterpret_cast<uint64_t>(bytes.data());
    Require(tlcrash_async_mobject_init(&section, tlcrash_task_self(), base, bytes.size(), true) == TLCRASH_ERR_NONE,
            "the section maps");
    const tlcrash_async_byteorder* order = tlcrash_async_byteorder_host();
    const uint64_t pc = absolute ? pcValue : base + pcValue;

    tlcrash_async_dwarf_fde_finder finder;
    tlcrash_async_dwarf_fde_finder_open(&finder, &section, order, debugFrame);
    tlcrash_async_dwarf_fde_info fde;
    tlcrash_error_t error = tlcrash_async_dwarf_fde_finder_find(&finder, 0, pc, &fde);
    Require(KnownCode(error), "the search ends with a code");
    if (error != TLCRASH_ERR_NONE) return 0;
    Require(fde.pc_start <= pc && pc < fde.pc_end, "the FDE found covers the pc");
    Require(fde.cie_offset < bytes.size(), "its CIE lies in the section");

    tlcrash_async_dwarf_ptr_reader reader;
    tlcrash_async_dwarf_ptr_reader_init(&reader, order);
    tlcrash_async_dwarf_cie_info cie;
    error = tlcrash_async_dwarf_cie_info_init(&cie, &section, order, &reader, base + fde.cie_offset);
    Require(error == TLCRASH_ERR_NONE, "the CIE the FDE was read with reads again");
    Require(cie.cie_version == 1 || cie.cie_version == 3 || cie.cie_version == 4, "a known CIE version");

    for (const uint64_t target : {pc, uint64_t{0}}) {
        dwarf_cfa_state state;
        error =
            state.eval_program(&section, target, fde.pc_start, &cie, &reader, order, base,
                               static_cast<int64_t>(cie.initial_instructions_offset), cie.initial_instructions_length);
        if (error == TLCRASH_ERR_NONE) {
            error = state.eval_program(&section, target, fde.pc_start, &cie, &reader, order, base,
                                       static_cast<int64_t>(fde.instructions_offset), fde.instructions_length);
        }
        Require(KnownCode(error), "the programs end with a code");
        Require(state.register_count() <= dwarf_cfa_state::kPoolSize, "no more rules than the table holds");
        if (error != TLCRASH_ERR_NONE) continue;

        alignas(16) uint64_t stack[64];
        const tlcrash_async_thread_state current = StateOver(stack, 64, pc);
        tlcrash_async_thread_state next;
        error = state.apply_state(tlcrash_task_self(), &cie, &current, order, &next);
        Require(KnownCode(error), "applying the row ends with a code");
        if (error != TLCRASH_ERR_NONE) continue;
        Require(tlcrash_async_thread_state_reg_valid(&next, TLCRASH_REG_IP) &&
                    tlcrash_async_thread_state_reg_valid(&next, TLCRASH_REG_SP),
                "the caller has a pc and a stack pointer");
    }
    return 0;
}
