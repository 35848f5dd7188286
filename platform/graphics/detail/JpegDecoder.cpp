#include "platform/graphics/detail/ImageDecoders.h"

#include "platform/graphics/detail/ImageImpl.h"

// jpeglib.h needs size_t and FILE declared first.
#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace platform::detail {

namespace {

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

struct ProgressMonitor {
    jpeg_progress_mgr base;
    int maxScans;
};

void limitScans(j_common_ptr cinfo) {
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > reinterpret_cast<ProgressMonitor*>(cinfo->progress)->maxScans) bailOut(cinfo);
}

std::uint8_t mul255(unsigned a, unsigned b) { return static_cast<std::uint8_t>((a * b + 127) / 255); }

// Everything touched after setjmp that must survive a longjmp lives here, in
// plain storage of the caller, so no C++ object is skipped over.
struct DecodeState {
    jpeg_decompress_struct cinfo;
    ErrorManager errors;
    ProgressMonitor progress;
    cairo_surface_t* surface;
    unsigned char* row;   // one row as libjpeg gives it, for CMYK or when reducing further
    std::uint64_t* sums;  // four sums a decoded pixel of the band, when reducing further
};

// CMYK as libjpeg gives it (Adobe's inverted, or ink amounts) to opaque
// ARGB words; `out` may be `in`.
void cmykToArgb(const unsigned char* in, int width, bool inverted, unsigned char* out) {
    for (int x = 0; x < width; ++x) {
        unsigned c = in[4 * x], m = in[4 * x + 1], yy = in[4 * x + 2], k = in[4 * x + 3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            yy = 255 - yy;
            k = 255 - k;
        }
        const std::uint32_t word =
            0xFF000000u | (std::uint32_t{mul255(c, k)} << 16) | (std::uint32_t{mul255(m, k)} << 8) | mul255(yy, k);
        std::memcpy(out + 4 * x, &word, 4);
    }
}

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
    s.cinfo.progress = &s.progress.base;
    jpeg_read_header(&s.cinfo, TRUE);
    out.fileWidth = static_cast<int>(s.cinfo.image_width);  // at most 65500
    out.fileHeight = static_cast<int>(s.cinfo.image_height);
    if (!bitmapSizeAllowed(s.cinfo.image_width, s.cinfo.image_height)) {
        out.overBudget = true;
        return false;
    }
    int scale = scaleWithin(s.cinfo, maxPixels);
    // Beyond 1/8 the rows at 1/8 are averaged over whole blocks as they
    // come: the decode's work is the same, and only a row more is held.
    int factor = 1;
    if (scale == 0) {
        scale = 1;
        s.cinfo.scale_num = 1;
        s.cinfo.scale_denom = 8;
        jpeg_calc_output_dimensions(&s.cinfo);
        factor = reductionFor(s.cinfo.output_width, s.cinfo.output_height, maxPixels);
    }
    if (scale < 8) out.overBudget = true;
    out.reduction = 8.0 / scale * factor;

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
    const long long outWidth = reducedSide(width, factor);
    s.surface = newArgbSurface(static_cast<int>(outWidth), static_cast<int>(reducedSide(height, factor)));
    if (s.surface == nullptr) return false;
    unsigned char* pixels = cairo_image_surface_get_data(s.surface);
    const int stride = cairo_image_surface_get_stride(s.surface);
    if (cmyk || factor > 1) {
        s.row = static_cast<unsigned char*>(std::malloc(static_cast<std::size_t>(width) * 4));
        if (s.row == nullptr) return false;
    }
    if (factor > 1) {
        s.sums =
            static_cast<std::uint64_t*>(std::calloc(4 * static_cast<std::size_t>(outWidth), sizeof(std::uint64_t)));
        if (s.sums == nullptr) return false;
    }

    // Adobe writes CMYK inverted; others store ink amounts.
    const bool inverted = s.cinfo.saw_Adobe_marker;
    while (s.cinfo.output_scanline < s.cinfo.output_height) {
        const unsigned y = s.cinfo.output_scanline;
        unsigned char* target = factor > 1 ? s.row : pixels + static_cast<std::size_t>(y) * stride;
        JSAMPROW rows[1] = {cmyk ? s.row : target};
        if (jpeg_read_scanlines(&s.cinfo, rows, 1) != 1) return false;
        if (cmyk) cmykToArgb(s.row, width, inverted, target);
        if (factor > 1) {
            addRow(s.row, width, factor, s.sums);
            const unsigned band = y / static_cast<unsigned>(factor);
            const unsigned first = band * static_cast<unsigned>(factor);
            if (y + 1 == s.cinfo.output_height || y + 1 - first == static_cast<unsigned>(factor))
                writeBand(s.sums, width, factor, y + 1 - first, pixels + static_cast<std::size_t>(band) * stride);
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

std::optional<JpegScans> readJpegScans(std::span<const std::uint8_t> bytes) {
    const std::size_t n = bytes.size();
    if (n < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) return std::nullopt;
    struct Component {
        int id;
        int blocks;  // a whole MCU's: h x v
    };
    std::vector<Component> components;
    long long mcus = 0;
    JpegScans found;
    std::size_t at = 2;
    // A segment's length, counting its own two bytes; none past the end.
    const auto lengthAt = [&](std::size_t from) -> std::optional<std::size_t> {
        if (from + 2 > n) return std::nullopt;
        return (std::size_t{bytes[from]} << 8) | bytes[from + 1];
    };
    for (;;) {
        // libjpeg's next marker: anything before an 0xFF is skipped, then
        // fill bytes; FF 00 outside a scan is skipped as well.
        const auto* next = static_cast<const std::uint8_t*>(std::memchr(bytes.data() + at, 0xFF, n - at));
        if (next == nullptr) return std::nullopt;  // no EOI: libjpeg would make one up and warn
        at = static_cast<std::size_t>(next - bytes.data());
        while (at < n && bytes[at] == 0xFF) ++at;
        if (at >= n) return std::nullopt;
        const std::uint8_t marker = bytes[at++];
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
        if (marker == 0xD9) break;  // EOI
        const auto length = lengthAt(at);
        if (!length) return std::nullopt;
        const std::size_t end = at + std::max<std::size_t>(*length, 2);
        if (end > n) return std::nullopt;
        switch (marker) {
            case 0xC0:  // baseline, extended and progressive, by Huffman or arithmetic coding
            case 0xC1:
            case 0xC2:
            case 0xC9:
            case 0xCA: {
                if (!components.empty() || *length < 8 || bytes[at + 2] != 8) return std::nullopt;
                found.height = (bytes[at + 3] << 8) | bytes[at + 4];
                found.width = (bytes[at + 5] << 8) | bytes[at + 6];
                const int count = bytes[at + 7];
                if (found.width == 0 || found.height == 0 || count == 0 ||
                    *length != 8 + 3 * static_cast<std::size_t>(count))
                    return std::nullopt;
                int hMax = 1;
                int vMax = 1;
                for (int i = 0; i < count; ++i) {
                    const std::uint8_t* c = bytes.data() + at + 8 + 3 * i;
                    const int h = c[1] >> 4;
                    const int v = c[1] & 15;
                    if (h < 1 || h > 4 || v < 1 || v > 4) return std::nullopt;
                    hMax = std::max(hMax, h);
                    vMax = std::max(vMax, v);
                    components.push_back({c[0], h * v});
                }
                mcus =
                    ((found.width + 8LL * hMax - 1) / (8LL * hMax)) * ((found.height + 8LL * vMax - 1) / (8LL * vMax));
                for (const Component& c : components) found.blocks += mcus * c.blocks;
                found.arithmetic = marker >= 0xC9;
                found.progressive = marker == 0xC2 || marker == 0xCA;
                break;
            }
            case 0xDA: {  // SOS
                if (components.empty() || *length < 3) return std::nullopt;
                const int count = bytes[at + 2];
                if (count < 1 || count > 4 || *length != 6 + 2 * static_cast<std::size_t>(count)) return std::nullopt;
                for (int i = 0; i < count; ++i) {
                    const int id = bytes[at + 3 + 2 * i];
                    const auto c = std::find_if(components.begin(), components.end(),
                                                [id](const Component& k) { return k.id == id; });
                    if (c == components.end()) return std::nullopt;
                    // Whole MCUs: a scan of one component covers fewer.
                    found.scanBlocks += mcus * c->blocks;
                }
                // The decoder refuses more.
                if (++found.scans > kMaxJpegScans) return std::nullopt;
                // The scan's data: up to the first marker that is no
                // stuffed zero, restart or fill byte.
                std::size_t data = end;
                for (;;) {
                    const auto* ff = static_cast<const std::uint8_t*>(std::memchr(bytes.data() + data, 0xFF, n - data));
                    if (ff == nullptr) return std::nullopt;
                    data = static_cast<std::size_t>(ff - bytes.data());
                    std::size_t after = data + 1;
                    while (after < n && bytes[after] == 0xFF) ++after;
                    if (after >= n) return std::nullopt;
                    if (bytes[after] != 0x00 && (bytes[after] < 0xD0 || bytes[after] > 0xD7)) break;
                    data = after + 1;
                }
                at = data;
                continue;
            }
            case 0xC4:  // tables, restart interval, applications, comments,
            case 0xCC:  // arithmetic conditioning, number of lines: skipped
            case 0xDB:
            case 0xDC:
            case 0xDD:
            case 0xFE: break;
            default:
                if (marker >= 0xE0 && marker <= 0xEF) break;
                return std::nullopt;  // SOI again, codings libjpeg lacks, unknown
        }
        at = end;
    }
    if (components.empty() || found.scans == 0) return std::nullopt;
    return found;
}

DecodedBitmap decodeJpeg(ByteSource& source, long long maxPixels, int maxScans) {
    DecodedBitmap out;
    if (source.file == nullptr &&
        (source.data == nullptr || source.position >= source.size || source.size - source.position > 0xFFFFFFFFu))
        return out;
    DecodeState s{};
    s.cinfo.err = jpeg_std_error(&s.errors.base);
    s.errors.base.error_exit = bailOut;
    s.errors.base.emit_message = emitMessage;
    s.errors.base.output_message = silent;
    s.progress.base.progress_monitor = limitScans;
    s.progress.maxScans = std::min(maxScans, kMaxJpegScans);

    const bool ok = decodeInto(s, source, maxPixels, out);
    jpeg_destroy_decompress(&s.cinfo);
    std::free(s.row);
    std::free(s.sums);
    if (ok) {
        out.surface = s.surface;
    } else {
        out.reduction = 1;
        if (s.surface != nullptr) cairo_surface_destroy(s.surface);
    }
    return out;
}

}  // namespace platform::detail
