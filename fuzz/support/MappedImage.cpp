#include "fuzz/support/MappedImage.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

#include "fuzz/support/FuzzSupport.h"

namespace fuzzsupport {

namespace {

constexpr std::size_t kReservation = std::size_t{4} << 30;

// The reservation, made once for the process; the image's pages lie in its
// middle and are made readable for one input at a time.
std::uint8_t* ImagePages() {
    static std::uint8_t* const pages = [] {
        void* reserved = mmap(nullptr, kReservation, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        Require(reserved != MAP_FAILED, "the image's reservation is made");
        return static_cast<std::uint8_t*>(reserved) + kReservation / 2;
    }();
    return pages;
}

}  // namespace

MappedImage::MappedImage(const std::uint8_t* data, std::size_t size)
    : mSize(size < kMaximumSize ? size : kMaximumSize) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    mMapped = mSize == 0 ? 0 : (mSize + page - 1) / page * page;
    if (mMapped == 0) return;
    std::uint8_t* pages = ImagePages();
    Require(mprotect(pages, mMapped, PROT_READ | PROT_WRITE) == 0, "the image's pages can be written");
    std::memcpy(pages, data, mSize);
    std::memset(pages + mSize, 0, mMapped - mSize);
    Require(mprotect(pages, mMapped, PROT_READ) == 0, "the image's pages are made read-only");
}

MappedImage::~MappedImage() {
    if (mMapped != 0) mprotect(ImagePages(), mMapped, PROT_NONE);
}

std::uint64_t MappedImage::address() const { return reinterpret_cast<std::uint64_t>(ImagePages()); }

}  // namespace fuzzsupport
