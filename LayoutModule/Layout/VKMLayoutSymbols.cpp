#include "LayoutModule/Layout/VKMLayoutSymbols.h"

#include <cmath>
#include <mutex>

#include "platform/graphics/Context.h"
#include "platform/ui/views/Screen.h"
#include "platform/ui/views/SymbolImages.h"

namespace VKMLayoutSymbols {

namespace {

using platform::Context;
using platform::Point;
using platform::Rect;

Rect inset(const Rect& box, double fraction) {
    return {box.x + box.width * fraction, box.y + box.height * fraction, box.width * (1 - 2 * fraction),
            box.height * (1 - 2 * fraction)};
}

// A point of the box given in fractions of its side.
Point at(const Rect& box, double fx, double fy) { return {box.x + fx * box.width, box.y + fy * box.height}; }

void brushPath(Context& context, const Rect& box) {
    context.beginPath();
    // Handle from the top right down to the ferrule, then the bristles.
    context.moveTo(at(box, 0.88, 0.06));
    context.lineTo(at(box, 0.96, 0.14));
    context.lineTo(at(box, 0.5, 0.62));
    context.lineTo(at(box, 0.4, 0.52));
    context.closePath();
    context.moveTo(at(box, 0.36, 0.56));
    context.lineTo(at(box, 0.46, 0.66));
    context.addCurveTo(at(box, 0.42, 0.86), at(box, 0.2, 0.96), at(box, 0.04, 0.94));
    context.addCurveTo(at(box, 0.16, 0.84), at(box, 0.12, 0.62), at(box, 0.36, 0.56));
    context.closePath();
}

void registerAll() {
    using platform::ui::registerSymbol;
    registerSymbol(kBrowse, [](Context& context, const Rect& box) {
        context.setLineWidth(box.width * 0.07);
        context.beginPath();
        context.addEllipseInRect(inset(box, 0.06));
        context.stroke();
        context.beginPath();
        context.moveTo(at(box, 0.72, 0.28));
        context.lineTo(at(box, 0.56, 0.56));
        context.lineTo(at(box, 0.28, 0.72));
        context.lineTo(at(box, 0.44, 0.44));
        context.closePath();
        context.fill();
    });
    registerSymbol(kShare, [](Context& context, const Rect& box) {
        context.setLineWidth(box.width * 0.07);
        context.beginPath();
        context.moveTo(at(box, 0.34, 0.4));
        context.lineTo(at(box, 0.18, 0.4));
        context.lineTo(at(box, 0.18, 0.94));
        context.lineTo(at(box, 0.82, 0.94));
        context.lineTo(at(box, 0.82, 0.4));
        context.lineTo(at(box, 0.66, 0.4));
        context.moveTo(at(box, 0.5, 0.62));
        context.lineTo(at(box, 0.5, 0.06));
        context.moveTo(at(box, 0.32, 0.22));
        context.lineTo(at(box, 0.5, 0.06));
        context.lineTo(at(box, 0.68, 0.22));
        context.stroke();
    });
    registerSymbol(kSettings, [](Context& context, const Rect& box) {
        context.setLineWidth(box.width * 0.07);
        context.beginPath();
        for (const double y : {0.22, 0.5, 0.78}) {
            context.moveTo(at(box, 0.06, y));
            context.lineTo(at(box, 0.94, y));
        }
        context.stroke();
        context.beginPath();
        const double knobs[][2] = {{0.66, 0.22}, {0.3, 0.5}, {0.58, 0.78}};
        for (const auto& knob : knobs) {
            const Point centre = at(box, knob[0], knob[1]);
            context.addEllipseInRect(
                {centre.x - box.width * 0.1, centre.y - box.height * 0.1, box.width * 0.2, box.height * 0.2});
        }
        context.fill();
    });
    registerSymbol(kLayers, [](Context& context, const Rect& box) {
        context.setLineWidth(box.width * 0.06);
        for (int i = 2; i >= 0; --i) {
            const double top = 0.1 + i * 0.2;
            context.beginPath();
            context.moveTo(at(box, 0.5, top));
            context.lineTo(at(box, 0.94, top + 0.16));
            context.lineTo(at(box, 0.5, top + 0.32));
            context.lineTo(at(box, 0.06, top + 0.16));
            context.closePath();
            if (i == 0) {
                context.fill();
            } else {
                context.stroke();
            }
        }
    });
    registerSymbol(kColorize, [](Context& context, const Rect& box) {
        context.setLineWidth(box.width * 0.06);
        brushPath(context, box);
        context.stroke();
    });
    registerSymbol(kColorizeFill, [](Context& context, const Rect& box) {
        brushPath(context, box);
        context.fill();
    });
}

}  // namespace

void registerSymbols() {
    static std::once_flag once;
    std::call_once(once, registerAll);
}

std::shared_ptr<platform::Image> image(const std::string& name, double pointSize) {
    registerSymbols();
    return platform::ui::systemImage(name, pointSize, platform::ui::Screen::mainScreen()->scale());
}

}  // namespace VKMLayoutSymbols
