// ELF image records, read from images built here byte by byte and from the
// loaded images of this test program.

#include "crashes/reporter/setup/TLCrashImageSetup.h"

#include <gtest/gtest.h>

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr uint64_t kHeaderLink = 0x10000;

// An ELF image in memory as the loader would leave it: the header and
// program headers at the start, then notes and the unwind table header, all
// in the first loadable segment, which begins at link address kHeaderLink.
// An executable segment follows at link address kHeaderLink + 0x1000 (it is
// never read, so it need not be there).
class ElfImage {
public:
    struct Note {
        uint32_t type;
        std::string name;
        std::vector<uint8_t> desc;
    };

    ElfImage(bool is64, bool little) : mIs64(is64), mLittle(little) {}

    uint16_t machine = 62;
    bool executable = true;
    std::vector<Note> notes;
    uint64_t noteAlign = 4;
    // Encoding of the .eh_frame pointer in the table header; 0 for none.
    uint8_t ehFrameEncoding = 0x1B;
    // Where .eh_frame lies, as an offset from the header.
    uint32_t ehFrameOffset = 0x300;
    // Overrides the size of the first note's description.
    std::optional<uint32_t> forgedDescSize;

    // Builds the bytes; the image's header lies at data().
    void build() {
        const size_t headerSize = mIs64 ? 64 : 52;
        const size_t phdrSize = mIs64 ? 56 : 32;
        const uint16_t phdrCount = 4;
        const size_t noteAt = headerSize + phdrCount * phdrSize;
        std::vector<uint8_t> noteBytes = encodeNotes();
        const size_t tableAt = (noteAt + noteBytes.size() + 7) & ~size_t{7};
        mBytes.assign(0x400, 0);

        // ELF identification and header.
        const uint8_t ident[] = {0x7F, 'E', 'L', 'F', uint8_t(mIs64 ? 2 : 1), uint8_t(mLittle ? 1 : 2), 1};
        std::memcpy(mBytes.data(), ident, sizeof ident);
        put(16, 3, 2);  // shared object
        put(18, machine, 2);
        put(20, 1, 4);
        put(mIs64 ? 32 : 28, headerSize, mIs64 ? 8 : 4);
        put(mIs64 ? 54 : 42, phdrSize, 2);
        put(mIs64 ? 56 : 44, phdrCount, 2);

        size_t at = headerSize;
        phdr(at, 1, 4, 0, kHeaderLink, mBytes.size(), mBytes.size(), 0x1000);
        phdr(at += phdrSize, 1, executable ? 5 : 4, 0x1000, kHeaderLink + 0x1000, 0x800, 0x800, 0x1000);
        phdr(at += phdrSize, 4, 4, noteAt, kHeaderLink + noteAt, noteBytes.size(), noteBytes.size(), noteAlign);
        phdr(at += phdrSize, 0x6474E550, 4, tableAt, kHeaderLink + tableAt, 12, 12, 4);

        std::copy(noteBytes.begin(), noteBytes.end(), mBytes.begin() + static_cast<long>(noteAt));
        mBytes[tableAt] = 1;
        mBytes[tableAt + 1] = ehFrameEncoding;
        mBytes[tableAt + 2] = 0x03;
        mBytes[tableAt + 3] = 0x3B;
        // PC-relative: from the field at tableAt + 4 to .eh_frame.
        put(tableAt + 4, static_cast<uint32_t>(ehFrameOffset - (tableAt + 4)), 4);
    }

    uint64_t address() const { return reinterpret_cast<uint64_t>(mBytes.data()); }
    std::vector<uint8_t>& bytes() { return mBytes; }

private:
    void put(size_t at, uint64_t value, size_t width) {
        for (size_t i = 0; i < width; ++i) {
            const size_t shift = 8 * (mLittle ? i : width - 1 - i);
            mBytes[at + i] = static_cast<uint8_t>(value >> shift);
        }
    }
    void phdr(size_t at, uint32_t type, uint32_t flags, uint64_t offset, uint64_t vaddr, uint64_t filesz,
              uint64_t memsz, uint64_t align) {
        put(at, type, 4);
        if (mIs64) {
            put(at + 4, flags, 4);
            put(at + 8, offset, 8);
            put(at + 16, vaddr, 8);
            put(at + 24, vaddr, 8);
            put(at + 32, filesz, 8);
            put(at + 40, memsz, 8);
            put(at + 48, align, 8);
        } else {
            put(at + 4, offset, 4);
            put(at + 8, vaddr, 4);
            put(at + 12, vaddr, 4);
            put(at + 16, filesz, 4);
            put(at + 20, memsz, 4);
            put(at + 24, flags, 4);
            put(at + 28, align, 4);
        }
    }
    std::vector<uint8_t> encodeNotes() const {
        std::vector<uint8_t> out;
        auto word = [&](uint32_t value) {
            for (size_t i = 0; i < 4; ++i) out.push_back(uint8_t(value >> (8 * (mLittle ? i : 3 - i))));
        };
        auto pad = [&] {
            while (out.size() % noteAlign != 0) out.push_back(0);
        };
        for (size_t n = 0; n < notes.size(); ++n) {
            const Note& note = notes[n];
            word(static_cast<uint32_t>(note.name.size() + 1));
            word(n == 0 && forgedDescSize ? *forgedDescSize : static_cast<uint32_t>(note.desc.size()));
            word(note.type);
            out.insert(out.end(), note.name.begin(), note.name.end());
            out.push_back(0);
            pad();
            out.insert(out.end(), note.desc.begin(), note.desc.end());
            pad();
        }
        return out;
    }

    bool mIs64;
    bool mLittle;
    std::vector<uint8_t> mBytes;
};

std::vector<uint8_t> countingBytes(size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(0xA0 + i);
    return bytes;
}

}  // namespace

TEST(AsyncSafeImage, ReadsTheHeaderSegmentsUnwindTablesAndBuildIdOfA64BitImage) {
    ElfImage elf(true, true);
    // A property note first, whose 12-byte description is padded to 16 in a
    // segment of 8-byte alignment, then the 20-byte GNU build id.
    elf.noteAlign = 8;
    elf.notes = {{5, "GNU", countingBytes(12)}, {3, "GNU", countingBytes(20)}};
    elf.build();
    const uint64_t header = elf.address();

    tlcrash_async_image image;
    ASSERT_EQ(tlcrash_async_image_init(&image, tlcrash_task_self(), "/lib/libfake.so", header), TLCRASH_ERR_NONE);
    EXPECT_STREQ(image.name, "/lib/libfake.so");
    EXPECT_TRUE(image.is_64);
    EXPECT_EQ(image.byteorder, tlcrash_async_byteorder_host());
    EXPECT_EQ(image.vmaddr_slide, static_cast<int64_t>(header - kHeaderLink));
    // From the header to the end of the executable segment.
    EXPECT_EQ(image.text_size, 0x1800u);
    EXPECT_TRUE(tlcrash_async_image_contains_address(&image, header));
    EXPECT_TRUE(tlcrash_async_image_contains_address(&image, header + 0x17FF));
    EXPECT_FALSE(tlcrash_async_image_contains_address(&image, header + 0x1800));
    EXPECT_FALSE(tlcrash_async_image_contains_address(&image, header - 1));

    ASSERT_TRUE(image.has_uuid);
    const std::vector<uint8_t> id = countingBytes(16);
    EXPECT_EQ(std::vector<uint8_t>(image.uuid, image.uuid + 16), id);

    EXPECT_NE(image.eh_frame_hdr_addr, 0u);
    EXPECT_EQ(image.eh_frame_addr, header + 0x300);
    // Bounded by the end of the first segment, 0x400 bytes long.
    EXPECT_EQ(image.eh_frame_size, 0x100u);
    tlcrash_async_mobject frame;
    ASSERT_EQ(tlcrash_async_image_map_eh_frame(&image, &frame), TLCRASH_ERR_NONE);
    EXPECT_EQ(tlcrash_async_mobject_base_address(&frame), header + 0x300);
    EXPECT_EQ(tlcrash_async_mobject_length(&frame), 0x100u);

    tlcrash_async_phdr phdr;
    EXPECT_EQ(tlcrash_async_image_find_phdr(&image, TLCRASH_PT_NOTE, &phdr), 2);
    EXPECT_EQ(phdr.align, 8u);
    EXPECT_EQ(tlcrash_async_image_find_phdr(&image, TLCRASH_PT_DYNAMIC, &phdr), -1);
    EXPECT_EQ(tlcrash_async_image_phdr(&image, 4, &phdr), TLCRASH_ERR_INVAL);
    tlcrash_async_segment_map segment;
    ASSERT_EQ(tlcrash_async_image_map_segment(&image, 0, &segment), TLCRASH_ERR_NONE);
    EXPECT_EQ(tlcrash_async_mobject_base_address(&segment.mobj), header);
    EXPECT_EQ(segment.fileoff, 0u);
    EXPECT_EQ(segment.filesize, 0x400u);
    EXPECT_EQ(tlcrash_async_image_map_segment(&image, 9, &segment), TLCRASH_ERR_NOTFOUND);

    uint64_t type = 0, subtype = 0;
    ASSERT_TRUE(tlcrash_async_image_cpu_type(&image, &type, &subtype));
    EXPECT_EQ(type, 0x1000007u);
    EXPECT_EQ(subtype, 3u);
    tlcrash_async_image_free(&image);
}

TEST(AsyncSafeImage, ReadsABigEndian32BitImageThroughTheSwappedOrder) {
    ElfImage elf(false, false);
    elf.machine = 20;
    // A short build id is padded with zeros.
    elf.notes = {{3, "GNU", countingBytes(8)}};
    elf.build();

    tlcrash_async_image image;
    ASSERT_EQ(tlcrash_async_image_init(&image, tlcrash_task_self(), "ppc", elf.address()), TLCRASH_ERR_NONE);
    EXPECT_FALSE(image.is_64);
    EXPECT_EQ(image.byteorder, &tlcrash_async_byteorder_swapped);
    EXPECT_EQ(image.text_size, 0x1800u);
    ASSERT_TRUE(image.has_uuid);
    std::vector<uint8_t> id = countingBytes(8);
    id.resize(16, 0);
    EXPECT_EQ(std::vector<uint8_t>(image.uuid, image.uuid + 16), id);
    EXPECT_EQ(image.eh_frame_addr, elf.address() + 0x300);
    uint64_t type = 0, subtype = 0;
    ASSERT_TRUE(tlcrash_async_image_cpu_type(&image, &type, &subtype));
    EXPECT_EQ(type, 18u);
    tlcrash_async_image_free(&image);
}

TEST(AsyncSafeImage, RefusesWhatIsNoImageAndLeavesOutDamagedNotesAndTables) {
    struct Case {
        const char* name;
        void (*damage)(ElfImage&);
        tlcrash_error_t expected;
    };
    const Case refused[] = {
        {"bad magic", [](ElfImage& elf) { elf.bytes()[1] = 'X'; }, TLCRASH_ERR_INVAL},
        {"unknown class", [](ElfImage& elf) { elf.bytes()[4] = 3; }, TLCRASH_ERR_INVAL},
        {"unknown data order", [](ElfImage& elf) { elf.bytes()[5] = 0; }, TLCRASH_ERR_INVAL},
        {"no program headers", [](ElfImage& elf) { elf.bytes()[56] = elf.bytes()[57] = 0; }, TLCRASH_ERR_INVAL},
        {"program headers too small", [](ElfImage& elf) { elf.bytes()[54] = 40; }, TLCRASH_ERR_INVAL},
        {"program headers far away", [](ElfImage& elf) { elf.bytes()[38] = 0x7F; }, TLCRASH_ERR_NOMEM},
        {"no executable segment", [](ElfImage& elf) { elf.bytes()[64 + 56 + 4] = 4; }, TLCRASH_ERR_INVAL},
    };
    for (const Case& c : refused) {
        ElfImage elf(true, true);
        elf.build();
        c.damage(elf);
        tlcrash_async_image image;
        EXPECT_EQ(tlcrash_async_image_init(&image, tlcrash_task_self(), "x", elf.address()), c.expected) << c.name;
        EXPECT_EQ(image.name, nullptr) << c.name;
    }

    // A header in memory that cannot be read.
    const size_t page = tlcrash_async_page_size();
    void* hole = mmap(nullptr, page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(hole, MAP_FAILED);
    tlcrash_async_image image;
    EXPECT_EQ(tlcrash_async_image_init(&image, tlcrash_task_self(), "x", reinterpret_cast<uint64_t>(hole)),
              TLCRASH_ERR_INTERNAL);
    munmap(hole, page);

    // A note whose description runs past its segment, and a table header
    // whose pointer encoding is unknown, are left out of an image that is
    // otherwise read.
    ElfImage elf(true, true);
    elf.notes = {{3, "GNU", countingBytes(20)}};
    elf.forgedDescSize = 0x7FFFFFF0;
    elf.ehFrameEncoding = 0xFF;
    elf.build();
    ASSERT_EQ(tlcrash_async_image_init(&image, tlcrash_task_self(), "x", elf.address()), TLCRASH_ERR_NONE);
    EXPECT_FALSE(image.has_uuid);
    EXPECT_EQ(image.eh_frame_addr, 0u);
    tlcrash_async_mobject frame;
    EXPECT_EQ(tlcrash_async_image_map_eh_frame(&image, &frame), TLCRASH_ERR_NOTFOUND);
    tlcrash_async_image_free(&image);
}
