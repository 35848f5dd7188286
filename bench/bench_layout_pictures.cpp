// Opening layouts with pictures as the app opens them
// (VKMLayoutDocumentHelper::openLayoutFile with the layout screen's
// preparer: read on the load queue, pictures decoded, elements built),
// timed from the open to its completion on the main thread, beside the
// sample without pictures opened in the same run. Each layout is the sample
// with an image layer of its own:
//
//   Pictures a user keeps; every one must be shown:
//     plan_9000        a scanned plan of 9000 x 9000 RGB (libpng's own
//                      filters, compression level 1)
//     rgb16_8192       a picture of 8192 x 8192 at 16 bits a sample, RGB
//     large_32         32 photographs of 4096 x 4096 RGB (ramps under a
//                      little noise, libpng's own filters)
//     large_32_flat    32 pictures of 4096 x 4096 RGB, one colour each,
//                      unfiltered
//     progressive_40   40 progressive phone photographs (4032 x 3024)
//     plan_photos      40 baseline phone photographs and, last in the file,
//                      a plan of 8000 x 8000 RGB under them
//     photo_thumbs     39 baseline phone photographs as thumbnails of
//                      10 x 7.5 and, last, a progressive one across the
//                      view at 1000 x 750
//     plan_thumbs      40 baseline phone photographs at 100 x 75 and,
//                      last, a plan of 8000 x 8000 RGB at 1000 x 1000
//   Hostile files:
//     paeth_8192_x5    five pictures of 8192 x 8192 RGBA, every row Paeth
//     tail_1000_x3     three pictures of 1 x 1 whose pixel data goes on for
//                      1000 MiB after the row
//     adam7_4096       4,096 pictures of 1 x 16384 RGBA at 16 bits,
//                      interlaced, every row Paeth
//     bits_16384_x32   32 pictures of 16384 x 16384 at 1 bit
//     empty_blocks_paeth_x9
//                      nine pictures of 8192 x 8192 RGBA, every row Paeth,
//                      and a 1 x 1 behind 16.5 MiB of empty deflate
//                      blocks of dynamic codes
//     paeth_8192_x9    nine pictures of 8192 x 8192 RGBA, every row Paeth
//     paeth_rgb_8192_x9, paeth_rgb16_8192_x9
//                      the same in RGB (opaque), and in RGB at 16 bits
//     long_blocks_x17  17 pictures of 1 x 1, each behind 17 MB of empty
//                      deflate blocks of dynamic codes, every table at its
//                      largest (289 MB)
//     long_blocks_paeth_x9
//                      the same nine after, decoded first for its larger
//                      place, a 1 x 1 behind 17 MB of empty deflate blocks
//                      of dynamic codes, every table at its largest
//
// BM_OpenLayoutPictures/<case>: counters `added_s` (the open less the
// sample's), `with_s`, `without_s`, the same in the process's processor
// time (`added_cpu_s`, `with_cpu_s`, `without_cpu_s`), `pictures`, `shown` (pictures given to
// their elements), `largest_px` (the width the largest picture on the
// layout was decoded at).
// BM_NewerOpenDuring/<case>: the sample opened 0.2, 0.5 and 0.8 of the way
// into an open of the case; `waited_s` is the most the newer open took over
// the sample opened alone.
//
// The pictures take a while to make: with $VEKMONT_BENCH_PICTURES set to a
// folder, the layouts are kept there and reused (by builds of other
// revisions too), else made in a temporary folder and removed.
//
//   bench_layout_pictures --benchmark_filter=... (one case a process when
//   comparing builds: the first decode of a process pays for its set-up)

#include "LayoutModule/Layout/VKMLayoutPreparer.h"
#include "app/Helper/VKMLayoutDocumentHelper.h"
#include "bench/BenchSupport.h"
#include "bench/LayoutOpening.h"
#include "engine/model/CurrentCloudLayout.h"
#include "engine/model/Image.h"
#include "engine/model/Layout.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/graphics/Image.h"
#include "tests/support/TestPictures.h"
#include "tools/layoutgen/LayoutFileWriter.h"
#include "tools/layoutgen/Scenario.h"

#include <benchmark/benchmark.h>

#include <png.h>
#include <zlib.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// ---- pictures ----

// A PNG whose filtered rows (each with its filter byte) `next` hands out a
// piece at a time until it answers false, deflated at level 9.
Bytes rawPng(int width, int height, std::uint8_t depth, std::uint8_t colour, bool adam7,
             const std::function<bool(Bytes&)>& next) {
    z_stream z{};
    deflateInit(&z, 9);
    Bytes data;
    Bytes piece;
    bool more = true;
    while (more) {
        piece.clear();
        more = next(piece);
        const int flush = more ? Z_NO_FLUSH : Z_FINISH;
        testsupport::DeflatePiece(&z, piece.data(), piece.size(), flush, data);
    }
    deflateEnd(&z);
    Bytes header;
    for (const int side : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8) header.push_back(static_cast<std::uint8_t>(side >> shift));
    header.insert(header.end(), {depth, colour, 0, 0, static_cast<std::uint8_t>(adam7 ? 1 : 0)});
    Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    testsupport::PutPngChunk(png, "IHDR", header);
    testsupport::PutPngChunk(png, "IDAT", data);
    testsupport::PutPngChunk(png, "IEND", {});
    return png;
}

// `rows` copies of `row`, handed out 64 at a time.
std::function<bool(Bytes&)> repeated(const Bytes& row, int rows) {
    return [row, rows, given = 0](Bytes& piece) mutable {
        for (int i = 0; i < 64 && given < rows; ++i, ++given) piece.insert(piece.end(), row.begin(), row.end());
        return given < rows;
    };
}

// A drawing as a scanner or an editor writes it: shaded paper, lines and
// specks, rows filtered as libpng chooses, compression level 1.
Bytes scannedPng(int side, int depth) {
    std::uint32_t noise = 1;
    return testsupport::Png({side, side, PNG_COLOR_TYPE_RGB, depth, 1},
                            [&noise, depth](int x, int y, std::uint16_t* rgb) {
                                noise = noise * 1664525u + 1013904223u;
                                // Paper shading slowly, the lines of a drawing, and a speck of dust
                                // in one pixel of 64.
                                int value = 225 + (x / 64 + y / 48) % 24;
                                if (x % 40 < 2 || y % 56 < 2) value = 60;
                                if ((noise >> 26) == 0) value -= static_cast<int>((noise >> 8) & 31);
                                for (int c = 0; c < 3; ++c)
                                    rgb[c] = static_cast<std::uint16_t>((value - 4 * c) * (depth == 16 ? 257 : 1));
                            });
}

// 4096 x 4096 RGB of one colour, unfiltered.
Bytes plainPng(std::uint8_t grey) {
    Bytes row{0};
    for (int x = 0; x < 4096; ++x) row.insert(row.end(), {grey, static_cast<std::uint8_t>(255 - grey), 128});
    return rawPng(4096, 4096, 8, PNG_COLOR_TYPE_RGB, false, repeated(row, 4096));
}

// 8192 x 8192 of zeros, every row Paeth: RGBA unless given.
Bytes paethPng(std::uint8_t colour = PNG_COLOR_TYPE_RGB_ALPHA, std::uint8_t depth = 8) {
    const std::size_t samples = colour == PNG_COLOR_TYPE_RGB_ALPHA ? 4 : 3;
    Bytes row(1 + 8192 * samples * depth / 8, 0);
    row[0] = 4;
    return rawPng(8192, 8192, depth, colour, false, repeated(row, 8192));
}

// 1 x 1 grey, its row followed by 1000 MiB of zeros in the same stream.
Bytes tailPng() {
    Bytes first{0, 7};
    first.resize(1 << 20, 0);
    return rawPng(1, 1, 8, PNG_COLOR_TYPE_GRAY, false, repeated(first, 1000));
}

// 1 x 16384 RGBA at 16 bits, Adam7: a width of 1 leaves passes 1, 3, 5 and
// 7 with a row for every 8th, 8th, 4th and 2nd line; every row Paeth.
Bytes adam7Png() {
    Bytes row(1 + 8, 0);
    row[0] = 4;
    return rawPng(1, 16384, 16, PNG_COLOR_TYPE_RGB_ALPHA, true, repeated(row, 2048 + 2048 + 4096 + 8192));
}

Bytes bitsPng() {
    return rawPng(16384, 16384, 1, PNG_COLOR_TYPE_GRAY, false, repeated(Bytes(1 + 16384 / 8, 0), 16384));
}

// ---- layouts ----

std::string readText(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct tPlaced {
    Bytes bytes;
    double width;
    double height;
};

// The sample with `pictures` on an image layer of its own (none: the
// sample alone), in this order, laid out in rows.
void writeLayout(const std::filesystem::path& path, const std::vector<tPlaced>& pictures) {
    std::string scenario = readText(VEKMONT_SAMPLE_SCENARIO);
    if (!pictures.empty()) scenario += "\nlayer \"Pictures\" type=image\n";
    double x = -450;
    double y = -420;
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        if (x > 2000) {
            x = -450;
            y += 500;
        }
        scenario += "image \"Picture " + std::to_string(i + 1) + "\" at=" + std::to_string(x) + "," +
                    std::to_string(y) + " size=" + std::to_string(pictures[i].width) + "," +
                    std::to_string(pictures[i].height) + " layer=\"Pictures\"\n";
        x += std::min(pictures[i].width, 400.0) + 10;
    }
    ULayoutGen::tLayoutDocument document;
    ULayoutGen::tScenarioSummary summary;
    std::string error;
    if (!ULayoutGen::ParseLayoutScenario(scenario, document, summary, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::abort();
    }
    for (std::size_t i = 0; i < pictures.size(); ++i) document.ReplacePicture(i, pictures[i].bytes);
    if (!ULayoutFileWriter::WriteLayoutFile(path, document.FileContent())) std::abort();
}

std::vector<tPlaced> casePictures(const std::string& name) {
    std::vector<tPlaced> pictures;
    const auto copies = [&pictures](int count, const Bytes& bytes, double width, double height) {
        for (int i = 0; i < count; ++i) pictures.push_back({bytes, width, height});
    };
    if (name == "plan_9000") copies(1, scannedPng(9000, 8), 2000, 2000);
    if (name == "rgb16_8192") copies(1, scannedPng(8192, 16), 2000, 2000);
    if (name == "large_32") {
        for (int i = 0; i < 32; ++i)
            pictures.push_back({testsupport::PhotoPng(4096, 4096, PNG_COLOR_TYPE_RGB, 6 * i), 350, 450});
    }
    if (name == "large_32_flat") {
        for (int i = 0; i < 32; ++i) pictures.push_back({plainPng(static_cast<std::uint8_t>(40 + 6 * i)), 350, 450});
    }
    if (name == "progressive_40") copies(40, testsupport::PhonePhoto(true), 400, 300);
    if (name == "plan_photos") {
        copies(40, testsupport::PhonePhoto(false), 400, 300);
        pictures.push_back({scannedPng(8000, 8), 2400, 2400});
    }
    if (name == "photo_thumbs") {
        copies(39, testsupport::PhonePhoto(false), 10, 7.5);
        pictures.push_back({testsupport::PhonePhoto(true), 1000, 750});
    }
    if (name == "plan_thumbs") {
        copies(40, testsupport::PhonePhoto(false), 100, 75);
        pictures.push_back({scannedPng(8000, 8), 1000, 1000});
    }
    if (name == "paeth_8192_x5") copies(5, paethPng(), 400, 400);
    if (name == "tail_1000_x3") copies(3, tailPng(), 400, 400);
    if (name == "adam7_4096") copies(4096, adam7Png(), 35, 45);
    if (name == "bits_16384_x32") copies(32, bitsPng(), 400, 400);
    if (name == "paeth_8192_x9") copies(9, paethPng(), 400, 400);
    if (name == "paeth_rgb_8192_x9") copies(9, paethPng(PNG_COLOR_TYPE_RGB), 400, 400);
    if (name == "paeth_rgb16_8192_x9") copies(9, paethPng(PNG_COLOR_TYPE_RGB, 16), 400, 400);
    if (name == "long_blocks_paeth_x9") {
        const long long blocks = 17'000'000LL * 8 / 694;
        copies(
            1,
            testsupport::PngOfStream(1, 1, PNG_COLOR_TYPE_GRAY, testsupport::ZlibAfterEmptyBlocks(3, blocks, {0, 7})),
            500, 500);
        copies(9, paethPng(), 400, 400);
    }
    if (name == "long_blocks_x17") {
        const long long blocks = 17'000'000LL * 8 / 694;
        copies(
            17,
            testsupport::PngOfStream(1, 1, PNG_COLOR_TYPE_GRAY, testsupport::ZlibAfterEmptyBlocks(3, blocks, {0, 7})),
            400, 400);
    }
    if (name == "empty_blocks_paeth_x9") {
        copies(9, paethPng(), 400, 400);
        const long long blocks = (33LL << 20) * 8 / 90 / 2;  // 16.5 MiB
        copies(
            1,
            testsupport::PngOfStream(1, 1, PNG_COLOR_TYPE_GRAY, testsupport::ZlibAfterEmptyBlocks(2, blocks, {0, 7})),
            400, 400);
    }
    return pictures;
}

// The folder of the layouts, made once a process.
const std::filesystem::path& folder() {
    static const std::filesystem::path path = [] {
        const char* kept = std::getenv("VEKMONT_BENCH_PICTURES");
        std::filesystem::path made =
            kept != nullptr && *kept != '\0'
                ? std::filesystem::path(kept)
                : std::filesystem::temp_directory_path() / ("bench-layout-pictures-" + std::to_string(getpid()));
        std::filesystem::create_directories(made);
        if (kept == nullptr || *kept == '\0') {
            static const std::filesystem::path removed = made;
            std::atexit([] {
                std::error_code ignored;
                std::filesystem::remove_all(removed, ignored);
            });
        }
        return made;
    }();
    return path;
}

// The case's layout (empty: the sample), written when not kept already.
std::filesystem::path layoutOf(const std::string& name) {
    const auto path = folder() / ((name.empty() ? std::string("sample") : name) + ".wkst");
    if (!std::filesystem::exists(path)) {
        const auto partial = path.string() + ".part" + std::to_string(getpid());
        writeLayout(partial, name.empty() ? std::vector<tPlaced>{} : casePictures(name));
        std::filesystem::rename(partial, path);
    }
    return path;
}

// ---- opening ----

using benchsupport::Open;
using benchsupport::OpenAndWait;
using benchsupport::PicturesShown;

void setUpOpening() { benchsupport::SetUpOpening("vekmont-bench-layout-pictures"); }

void BM_OpenLayoutPictures(benchmark::State& state, const std::string& name) {
    setUpOpening();
    const auto sample = layoutOf("");
    const auto with = layoutOf(name);
    Open without;
    Open opened;
    std::size_t shown = 0;
    std::size_t pictures = 0;
    int largest = 0;
    for (auto _ : state) {
        without = OpenAndWait(sample);
        opened = OpenAndWait(with);
        shown = PicturesShown();
        const tImages& images = CCurrentCloudLayout::Instance().Layout()->GetImages();
        pictures = images.size();
        const auto byArea = std::max_element(images.begin(), images.end(), [](const auto* a, const auto* b) {
            return a->GetWidth() * a->GetHeight() < b->GetWidth() * b->GetHeight();
        });
        largest = byArea != images.end() && (*byArea)->GetPicture() ? (*byArea)->GetPicture()->pixelWidth() : 0;
        if (!without.ok || !opened.ok) {
            state.SkipWithError("the layout did not open");
            break;
        }
    }
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(with)) / 1e6;
    state.counters["pictures"] = static_cast<double>(pictures);
    state.counters["shown"] = static_cast<double>(shown);
    state.counters["largest_px"] = largest;
    state.counters["without_s"] = without.seconds;
    state.counters["with_s"] = opened.seconds;
    state.counters["added_s"] = opened.seconds - without.seconds;
    state.counters["without_cpu_s"] = without.cpuSeconds;
    state.counters["with_cpu_s"] = opened.cpuSeconds;
    state.counters["added_cpu_s"] = opened.cpuSeconds - without.cpuSeconds;
}

void BM_NewerOpenDuring(benchmark::State& state, const std::string& name) {
    setUpOpening();
    const auto sample = layoutOf("");
    const auto busy = layoutOf(name);
    Open alone;
    Open busyAlone;
    double waited = 0;
    for (auto _ : state) {
        alone = OpenAndWait(sample);
        busyAlone = OpenAndWait(busy);
        for (const double part : {0.2, 0.5, 0.8}) {
            bool busyDone = false;
            VKMLayoutDocumentHelper::openLayoutFile(busy.string(), [&busyDone](bool) { busyDone = true; });
            std::this_thread::sleep_for(std::chrono::duration<double>(busyAlone.seconds * part));
            const Open newer = OpenAndWait(sample);
            platform::RunLoop::main()->runUntil([&busyDone] { return busyDone; }, std::chrono::minutes(10));
            if (!alone.ok || !busyAlone.ok || !newer.ok) {
                state.SkipWithError("the layouts did not open");
                break;
            }
            waited = std::max(waited, newer.seconds - alone.seconds);
        }
    }
    state.counters["alone_s"] = alone.seconds;
    state.counters["busy_s"] = busyAlone.seconds;
    state.counters["waited_s"] = waited;
}

}  // namespace

#define LAYOUT_PICTURES_CASE(name)                                                                                    \
    BENCHMARK_CAPTURE(BM_OpenLayoutPictures, name, std::string(#name))->Unit(benchmark::kMillisecond)->Iterations(1); \
    BENCHMARK_CAPTURE(BM_NewerOpenDuring, name, std::string(#name))->Unit(benchmark::kMillisecond)->Iterations(1)

LAYOUT_PICTURES_CASE(plan_9000);
LAYOUT_PICTURES_CASE(rgb16_8192);
LAYOUT_PICTURES_CASE(large_32);
LAYOUT_PICTURES_CASE(large_32_flat);
LAYOUT_PICTURES_CASE(progressive_40);
LAYOUT_PICTURES_CASE(plan_photos);
LAYOUT_PICTURES_CASE(photo_thumbs);
LAYOUT_PICTURES_CASE(plan_thumbs);
LAYOUT_PICTURES_CASE(paeth_8192_x5);
LAYOUT_PICTURES_CASE(tail_1000_x3);
LAYOUT_PICTURES_CASE(adam7_4096);
LAYOUT_PICTURES_CASE(bits_16384_x32);
LAYOUT_PICTURES_CASE(empty_blocks_paeth_x9);
LAYOUT_PICTURES_CASE(paeth_8192_x9);
LAYOUT_PICTURES_CASE(long_blocks_paeth_x9);
LAYOUT_PICTURES_CASE(paeth_rgb_8192_x9);
LAYOUT_PICTURES_CASE(paeth_rgb16_8192_x9);
LAYOUT_PICTURES_CASE(long_blocks_x17);

BENCHMARK_MAIN();
