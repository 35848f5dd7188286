// Short labels, as charts and lists draw them: 1,000 texts of one to three
// words in the system font at 8 to 14 points, on a 1024 x 768-point bitmap
// at scale 2.
//
//   BM_MakeLabelLayouts   laying the 1,000 labels out (TextLayout::make),
//                         each time under a font name not seen before
//                         (it falls back to the system font), so that no
//                         kept layout is found.
//   BM_KeptLabelLayouts   the same labels again: the kept layouts.
//   BM_LabelLayoutsSideBySide/together:T
//                         the 1,000 labels, each with its number (as a
//                         layout's labels, all different), laid out under
//                         unseen font names
//                         by threads side by side, each its share, as the
//                         first tiles of a layout lay out its labels: one at
//                         a time (T 0, TextLayout::make, Pango's lock taken
//                         for each) or 64 at a time (T 1,
//                         TextLayout::makeSeveral, one hold for them).
//   BM_MeasureKeptLabelsSideBySide
//                         the 1,000 labels measured again (measureText, the
//                         sizes kept from a first measure) by threads side
//                         by side, each its share, as an open measures a
//                         layout's texts.
//   BM_DrawLabelLayouts   drawing the 1,000 layouts made beforehand
//                         (Context::drawTextLayout), from glyph masks.
//   BM_DrawLabelLayoutsThroughCairo
//                         the same through Cairo's own glyph drawing, which
//                         holds a font's lock while it draws.
//   BM_DrawTextBaseline   the baseline: the same strings drawn with
//                         Context::drawText, which lays each out (or takes
//                         it from its cache) and draws it through Pango.
//
// With more threads, each draws the same labels into a bitmap of its own at
// the same time, as a compositor drawing rasters side by side does; the
// time is the wall time of 1,000 labels (all threads' labels over their
// number), so threads that never wait divide it by their number.

#include "platform/graphics/BitmapContext.h"
#include "platform/graphics/TextLayout.h"
#include "platform/graphics/TextMeasure.h"
#include "platform/graphics/detail/GlyphMasks.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kLabels = 1000;
constexpr double kWidth = 1024;
constexpr double kHeight = 768;

struct Label {
    std::string text;
    platform::TextAttributes attributes;
    platform::Point at;
};

const std::vector<Label>& labels() {
    static const std::vector<Label> all = [] {
        const char* words[] = {"Gleis", "12.5", "Weiche", "links", "Bahnhof", "Nord", "37 %", "R2", "Kurve", "7"};
        std::vector<Label> out;
        for (int i = 0; i < kLabels; ++i) {
            std::string text = words[i % 10];
            for (int w = 1; w <= i % 3; ++w) text += std::string(" ") + words[(i * 7 + w) % 10];
            platform::TextAttributes attributes;
            attributes.fontSize = 8 + i % 7;
            attributes.color = platform::Color{0.1 * (i % 5), 0.2, 0.6, 1};
            out.push_back(Label{text, attributes, {(i * 37) % 960 + 0.5, (i * 53) % 740 + 0.25}});
        }
        return out;
    }();
    return all;
}

std::vector<std::shared_ptr<const platform::TextLayout>> makeLayouts(const std::string& fontName = {}) {
    std::vector<std::shared_ptr<const platform::TextLayout>> layouts;
    layouts.reserve(labels().size());
    for (const Label& label : labels()) {
        platform::TextAttributes attributes = label.attributes;
        attributes.fontName = fontName;
        layouts.push_back(platform::TextLayout::make(label.text, attributes, platform::TextLayoutOptions{}));
    }
    return layouts;
}

std::unique_ptr<platform::BitmapContext> makeBitmap() {
    return platform::BitmapContext::create(static_cast<int>(kWidth * 2), static_cast<int>(kHeight * 2), 2);
}

void BM_MakeLabelLayouts(benchmark::State& state) {
    int round = 0;
    for (auto _ : state) benchmark::DoNotOptimize(makeLayouts("unseen font " + std::to_string(++round)));
    state.SetItemsProcessed(state.iterations() * kLabels);
}

void BM_KeptLabelLayouts(benchmark::State& state) {
    makeLayouts();
    for (auto _ : state) benchmark::DoNotOptimize(makeLayouts());
    state.SetItemsProcessed(state.iterations() * kLabels);
}

void BM_LabelLayoutsSideBySide(benchmark::State& state) {
    const bool together = state.range(0) != 0;
    constexpr std::size_t kTogether = 64;
    const auto threads = static_cast<std::size_t>(state.threads());
    std::size_t share = 0;
    // Never seen before in this process, however often the case runs.
    static std::atomic<int> rounds{0};
    // Kept, as a layer keeps its texts' layouts, and let go untimed.
    std::vector<std::shared_ptr<const platform::TextLayout>> kept;
    for (auto _ : state) {
        const std::string font = "unseen side by side " + std::to_string(++rounds);
        std::vector<platform::StyledText> batch;
        share = 0;
        for (std::size_t i = static_cast<std::size_t>(state.thread_index()); i < labels().size(); i += threads) {
            platform::TextAttributes attributes = labels()[i].attributes;
            attributes.fontName = font;
            // Each its own, as a layout's labels ("Signal 12").
            std::string text = labels()[i].text + " " + std::to_string(i);
            ++share;
            if (!together) {
                kept.push_back(platform::TextLayout::make(text, attributes, {}));
                continue;
            }
            batch.push_back({std::move(text), attributes, {}});
            if (batch.size() == kTogether) {
                for (auto& layout : platform::TextLayout::makeSeveral(batch, {})) kept.push_back(std::move(layout));
                batch.clear();
            }
        }
        for (auto& layout : platform::TextLayout::makeSeveral(batch, {})) kept.push_back(std::move(layout));
        state.PauseTiming();
        kept.clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(share));
}

void BM_MeasureKeptLabelsSideBySide(benchmark::State& state) {
    const auto threads = static_cast<std::size_t>(state.threads());
    for (std::size_t i = static_cast<std::size_t>(state.thread_index()); i < labels().size(); i += threads)
        platform::measureText(labels()[i].text, "DejaVu Sans", labels()[i].attributes.fontSize);
    std::size_t share = 0;
    for (auto _ : state) {
        share = 0;
        for (std::size_t i = static_cast<std::size_t>(state.thread_index()); i < labels().size(); i += threads) {
            benchmark::DoNotOptimize(
                platform::measureText(labels()[i].text, "DejaVu Sans", labels()[i].attributes.fontSize));
            ++share;
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(share));
}

void BM_DrawLabelLayouts(benchmark::State& state) {
    static const auto layouts = makeLayouts();
    const auto bitmap = makeBitmap();
    for (auto _ : state) {
        for (std::size_t i = 0; i < layouts.size(); ++i) bitmap->drawTextLayout(*layouts[i], labels()[i].at);
    }
    state.SetItemsProcessed(state.iterations() * kLabels);
}

void BM_DrawLabelLayoutsThroughCairo(benchmark::State& state) {
    platform::detail::setGlyphMasksEnabled(false);
    BM_DrawLabelLayouts(state);
    platform::detail::setGlyphMasksEnabled(true);
}

void BM_DrawTextBaseline(benchmark::State& state) {
    const auto bitmap = makeBitmap();
    for (auto _ : state) {
        for (const Label& label : labels()) bitmap->drawText(label.text, label.at, label.attributes);
    }
    state.SetItemsProcessed(state.iterations() * kLabels);
}

}  // namespace

BENCHMARK(BM_MakeLabelLayouts)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeptLabelLayouts)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LabelLayoutsSideBySide)
    ->ArgName("together")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->ThreadRange(1, 8)
    ->UseRealTime();
BENCHMARK(BM_MeasureKeptLabelsSideBySide)->Unit(benchmark::kMillisecond)->ThreadRange(1, 8)->UseRealTime();
BENCHMARK(BM_DrawLabelLayouts)->Unit(benchmark::kMillisecond)->ThreadRange(1, 8)->UseRealTime();
BENCHMARK(BM_DrawLabelLayoutsThroughCairo)->Unit(benchmark::kMillisecond)->ThreadRange(1, 8)->UseRealTime();
BENCHMARK(BM_DrawTextBaseline)->Unit(benchmark::kMillisecond)->ThreadRange(1, 4)->UseRealTime();

BENCHMARK_MAIN();
