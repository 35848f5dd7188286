#include "platform/ui/views/SymbolImages.h"

#include "platform/graphics/BitmapContext.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <mutex>
#include <numbers>
#include <tuple>

namespace platform::ui {

namespace {

// A filled circle with a cross cut out of it (the cross's outline inside the
// circle, filled even-odd).
void drawClearMark(Context& context, const Rect& box) {
    const double side = std::min(box.width, box.height);
    const double radius = side * 0.45;
    const double arm = radius * 0.6;   // from the centre to a bar's end
    const double half = side * 0.045;  // half a bar's width
    context.save();
    context.translate(box.x + box.width / 2, box.y + box.height / 2);
    context.rotate(std::numbers::pi / 4);
    context.addEllipseInRect({-radius, -radius, 2 * radius, 2 * radius});
    const Point cross[] = {{-half, -arm}, {half, -arm}, {half, -half}, {arm, -half}, {arm, half},   {half, half},
                           {half, arm},   {-half, arm}, {-half, half}, {-arm, half}, {-arm, -half}, {-half, -half}};
    context.moveTo(cross[0]);
    context.addLines(cross + 1, std::size(cross) - 1);
    context.closePath();
    context.fill(FillRule::evenOdd);
    context.restore();
}

struct Registry {
    std::mutex mutex;
    std::map<std::string, SymbolDrawing> symbols{{"xmark.circle.fill", drawClearMark}};
    // Images made, by name, point size and scale: screens ask for the same
    // few again each time they build their rows. Images never change.
    std::map<std::tuple<std::string, double, double>, std::shared_ptr<Image>> images;
    std::uint64_t registrations = 0;
};

// Images kept at most; then they are made afresh.
constexpr std::size_t kMostKeptImages = 256;

Registry& registry() {
    static Registry r;
    return r;
}

SymbolDrawing find(const std::string& name) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const auto found = r.symbols.find(name);
    return found == r.symbols.end() ? SymbolDrawing{} : found->second;
}

}  // namespace

void registerSymbol(const std::string& name, SymbolDrawing drawing) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.symbols[name] = std::move(drawing);
    ++r.registrations;
    std::erase_if(r.images, [&](const auto& kept) { return std::get<0>(kept.first) == name; });
}

bool hasSymbol(const std::string& name) { return static_cast<bool>(find(name)); }

bool drawSymbol(const std::string& name, Context& context, const Rect& box) {
    const SymbolDrawing drawing = find(name);
    if (!drawing) return false;
    context.save();
    context.setStrokeColor(context.fillColor());
    drawing(context, box);
    context.restore();
    return true;
}

std::shared_ptr<Image> systemImage(const std::string& name, double pointSize, double scale) {
    if (!std::isfinite(pointSize) || pointSize <= 0) return nullptr;
    Registry& r = registry();
    const auto key = std::make_tuple(name, pointSize, scale);
    SymbolDrawing drawing;
    std::uint64_t registrations = 0;
    {
        std::lock_guard lock(r.mutex);
        if (const auto kept = r.images.find(key); kept != r.images.end()) return kept->second;
        const auto found = r.symbols.find(name);
        if (found == r.symbols.end()) return nullptr;
        drawing = found->second;
        registrations = r.registrations;
    }
    auto bitmap = BitmapContext::createForPointSize({pointSize, pointSize}, scale);
    if (bitmap == nullptr) return nullptr;
    bitmap->setFillColor({0, 0, 0, 1});
    bitmap->setStrokeColor({0, 0, 0, 1});
    drawing(*bitmap, {0, 0, pointSize, pointSize});
    auto image = bitmap->makeImage()->withRenderingMode(ImageRenderingMode::alwaysTemplate);
    std::lock_guard lock(r.mutex);
    // Not kept when a symbol was registered meanwhile: it may be this one.
    if (image && r.registrations == registrations) {
        if (r.images.size() >= kMostKeptImages) r.images.clear();
        r.images.emplace(key, image);
    }
    return image;
}

}  // namespace platform::ui
