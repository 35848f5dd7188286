// Writes the seed corpus of the ELF image targets (elf_image, and elf_symbols
// which shares it): loaded images made by the crash tests' image writer,
// with either hash table, in either byte order, with their tables aligned as
// a linker leaves them and at odd addresses, with and without unwind tables,
// symbols or a build id.
//
//   elf_image_seeds <folder>

#include "tests/crashes/support/FakeElfImage.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using crashtest::FakeElfImage;
using crashtest::FakeSymbol;

void writeSeed(const std::filesystem::path& folder, const std::string& name, const FakeElfImage& elf) {
    const std::vector<std::uint8_t> bytes = elf.build();
    std::ofstream out(folder / (name + ".elf"), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: elf_image_seeds <folder>\n");
        return 1;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);

    constexpr std::uint64_t kText = crashtest::kFakeTextOffset;
    const std::vector<FakeSymbol> symbols = {
        {"main", kText + 0x100, 0x40},         {"helper", kText + 0x140, 0},
        {"table", kText + 0x200, 0x80, 1},     {"imported", kText + 0x280, 0x10, 2, 0},
        {"resolver", kText + 0x300, 0x10, 10}, {"no_frame", kText + 0x400, 0x20, 2, 9, false},
    };
    const std::vector<std::uint8_t> buildId = {0x3A, 0x5F, 0x10, 0x77, 0x02, 0xC4, 0x91, 0xE8, 0x0D, 0x66,
                                               0xB2, 0x4F, 0x18, 0x9A, 0x23, 0x71, 0x5E, 0x0C, 0xD4, 0x88};
    for (const bool little : {true, false}) {
        for (const FakeElfImage::Hash hash : {FakeElfImage::Hash::Gnu, FakeElfImage::Hash::SysV}) {
            for (const std::uint32_t misalign : {0u, 1u, 3u}) {
                FakeElfImage elf;
                elf.littleEndian = little;
                elf.hash = hash;
                elf.misalign = misalign;
                elf.symbols = symbols;
                elf.buildId = buildId;
                writeSeed(folder,
                          std::string(little ? "little" : "big") +
                              (hash == FakeElfImage::Hash::Gnu ? "-gnu" : "-sysv") + "-misaligned-" +
                              std::to_string(misalign),
                          elf);
            }
        }
    }
    FakeElfImage bare;
    bare.unwindTables = false;
    bare.dynamicSection = false;
    writeSeed(folder, "header-and-code-only", bare);
    FakeElfImage noSymbols;
    noSymbols.buildId = {1, 2, 3, 4};
    writeSeed(folder, "no-symbols-short-build-id", noSymbols);
    FakeElfImage unwindOnly;
    unwindOnly.dynamicSection = false;
    unwindOnly.symbols = symbols;
    unwindOnly.misalign = 5;
    writeSeed(folder, "unwind-tables-only", unwindOnly);
    return 0;
}
