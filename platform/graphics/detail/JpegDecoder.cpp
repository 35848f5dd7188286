#include "platform/graphics/detail/ImageDecoders.h"

#include "platform/graphics/Image.h"
#include "platform/graphics/detail/ImageImpl.h"

// jpeglib.h needs size_t and FILE declared first.
#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>

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

// The work of each part, in DecodeMeter's units, from bench_images'
// BM_DecodeUnits: each at the dearest make-up that has it.
// A byte of the file handed to libjpeg (most of a scan's Huffman decoding
// goes with its bits); of a progressive file, whose scans refine
// coefficients bit by bit, three times that; of an arithmetic-coded file,
// far more.
constexpr long long kFedByte = 13;
constexpr long long kProgressiveByte = 40;
constexpr long long kArithmeticByte = 100;
// Each block of each scan, and each of its coefficients the scan codes.
constexpr long long kScanBlock = 70;
constexpr long long kScanCoefficient = 1;
// Arithmetic coding decodes a coefficient however few bytes it took: each
// is counted at its dearest (every coefficient large, in 70 bytes a
// block), which counts a photograph about four times what it takes.
constexpr long long kArithmeticCoefficient = 200;
// Each row of MCUs of a scan read into the buffer (a call of
// jpeg_consume_input), whatever it holds: a thin progressive picture has
// a block a row.
constexpr long long kScanRow = 150;
// Each restart marker: the decoder's state reset, the marker read.
constexpr long long kRestart = 400;
// Each visit of a block in the buffer of a progressive (or many-scan)
// file's coefficients: once a scan that has it, once to put it out.
constexpr long long kBufferedBlock = 30;
// The inverse DCT of a block, by the samples it gives (64 at full size, 1
// at 1/8), and a pixel of a row put out (upsampling, colour conversion,
// CMYK, averaging when reduced further).
constexpr long long kIdctBlock = 20;
constexpr long long kIdctSample = 2;
constexpr long long kOutPixel = 5;
// Each row put out beside its pixels (a call of jpeg_read_scanlines): a
// thin picture's rows are little else.
constexpr long long kOutRow = 40;
// A CMYK pixel's inks turned into RGB beside that.
constexpr long long kCmykPixel = 7;
// libjpeg is handed the file this much at a time: its Huffman decoder
// takes a slower path over the last 512 bytes of each piece.
constexpr std::size_t kSourcePiece = 64 * 1024;

// libjpeg's source: the bytes in pieces, each spent from the meter as it
// is handed over.
struct Source {
    jpeg_source_mgr base;
    ByteSource* bytes;
    DecodeMeter* meter;
    bool cut;
    long long sequentialBytes;  // handed over at a sequential file's rate, before the frame header told
    JOCTET* buffer;             // a piece of a file; the bytes in memory are handed over where they are
};

void initSource(j_decompress_ptr) {}
void termSource(j_decompress_ptr) {}

boolean fillInput(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<Source*>(cinfo->src);
    ByteSource& bytes = *src->bytes;
    std::size_t count = 0;
    if (bytes.file != nullptr) {
        count = std::fread(src->buffer, 1, kSourcePiece, bytes.file);
        src->base.next_input_byte = src->buffer;
    } else {
        count = std::min(kSourcePiece, bytes.size - bytes.position);
        src->base.next_input_byte = bytes.data + bytes.position;
        bytes.position += count;
    }
    if (count == 0) {
        WARNMS(cinfo, JWRN_JPEG_EOF);  // refused (emitMessage)
        static const JOCTET kEnd[2] = {0xFF, JPEG_EOI};
        src->base.next_input_byte = kEnd;
        count = 2;
    }
    src->base.bytes_in_buffer = count;
    const long long perByte = cinfo->arith_code         ? kArithmeticByte
                              : cinfo->progressive_mode ? kProgressiveByte
                                                        : kFedByte;
    if (perByte == kFedByte) src->sequentialBytes += static_cast<long long>(count);
    if (!src->meter->spend(perByte * static_cast<long long>(count))) {
        src->cut = true;
        bailOut(reinterpret_cast<j_common_ptr>(cinfo));
    }
    return TRUE;
}

// Segments skipped by their length are passed over unread.
void skipInput(j_decompress_ptr cinfo, long count) {
    auto* src = reinterpret_cast<Source*>(cinfo->src);
    if (count <= 0) return;
    const auto n = static_cast<std::size_t>(count);
    if (n <= src->base.bytes_in_buffer) {
        src->base.next_input_byte += n;
        src->base.bytes_in_buffer -= n;
        return;
    }
    const std::size_t rest = n - src->base.bytes_in_buffer;
    src->base.bytes_in_buffer = 0;
    ByteSource& bytes = *src->bytes;
    if (bytes.file != nullptr) {
        // Past the end, the next read finds none.
        if (std::fseek(bytes.file, static_cast<long>(rest), SEEK_CUR) != 0) std::fseek(bytes.file, 0, SEEK_END);
    } else {
        bytes.position += std::min(rest, bytes.size - bytes.position);
    }
}

std::uint8_t mul255(unsigned a, unsigned b) { return static_cast<std::uint8_t>((a * b + 127) / 255); }

// Everything touched after setjmp that must survive a longjmp lives here, in
// plain storage of the caller, so no C++ object is skipped over.
struct DecodeState {
    jpeg_decompress_struct cinfo;
    ErrorManager errors;
    Source source;
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

// The work of one block of the scan being read, by the coefficients it
// codes.
long long scanBlockWork(const jpeg_decompress_struct& c) {
    const long long coefficients = c.progressive_mode ? c.Se - c.Ss + 1 : 64;
    return kScanBlock + coefficients * (c.arith_code ? kArithmeticCoefficient : kScanCoefficient);
}

// What one row of MCUs of the scan being read costs (what one call of
// jpeg_consume_input reads): its blocks, restarts, and each block's visit
// of the buffer when there is one.
long long scanRowWork(const jpeg_decompress_struct& c, bool buffered) {
    const long long mcus = c.comps_in_scan == 1
                               ? static_cast<long long>(c.MCUs_per_row) * c.cur_comp_info[0]->v_samp_factor
                               : c.MCUs_per_row;
    const long long blocks = c.comps_in_scan == 1 ? mcus : mcus * c.blocks_in_MCU;
    long long work = blocks * (scanBlockWork(c) + (buffered ? kBufferedBlock : 0)) + (buffered ? kScanRow : 0);
    if (c.restart_interval > 0) work += kRestart * ((mcus + c.restart_interval - 1) / c.restart_interval);
    return work;
}

// The inverse DCT of every block of the picture at the output's scale.
long long idctWork(const jpeg_decompress_struct& c, bool buffered) {
    long long blocks = 0;
    for (int i = 0; i < c.num_components; ++i)
        blocks += static_cast<long long>(c.comp_info[i].width_in_blocks) * c.comp_info[i].height_in_blocks;
    const long long samples = static_cast<long long>(c.min_DCT_scaled_size) * c.min_DCT_scaled_size;
    return blocks * (kIdctBlock + kIdctSample * samples + (buffered ? kBufferedBlock : 0));
}

// The DC coefficients of every component are whole: what a picture at 1/8
// is made of. `dcBits` holds, for each component, the low bits its DC
// still lacks after the scans read so far (-1 before its first).
bool dcWhole(const int* dcBits, int components) {
    return std::all_of(dcBits, dcBits + components, [](int bits) { return bits == 0; });
}

// A many-scan file in libjpeg's buffered-image mode, scan by scan into the
// buffer of coefficients, each row of MCUs spent as it is read. At 1/8 or
// less only the DC coefficients are wanted: reading stops at the scan that
// completes them, and what follows is not read. False when the meter said
// no or there were too many scans.
bool readScans(DecodeState& s, bool dcOnly, DecodeMeter& meter) {
    jpeg_decompress_struct& c = s.cinfo;
    int dcBits[MAX_COMPONENTS];
    std::fill(dcBits, dcBits + MAX_COMPONENTS, -1);
    bool inScan = true;  // jpeg_read_header stopped at the first scan's header
    for (;;) {
        if (inScan && !meter.spend(scanRowWork(c, true))) {
            s.source.cut = true;
            return false;
        }
        const int read = jpeg_consume_input(&c);
        if (read == JPEG_SUSPENDED || read == JPEG_REACHED_EOI) return read == JPEG_REACHED_EOI;
        if (read == JPEG_REACHED_SOS) {
            if (c.input_scan_number > kMaxJpegScans) return false;
            inScan = true;
        } else if (read == JPEG_SCAN_COMPLETED) {
            inScan = false;
            if (c.Ss == 0) {
                for (int i = 0; i < c.comps_in_scan; ++i) dcBits[c.cur_comp_info[i]->component_index] = c.Al;
            }
            if (dcOnly && dcWhole(dcBits, c.num_components)) return true;
        }
    }
}

bool decodeInto(DecodeState& s, ByteSource& source, long long maxPixels, DecodeMeter& meter, DecodedBitmap& out) {
    if (setjmp(s.errors.jump) != 0) return false;

    jpeg_create_decompress(&s.cinfo);
    s.cinfo.mem->max_memory_to_use = kJpegWorkingMemory;
    s.source.base.init_source = initSource;
    s.source.base.fill_input_buffer = fillInput;
    s.source.base.skip_input_data = skipInput;
    s.source.base.resync_to_restart = jpeg_resync_to_restart;
    s.source.base.term_source = termSource;
    s.source.bytes = &source;
    s.source.meter = &meter;
    s.cinfo.src = &s.source.base;
    jpeg_read_header(&s.cinfo, TRUE);
    // The bytes handed over before the frame header said how they are
    // coded, at the rate of theirs.
    if (s.cinfo.progressive_mode && !s.cinfo.arith_code &&
        !meter.spend((kProgressiveByte - kFedByte) * s.source.sequentialBytes)) {
        s.source.cut = true;
        return false;
    }
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
    // A file of many scans is read whole into the buffer of coefficients
    // before any row comes out; buffered-image mode lets it be read scan by
    // scan, and stopped once what the scale needs is there.
    const bool buffered = jpeg_has_multiple_scans(&s.cinfo);
    s.cinfo.buffered_image = buffered ? TRUE : FALSE;
    jpeg_start_decompress(&s.cinfo);
    const bool dcOnly = buffered && scale == 1;
    if (buffered) {
        if (!readScans(s, dcOnly, meter)) return false;
        // Guessing the missing coefficients from the neighbours' DC only
        // costs: at 1/8 nothing but the DC is used.
        if (dcOnly) s.cinfo.do_block_smoothing = FALSE;
        jpeg_start_output(&s.cinfo, s.cinfo.input_scan_number);
    }

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

    // The blocks' work shared out over the rows put out: a single scan is
    // decoded as its rows are wanted.
    const long long blockWork =
        idctWork(s.cinfo, buffered) + (buffered ? 0 : s.cinfo.total_iMCU_rows * scanRowWork(s.cinfo, false));
    const long long rowWork = kOutRow + (kOutPixel + (cmyk ? kCmykPixel : 0)) * width;
    // Adobe writes CMYK inverted; others store ink amounts.
    const bool inverted = s.cinfo.saw_Adobe_marker;
    while (s.cinfo.output_scanline < s.cinfo.output_height) {
        const unsigned y = s.cinfo.output_scanline;
        const long long share = blockWork * (y + 1) / height - blockWork * y / height;
        if (!meter.spend(share + rowWork)) {
            s.source.cut = true;
            return false;
        }
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
    // Only the DC's scans were read: the rest of the file is not.
    if (!dcOnly) {
        if (buffered) jpeg_finish_output(&s.cinfo);
        jpeg_finish_decompress(&s.cinfo);
    }
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

DecodedBitmap decodeJpeg(ByteSource& source, long long maxPixels, DecodeMeter& meter) {
    DecodedBitmap out;
    if (source.file == nullptr &&
        (source.data == nullptr || source.position >= source.size || source.size - source.position > 0xFFFFFFFFu))
        return out;
    DecodeState s{};
    s.cinfo.err = jpeg_std_error(&s.errors.base);
    s.errors.base.error_exit = bailOut;
    s.errors.base.emit_message = emitMessage;
    s.errors.base.output_message = silent;
    if (source.file != nullptr) {
        s.source.buffer = static_cast<JOCTET*>(std::malloc(kSourcePiece));
        if (s.source.buffer == nullptr) return out;
    }

    const bool ok = decodeInto(s, source, maxPixels, meter, out);
    out.cut = s.source.cut;
    jpeg_destroy_decompress(&s.cinfo);
    std::free(s.row);
    std::free(s.sums);
    std::free(s.source.buffer);
    if (ok) {
        out.surface = s.surface;
    } else {
        out.reduction = 1;
        if (s.surface != nullptr) cairo_surface_destroy(s.surface);
    }
    return out;
}

}  // namespace platform::detail
