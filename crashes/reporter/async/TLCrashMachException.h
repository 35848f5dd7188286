#pragma once
// The signal that stands for a Mach exception in a report. Linux raises no
// Mach exceptions; the mapping is kept for reports that carry one, with
// Linux's signal numbers. Async-signal-safe.

#include <cstdint>

// Fewer than two codes, or a type outside 1 to 6: false and nothing stored.
// The address is the second code (the subcode) in every case.
bool tlcrash_mach_exception_to_signal(uint32_t exception_type, const uint64_t* codes, uint32_t code_count, int* signo,
                                      int* code, uint64_t* address);
