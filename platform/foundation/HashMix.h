#pragma once
// The 64-bit mixing for hashes kept in memory: the tables and caches keyed
// by small counters, packed coordinates and the bits of doubles, and the
// digests kept beside rasters. No hashMix value is stored or sent, so it may
// change; mixBits may not (the layout generator draws its numbers through it).

#include <cstdint>

namespace platform {

// Every bit of `x` reaches every bit of the result, and no two inputs give
// the same one. It is the output step of splitmix64: the layout generator
// draws its numbers through it, so its values must not change.
constexpr std::uint64_t mixBits(std::uint64_t x) noexcept {
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// `value` folded into the hash `seed`; a hash of several values folds them
// in one after another, from a seed of its own or the first value. The seed
// is multiplied before the value is added, so order counts: a start and a
// sweep swapped give another hash as a rule. For one seed, no two values
// give the same hash, and for one value no two seeds: runs of values of one
// length that differ in one place never meet.
constexpr std::uint64_t hashMix(std::uint64_t seed, std::uint64_t value) noexcept {
    return mixBits(seed * 0x9E3779B97F4A7C15ull + value);
}

// Several values folded in, in order.
template <typename... More>
constexpr std::uint64_t hashMix(std::uint64_t seed, std::uint64_t value, std::uint64_t next, More... more) noexcept {
    return hashMix(hashMix(seed, value), next, more...);
}

}  // namespace platform
