#pragma once
// A loaded 64-bit ELF image built byte by byte, as the loader leaves one in
// memory: the header and program headers, a build-id note, the unwind table
// header (.eh_frame_hdr, with its search table) and .eh_frame with one FDE a
// function, the dynamic section, a SysV or GNU hash table, the dynamic
// symbols and their names. Everything lies in the first loadable segment,
// whose first byte is the header; the code segment follows it and is never
// read, so the bytes end before it. Used by the crash tests and to write the
// image fuzz targets' seeds.

#include <cstdint>
#include <string>
#include <vector>

namespace crashtest {

// The link address of the header.
constexpr std::uint64_t kFakeImageLink = 0x10000;
// Where the code segment begins, as an offset from the header.
constexpr std::uint64_t kFakeTextOffset = 0x10000;

struct FakeSymbol {
    std::string name;
    // From the header; a function's lies in the code segment.
    std::uint64_t offset;
    std::uint64_t size;
    // STT_FUNC (2), STT_OBJECT (1), STT_GNU_IFUNC (10), ...
    std::uint8_t type = 2;
    // 0: undefined here.
    std::uint16_t section = 9;
    // Whether .eh_frame has an FDE for it (functions only).
    bool frame = true;
};

struct FakeElfImage {
    enum class Hash { SysV, Gnu };

    bool littleEndian = true;
    Hash hash = Hash::Gnu;
    std::vector<FakeSymbol> symbols;
    std::vector<std::uint8_t> buildId;
    bool unwindTables = true;
    bool dynamicSection = true;
    // Added to the place of every table after its natural alignment: an odd
    // number puts each at an odd address (a linker aligns them, but nothing
    // in the format says so).
    std::uint32_t misalign = 0;

    // The image's bytes; its header is the first.
    std::vector<std::uint8_t> build() const;
};

}  // namespace crashtest
