#include "tests/crashes/support/FakeElfImage.h"

#include <algorithm>
#include <cstring>

namespace crashtest {

namespace {

constexpr std::size_t kHeaderSize = 64;
constexpr std::size_t kPhdrSize = 56;
constexpr std::size_t kCieSize = 24;
constexpr std::size_t kFdeSize = 24;
constexpr std::size_t kDynamicSize = 6 * 16;
constexpr std::size_t kSymbolSize = 24;

std::uint64_t alignUp(std::uint64_t value, std::uint64_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

// The hash the GNU table's chains hold.
std::uint32_t gnuHash(const std::string& name) {
    std::uint32_t hash = 5381;
    for (const unsigned char c : name) hash = hash * 33 + c;
    return hash;
}

class Writer {
public:
    Writer(std::vector<std::uint8_t>& bytes, bool little) : mBytes(bytes), mLittle(little) {}
    void put(std::uint64_t at, std::uint64_t value, std::size_t width) {
        for (std::size_t i = 0; i < width; ++i) {
            const std::size_t shift = 8 * (mLittle ? i : width - 1 - i);
            mBytes[at + i] = static_cast<std::uint8_t>(value >> shift);
        }
    }
    void bytes(std::uint64_t at, std::initializer_list<std::uint8_t> values) {
        std::copy(values.begin(), values.end(), mBytes.begin() + static_cast<std::ptrdiff_t>(at));
    }

private:
    std::vector<std::uint8_t>& mBytes;
    bool mLittle;
};

}  // namespace

std::vector<std::uint8_t> FakeElfImage::build() const {
    // Symbol 0 is the null symbol; the others in the given order.
    const std::size_t symbolCount = symbols.size() + 1;
    std::vector<const FakeSymbol*> framed;
    for (const FakeSymbol& symbol : symbols) {
        if (symbol.frame && (symbol.type == 2 || symbol.type == 10)) framed.push_back(&symbol);
    }
    std::sort(framed.begin(), framed.end(), [](auto* a, auto* b) { return a->offset < b->offset; });
    std::string names(1, '\0');
    std::vector<std::uint32_t> nameAt;
    for (const FakeSymbol& symbol : symbols) {
        nameAt.push_back(static_cast<std::uint32_t>(names.size()));
        names += symbol.name;
        names += '\0';
    }

    const bool note = !buildId.empty();
    const auto phdrCount =
        static_cast<std::uint16_t>(2 + (note ? 1 : 0) + (unwindTables ? 1 : 0) + (dynamicSection ? 1 : 0));
    std::uint64_t cursor = kHeaderSize + phdrCount * kPhdrSize;
    auto place = [&](std::uint64_t alignment, std::uint64_t size) {
        const std::uint64_t at = alignUp(cursor, alignment) + misalign;
        cursor = at + size;
        return at;
    };
    const std::uint64_t noteSize = 16 + alignUp(buildId.size(), 4);
    const std::uint64_t noteAt = note ? place(4, noteSize) : 0;
    const std::uint64_t hdrSize = 12 + 8 * framed.size();
    const std::uint64_t hdrAt = unwindTables ? place(4, hdrSize) : 0;
    const std::uint64_t frameAt = unwindTables ? place(8, kCieSize + kFdeSize * framed.size() + 4) : 0;
    const std::uint64_t dynamicAt = dynamicSection ? place(8, kDynamicSize) : 0;
    const std::uint64_t hashSize = hash == Hash::SysV ? 8 + 4 + 4 * symbolCount : 16 + 8 + 4 + 4 * (symbolCount - 1);
    const std::uint64_t hashAt = dynamicSection ? place(8, hashSize) : 0;
    const std::uint64_t symbolsAt = dynamicSection ? place(8, kSymbolSize * symbolCount) : 0;
    const std::uint64_t namesAt = dynamicSection ? place(1, names.size()) : 0;
    const std::uint64_t end = cursor;

    std::uint64_t textEnd = 0x1000;
    for (const FakeSymbol& symbol : symbols) {
        if (symbol.offset >= kFakeTextOffset)
            textEnd = std::max(textEnd, symbol.offset - kFakeTextOffset + symbol.size);
    }
    textEnd = alignUp(textEnd, 0x1000);

    std::vector<std::uint8_t> image(end, 0);
    Writer w(image, littleEndian);
    w.bytes(0, {0x7F, 'E', 'L', 'F', 2, static_cast<std::uint8_t>(littleEndian ? 1 : 2), 1});
    w.put(16, 3, 2);   // a shared object
    w.put(18, 62, 2);  // x86-64
    w.put(20, 1, 4);
    w.put(32, kHeaderSize, 8);
    w.put(52, kHeaderSize, 2);
    w.put(54, kPhdrSize, 2);
    w.put(56, phdrCount, 2);

    std::uint64_t phdr = kHeaderSize;
    auto program = [&](std::uint32_t type, std::uint32_t flags, std::uint64_t offset, std::uint64_t size,
                       std::uint64_t align) {
        w.put(phdr, type, 4);
        w.put(phdr + 4, flags, 4);
        w.put(phdr + 8, offset, 8);
        w.put(phdr + 16, kFakeImageLink + offset, 8);
        w.put(phdr + 24, kFakeImageLink + offset, 8);
        w.put(phdr + 32, size, 8);
        w.put(phdr + 40, size, 8);
        w.put(phdr + 48, align, 8);
        phdr += kPhdrSize;
    };
    program(1, 4, 0, end, 0x1000);
    program(1, 5, kFakeTextOffset, textEnd, 0x1000);
    if (note) program(4, 4, noteAt, noteSize, 4);
    if (unwindTables) program(0x6474E550, 4, hdrAt, hdrSize, 4);
    if (dynamicSection) program(2, 6, dynamicAt, kDynamicSize, 8);

    if (note) {
        w.put(noteAt, 4, 4);
        w.put(noteAt + 4, buildId.size(), 4);
        w.put(noteAt + 8, 3, 4);  // NT_GNU_BUILD_ID
        w.bytes(noteAt + 12, {'G', 'N', 'U', 0});
        std::copy(buildId.begin(), buildId.end(), image.begin() + static_cast<std::ptrdiff_t>(noteAt + 16));
    }

    if (unwindTables) {
        // The CIE a compiler writes for x86-64: "zR" with 4-byte pc-relative
        // pointers, CFA = rsp + 8, the return address at CFA - 8.
        w.put(frameAt, kCieSize - 4, 4);
        w.put(frameAt + 4, 0, 4);
        w.bytes(frameAt + 8, {1, 'z', 'R', 0, 1, 0x78, 16, 1, 0x1B, 0x0C, 7, 8, 0x90, 1});
        // The header: its version, how .eh_frame's address, the count and the
        // table are written, then those three.
        w.bytes(hdrAt, {1, 0x1B, 0x03, 0x3B});
        w.put(hdrAt + 4, static_cast<std::uint32_t>(frameAt - (hdrAt + 4)), 4);
        w.put(hdrAt + 8, framed.size(), 4);
        for (std::size_t i = 0; i < framed.size(); ++i) {
            // push rbp after the first byte: CFA = rsp + 16, rbp at CFA - 16.
            const std::uint64_t fde = frameAt + kCieSize + i * kFdeSize;
            w.put(fde, kFdeSize - 4, 4);
            w.put(fde + 4, fde + 4 - frameAt, 4);
            w.put(fde + 8, static_cast<std::uint32_t>(framed[i]->offset - (fde + 8)), 4);
            w.put(fde + 12, framed[i]->size, 4);
            w.bytes(fde + 16, {0, 0x41, 0x0E, 0x10, 0x86, 2});
            w.put(hdrAt + 12 + 8 * i, static_cast<std::uint32_t>(framed[i]->offset - hdrAt), 4);
            w.put(hdrAt + 16 + 8 * i, static_cast<std::uint32_t>(fde - hdrAt), 4);
        }
    }

    if (dynamicSection) {
        const std::uint64_t entries[][2] = {
            {hash == Hash::SysV ? 4u : 0x6FFFFEF5u, kFakeImageLink + hashAt},
            {6, kFakeImageLink + symbolsAt},
            {5, kFakeImageLink + namesAt},
            {10, names.size()},
            {11, kSymbolSize},
            {0, 0},
        };
        for (std::size_t i = 0; i < 6; ++i) {
            w.put(dynamicAt + 16 * i, entries[i][0], 8);
            w.put(dynamicAt + 16 * i + 8, entries[i][1], 8);
        }
        const std::uint32_t last = static_cast<std::uint32_t>(symbolCount - 1);
        if (hash == Hash::SysV) {
            // One bucket whose chain runs from the last symbol down.
            w.put(hashAt, 1, 4);
            w.put(hashAt + 4, symbolCount, 4);
            w.put(hashAt + 8, last, 4);
            for (std::uint32_t i = 1; i < symbolCount; ++i) w.put(hashAt + 12 + 4 * i, i - 1, 4);
        } else {
            // One bucket, a bloom filter that lets everything through, and
            // the chain of every symbol after the null one.
            w.put(hashAt, 1, 4);
            w.put(hashAt + 4, 1, 4);
            w.put(hashAt + 8, 1, 4);
            w.put(hashAt + 12, 6, 4);
            w.put(hashAt + 16, ~std::uint64_t{0}, 8);
            w.put(hashAt + 24, last == 0 ? 0 : 1, 4);
            for (std::uint32_t i = 1; i < symbolCount; ++i) {
                const std::uint32_t value = (gnuHash(symbols[i - 1].name) & ~1u) | (i == last ? 1 : 0);
                w.put(hashAt + 28 + 4 * (i - 1), value, 4);
            }
        }
        for (std::size_t i = 0; i < symbols.size(); ++i) {
            const std::uint64_t at = symbolsAt + kSymbolSize * (i + 1);
            w.put(at, nameAt[i], 4);
            image[at + 4] = static_cast<std::uint8_t>(0x10 | symbols[i].type);  // global
            w.put(at + 6, symbols[i].section, 2);
            w.put(at + 8, kFakeImageLink + symbols[i].offset, 8);
            w.put(at + 16, symbols[i].size, 8);
        }
        std::memcpy(image.data() + namesAt, names.data(), names.size());
    }
    return image;
}

}  // namespace crashtest
