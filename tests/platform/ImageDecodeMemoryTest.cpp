// What a decode takes from the heap: its bitmap and a few rows more. Rows
// go straight into the bitmap and are turned into premultiplied words in
// place, and a picture over its budget is reduced as its rows are read, so
// no second bitmap and no copy of the file is ever made.
//
// This program alone replaces the C allocator's entry points (glibc allows
// that by symbol interposition, and its own calls go through them too) and
// counts the usable size of every live block; Cairo, pixman, libpng and
// zlib allocate through them. A sanitizer's runtime replaces them itself:
// there the hook is left out and the test skipped.

#include "platform/graphics/Image.h"

#include "tests/support/TestPictures.h"

#include <gtest/gtest.h>

#include <png.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VEKMONT_HEAP_HOOK 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define VEKMONT_HEAP_HOOK 0
#endif
#endif
#ifndef VEKMONT_HEAP_HOOK
#define VEKMONT_HEAP_HOOK 1
#endif

namespace {

std::atomic<long long> gInUse{0};
std::atomic<long long> gPeak{0};

}  // namespace

#if VEKMONT_HEAP_HOOK

#include <malloc.h>
#include <unistd.h>

#include <cerrno>

extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);
}

namespace {

void* counted(void* block) {
    if (block != nullptr) {
        const auto size = static_cast<long long>(malloc_usable_size(block));
        const long long now = gInUse.fetch_add(size) + size;
        long long peak = gPeak.load(std::memory_order_relaxed);
        while (now > peak && !gPeak.compare_exchange_weak(peak, now)) {
        }
    }
    return block;
}

void uncount(void* block) {
    if (block != nullptr) gInUse.fetch_sub(static_cast<long long>(malloc_usable_size(block)));
}

}  // namespace

extern "C" {
void* malloc(std::size_t size) { return counted(__libc_malloc(size)); }
void* calloc(std::size_t count, std::size_t size) { return counted(__libc_calloc(count, size)); }
void* realloc(void* block, std::size_t size) {
    uncount(block);
    void* moved = __libc_realloc(block, size);
    if (moved == nullptr && size != 0) return counted(block);  // failed: the old block stays
    return counted(moved);
}
void free(void* block) {
    uncount(block);
    __libc_free(block);
}
void* memalign(std::size_t alignment, std::size_t size) { return counted(__libc_memalign(alignment, size)); }
void* aligned_alloc(std::size_t alignment, std::size_t size) { return counted(__libc_memalign(alignment, size)); }
int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
    void* block = __libc_memalign(alignment, size);
    if (block == nullptr) return ENOMEM;
    *out = counted(block);
    return 0;
}
void* valloc(std::size_t size) { return counted(__libc_memalign(static_cast<std::size_t>(getpagesize()), size)); }
}

#endif

TEST(ImageDecodeMemory, ADecodeTakesItsBitmapAndATenthMoreAtMost) {
    if (!VEKMONT_HEAP_HOOK) GTEST_SKIP() << "a sanitizer's runtime owns the allocator";
    struct Case {
        const char* name;
        int side;
        int colour;
        std::vector<std::uint8_t> pixel;
        platform::Pixel expected;
    };
    // 4096 x 4096 is the budget exactly: a bitmap of 64 MiB, whatever the
    // file's colour type. 16384 x 16384 is reduced to it as it is read.
    const Case cases[] = {
        {"grey, widened to four bytes a pixel in place", 4096, PNG_COLOR_TYPE_GRAY, {77}, {77, 77, 77, 255}},
        {"grey and alpha", 4096, PNG_COLOR_TYPE_GRAY_ALPHA, {77, 255}, {77, 77, 77, 255}},
        {"RGB", 4096, PNG_COLOR_TYPE_RGB, {200, 100, 50}, {200, 100, 50, 255}},
        {"RGBA, premultiplied in place", 4096, PNG_COLOR_TYPE_RGB_ALPHA, {200, 100, 50, 128}, {200, 100, 50, 128}},
        {"grey of 16384 x 16384, reduced as it is read", 16384, PNG_COLOR_TYPE_GRAY, {77}, {77, 77, 77, 255}},
    };
    for (const Case& c : cases) {
        const std::vector<std::uint8_t> png = testsupport::PlainPng(c.side, c.side, c.colour, c.pixel);
        const long long before = gInUse.load();
        gPeak.store(before);
        std::shared_ptr<platform::Image> image = platform::Image::fromData(png);
        const long long peak = gPeak.load() - before;
        ASSERT_NE(image, nullptr) << c.name;
        EXPECT_EQ(image->pixelWidth(), 4096) << c.name;
        const auto bitmap = static_cast<long long>(image->byteCount());
        EXPECT_EQ(bitmap, 64LL * 1024 * 1024) << c.name;
        EXPECT_GE(peak, bitmap) << c.name << ": the bitmap is counted";
        EXPECT_LE(peak, bitmap + bitmap / 10) << c.name;
        // Premultiplied and back, 128 loses a little on the way.
        const auto last = image->pixel(4095, 4095);
        ASSERT_TRUE(last.has_value()) << c.name;
        EXPECT_NEAR(last->red, c.expected.red, 1) << c.name;
        EXPECT_NEAR(last->blue, c.expected.blue, 1) << c.name;
        EXPECT_EQ(last->alpha, c.expected.alpha) << c.name;
    }
}
