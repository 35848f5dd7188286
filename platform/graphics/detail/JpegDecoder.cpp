#include "platform/graphics/detail/ImageDecoders.h"

#include "platform/graphics/detail/ImageImpl.h"

// jpeglib.h needs size_t and FILE declared first.
#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>

namespace platform::detail {

namespace {

// More scans than any real progressive file has; a forged file can ask for
// thousands of tiny scans and keep the decoder busy for minutes.
constexpr int kMaxScans = 1000;

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void bailOut(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1); }

// Warnings (level -1) that mean image data is missing or broken: libjpeg
// would go on and fill the rest with grey; we refuse the image instead.
// Harmless ones (stray bytes between markers, odd progression) are common
// in camera files and pass.
void emitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;
    switch (cinfo->err->msg_code) {
        case JWRN_JPEG_EOF:
        case JWRN_HIT_MARKER:
        case JWRN_MUST_RESYNC:
        case JWRN_HUFF_BAD_CODE: bailOut(cinfo);
        default: break;
    }
}

void silent(j_common_ptr) {}

void limitScans(j_common_ptr cinfo) {
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kMaxScans) bailOut(cinfo);
}

std::uint8_t mul255(unsigned a, unsigned b) { return static_cast<std::uint8_t>((a * b + 127) / 255); }

// Everything touched after setjmp that must survive a longjmp lives here, in
// plain storage of the caller, so no C++ object is skipped over.
struct DecodeState {
    jpeg_decompress_struct cinfo;
    ErrorManager errors;
    jpeg_progress_mgr progress;
    cairo_surface_t* surface;
    unsigned char* row;
};

// The largest scaling of libjpeg's IDCT, num / 8 for num from 8 down to 1,
// that brings the picture within the budget; 0 when even 1/8 does not.
int scaleWithin(jpeg_decompress_struct& cinfo, long long maxPixels) {
    for (int num = 8; num >= 1; --num) {
        cinfo.scale_num = static_cast<unsigned>(num);
        cinfo.scale_denom = 8;
        jpeg_calc_output_dimensions(&cinfo);
        if (static_cast<long long>(cinfo.output_width) * cinfo.output_height <= maxPixels) return num;
    }
    return 0;
}

bool decodeInto(DecodeState& s, ByteSource& source, long long maxPixels, DecodedBitmap& out) {
    if (setjmp(s.errors.jump) != 0) return false;

    jpeg_create_decompress(&s.cinfo);
    s.cinfo.mem->max_memory_to_use = kJpegWorkingMemory;
    if (source.file != nullptr) {
        jpeg_stdio_src(&s.cinfo, source.file);
    } else {
        jpeg_mem_src(&s.cinfo, source.data + source.position,
                     static_cast<unsigned long>(source.size - source.position));
    }
    s.cinfo.progress = &s.progress;
    jpeg_read_header(&s.cinfo, TRUE);
    out.fileWidth = static_cast<int>(s.cinfo.image_width);  // at most 65500
    out.fileHeight = static_cast<int>(s.cinfo.image_height);
    if (!bitmapSizeAllowed(s.cinfo.image_width, s.cinfo.image_height)) {
        out.overBudget = true;
        return false;
    }
    const int scale = scaleWithin(s.cinfo, maxPixels);
    if (scale < 8) out.overBudget = true;
    if (scale == 0) return false;
    out.reduction = 8.0 / scale;

    const bool cmyk = s.cinfo.jpeg_color_space == JCS_CMYK || s.cinfo.jpeg_color_space == JCS_YCCK;
    // Cairo's ARGB32 is one native-endian 32-bit word per pixel.
    const bool littleEndian = [] {
        const std::uint16_t probe = 1;
        std::uint8_t first = 0;
        std::memcpy(&first, &probe, 1);
        return first == 1;
    }();
    s.cinfo.out_color_space = cmyk ? JCS_CMYK : (littleEndian ? JCS_EXT_BGRA : JCS_EXT_ARGB);
    jpeg_start_decompress(&s.cinfo);

    const int width = static_cast<int>(s.cinfo.output_width);
    const int height = static_cast<int>(s.cinfo.output_height);
    if (!bitmapSizeAllowed(width, height) || s.cinfo.output_components != 4) return false;
    s.surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(s.surface) != CAIRO_STATUS_SUCCESS) return false;
    unsigned char* pixels = cairo_image_surface_get_data(s.surface);
    const int stride = cairo_image_surface_get_stride(s.surface);
    if (cmyk) {
        s.row = static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(width) * 4));
        if (s.row == nullptr) return false;
    }

    cairo_surface_flush(s.surface);
    while (s.cinfo.output_scanline < s.cinfo.output_height) {
        const unsigned y = s.cinfo.output_scanline;
        unsigned char* target = pixels + static_cast<std::size_t>(y) * stride;
        JSAMPROW rows[1] = {cmyk ? s.row : target};
        if (jpeg_read_scanlines(&s.cinfo, rows, 1) != 1) return false;
        if (cmyk) {
            // Adobe writes CMYK inverted; others store ink amounts.
            const bool inverted = s.cinfo.saw_Adobe_marker;
            auto* out = reinterpret_cast<std::uint32_t*>(target);
            for (int x = 0; x < width; ++x) {
                unsigned c = s.row[4 * x], m = s.row[4 * x + 1], yy = s.row[4 * x + 2], k = s.row[4 * x + 3];
                if (!inverted) {
                    c = 255 - c;
                    m = 255 - m;
                    yy = 255 - yy;
                    k = 255 - k;
                }
                out[x] = 0xFF000000u | (std::uint32_t{mul255(c, k)} << 16) | (std::uint32_t{mul255(m, k)} << 8) |
                         mul255(yy, k);
            }
        }
    }
    jpeg_finish_decompress(&s.cinfo);
    cairo_surface_mark_dirty(s.surface);
    return true;
}

struct HeaderState {
    jpeg_decompress_struct cinfo;
    ErrorManager errors;
};

bool readHeader(HeaderState& s, std::span<const std::uint8_t> bytes) {
    if (setjmp(s.errors.jump) != 0) return false;
    jpeg_create_decompress(&s.cinfo);
    jpeg_mem_src(&s.cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    return jpeg_read_header(&s.cinfo, TRUE) == JPEG_HEADER_OK;
}

}  // namespace

bool readJpegSize(std::span<const std::uint8_t> bytes, int& width, int& height) {
    if (bytes.empty() || bytes.size() > 0xFFFFFFFFu) return false;
    HeaderState s{};
    s.cinfo.err = jpeg_std_error(&s.errors.base);
    s.errors.base.error_exit = bailOut;
    s.errors.base.emit_message = emitMessage;
    s.errors.base.output_message = silent;
    const bool ok = readHeader(s, bytes);
    if (ok) {
        width = static_cast<int>(s.cinfo.image_width);  // at most 65500
        height = static_cast<int>(s.cinfo.image_height);
    }
    jpeg_destroy_decompress(&s.cinfo);
    return ok;
}

DecodedBitmap decodeJpeg(ByteSource& source, long long maxPixels) {
    DecodedBitmap out;
    if (source.file == nullptr &&
        (source.data == nullptr || source.position >= source.size || source.size - source.position > 0xFFFFFFFFu))
        return out;
    DecodeState s{};
    s.cinfo.err = jpeg_std_error(&s.errors.base);
    s.errors.base.error_exit = bailOut;
    s.errors.base.emit_message = emitMessage;
    s.errors.base.output_message = silent;
    s.progress.progress_monitor = limitScans;

    const bool ok = decodeInto(s, source, maxPixels, out);
    jpeg_destroy_decompress(&s.cinfo);
    std::free(s.row);
    if (ok) {
        out.surface = s.surface;
    } else {
        out.reduction = 1;
        if (s.surface != nullptr) cairo_surface_destroy(s.surface);
    }
    return out;
}

}  // namespace platform::detail
