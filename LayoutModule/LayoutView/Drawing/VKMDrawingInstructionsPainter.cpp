#include "LayoutModule/LayoutView/Drawing/VKMDrawingInstructionsPainter.h"

#include <cmath>
#include <numbers>
#include <typeinfo>

#include "LayoutModule/LayoutView/Drawing/VKMLayoutColors.h"
#include "engine/drawing/GraphicsStateInstruction.h"
#include "engine/drawing/GridInstruction.h"
#include "engine/drawing/ImageInstruction.h"
#include "engine/drawing/OvalInstruction.h"
#include "engine/drawing/PathInstruction.h"
#include "engine/drawing/TextInstruction.h"
#include "engine/model/Point.h"
#include "engine/services/PerformanceCounters.h"
#include "engine/services/ZDUtils.h"
#include "platform/graphics/Image.h"

namespace {

constexpr double kDegreesToRadians = std::numbers::pi / 180.0;
// Boxes this wide or narrower are painted whether they meet the dirty
// rectangle or not.
constexpr double kAlwaysPaintedWidth = 1.0;
// Outline widths up to this magnitude draw no outline.
constexpr double kOutlineThreshold = 0.1;

platform::LineCap LineCapOf(int style) {
    switch (style) {
        case 1: return platform::LineCap::round;
        case 2: return platform::LineCap::square;
        default: return platform::LineCap::butt;
    }
}

// A quarter-turned picture is drawn into the rectangle turned with it; only
// 90 and 270 degrees (after truncation to whole degrees) swap the sides.
bool IsQuarterTurn(double angle) {
    if (!std::isfinite(angle)) return false;
    double degrees = std::fmod(std::trunc(angle), 360.0);
    if (degrees < 0) degrees += 360.0;
    return degrees == 90.0 || degrees == 270.0;
}

}  // namespace

const platform::Color& VKMDrawingInstructionsPainter::outlineColor() {
    static const platform::Color color = platform::Color::white(0.9, 0.75);
    return color;
}

void VKMDrawingInstructionsPainter::draw(platform::Context& context, const tDrawingInstructions& instructions,
                                         const platform::Rect& scaledDirtyRect, const std::string& counterName) {
    if (instructions.empty()) return;
    CStopwatch stopwatch;
    stopwatch.Start();
    for (const CDrawingInstruction* instruction : instructions) {
        if (instruction == nullptr) {
            ZDUtils::logWarning("Skipping null drawing instruction");
            continue;
        }
        const tDoubleRect& box = instruction->mBounds;
        const platform::Rect bounds{box.minX, box.minY, box.maxX - box.minX, box.maxY - box.minY};
        if (!bounds.intersects(scaledDirtyRect) && bounds.width > kAlwaysPaintedWidth) continue;

        const std::type_info& kind = typeid(*instruction);
        if (kind == typeid(CPathDrawingInstruction)) {
            drawPath(context, static_cast<const CPathDrawingInstruction&>(*instruction));
        } else if (kind == typeid(CTextDrawingInstruction)) {
            drawText(context, static_cast<const CTextDrawingInstruction&>(*instruction));
        } else if (kind == typeid(COvalDrawingInstruction)) {
            drawOval(context, static_cast<const COvalDrawingInstruction&>(*instruction));
        } else if (kind == typeid(CGridDrawingInstruction)) {
            drawGrid(context, static_cast<const CGridDrawingInstruction&>(*instruction), scaledDirtyRect);
        } else if (kind == typeid(CImageDrawingInstruction)) {
            drawImage(context, static_cast<const CImageDrawingInstruction&>(*instruction));
        } else if (kind == typeid(CGraphicsStateDrawingInstruction)) {
            handleGraphicsState(context, static_cast<const CGraphicsStateDrawingInstruction&>(*instruction));
        } else {
            ZDUtils::logWarning("Skipping unsupported drawing instruction: %s", instruction->Dump().c_str());
        }
    }
    QLPerformanceCounters::addToCounter(counterName, stopwatch.Stop());
}

void VKMDrawingInstructionsPainter::drawPath(platform::Context& context, const CPathDrawingInstruction& instruction) {
    std::optional<platform::Path> path;
    bool forceNewPath = false;
    for (const auto& step : instruction.mPathMicroInstructions) {
        const CPathMicroInstruction* micro = step.get();
        bool startsNew = false;
        if (micro != nullptr && typeid(*micro) == typeid(CPathStartNewMicroInstruction)) {
            startsNew = true;
        } else if (micro != nullptr && typeid(*micro) == typeid(CPathLineToMicroInstruction)) {
            drawPath(path, static_cast<const CPathLineToMicroInstruction&>(*micro), forceNewPath);
        } else if (micro != nullptr && typeid(*micro) == typeid(CPathArcMicroInstruction)) {
            drawPath(path, static_cast<const CPathArcMicroInstruction&>(*micro), forceNewPath);
        } else if (micro != nullptr && typeid(*micro) == typeid(CPathAddClipMicroInstruction)) {
            // Stays in force until a graphics-state restore; a clip before
            // any line leaves nothing drawable.
            context.clipToPath(path ? *path : platform::Path());
        } else {
            ZDUtils::logWarning("Unsupported path micro instruction");
        }
        forceNewPath = startsNew;
    }
    if (!path) return;

    // Line settings belong to the path being drawn, so each path sets all of
    // them rather than inheriting the previous path's.
    context.setLineCap(LineCapOf(instruction.mLineCapStyle));
    if (instruction.mDrawWithDash) {
        context.setLineDash(0, {instruction.mDashPattern[0], instruction.mDashPattern[1]});
    } else {
        context.setLineDash(0, {});
    }
    strokeFillPath(context, *path, instruction, instruction.mLineWidth);
}

void VKMDrawingInstructionsPainter::drawPath(std::optional<platform::Path>& path,
                                             const CPathLineToMicroInstruction& lineTo, bool forceNewPath) {
    const platform::Point target{lineTo.mPoint.x, lineTo.mPoint.y};
    if (path && !forceNewPath) {
        path->lineTo(target);
        return;
    }
    if (!path) path.emplace();
    path->moveTo(target);
}

void VKMDrawingInstructionsPainter::drawPath(std::optional<platform::Path>& path, const CPathArcMicroInstruction& arc,
                                             bool forceNewPath) {
    if (!path) path.emplace();
    const double start = arc.mStartAngle * kDegreesToRadians;
    const double end = arc.mEndAngle * kDegreesToRadians;
    const platform::Point centre{arc.mCenter.x, arc.mCenter.y};
    if (forceNewPath && std::isfinite(start) && std::isfinite(arc.mRadius)) {
        // Begin at the arc's own start, so no line joins it to the last
        // sub-path.
        path->moveTo({centre.x + arc.mRadius * std::cos(start), centre.y + arc.mRadius * std::sin(start)});
    }
    path->addArc(centre, arc.mRadius, start, end, arc.mDirection == 0);
}

void VKMDrawingInstructionsPainter::strokeFillPath(platform::Context& context, const platform::Path& path,
                                                   const CDrawingInstruction& instruction, double lineWidth) {
    if (instruction.mUseFill) {
        setFillColor(context, instruction.mFillColor, instruction.mUsePattern);
        context.fillPath(path, platform::FillRule::nonZero);
    }
    if (instruction.mUseStroke) {
        context.setStrokeColor(VKMLayoutColors::colorWithCColor(instruction.mStrokeColor));
        context.setLineWidth(lineWidth);
        context.strokePath(path);
    }
}

void VKMDrawingInstructionsPainter::setFillColor(platform::Context& context, const CColor& color, bool /*usePattern*/) {
    context.setFillColor(VKMLayoutColors::colorWithCColor(color));
}

void VKMDrawingInstructionsPainter::drawOval(platform::Context& context, const COvalDrawingInstruction& instruction) {
    const double rx = instruction.mRadiusX;
    const double ry = instruction.mRadiusY;
    if (!(rx >= 0) || !(ry >= 0) || !std::isfinite(rx) || !std::isfinite(ry)) return;

    // The arc of a unit circle, stretched to the half-axes and turned with
    // the ellipse's own axes: an affine image of a Bezier curve is the curve
    // of its mapped control points. For equal radii this is the plain arc.
    const double turn = instruction.mRotationAngle * kDegreesToRadians;
    const double start = instruction.mStartAngle * kDegreesToRadians - turn;
    const double end = instruction.mEndAngle * kDegreesToRadians - turn;
    platform::Path unit;
    unit.addArc({0, 0}, 1.0, start, end, true);
    const double c = std::cos(turn);
    const double s = std::sin(turn);
    const double cx = instruction.mPosition.x;
    const double cy = instruction.mPosition.y;
    auto map = [&](platform::Point p) {
        const double x = p.x * rx;
        const double y = p.y * ry;
        return platform::Point{cx + x * c - y * s, cy + x * s + y * c};
    };
    platform::Path path;
    for (const platform::Path::Element& element : unit.elements()) {
        switch (element.type) {
            case platform::Path::ElementType::moveTo: path.moveTo(map(element.points[0])); break;
            case platform::Path::ElementType::lineTo: path.lineTo(map(element.points[0])); break;
            case platform::Path::ElementType::curveTo:
                path.addCurveTo(map(element.points[0]), map(element.points[1]), map(element.points[2]));
                break;
            case platform::Path::ElementType::closeSubpath: path.closePath(); break;
        }
    }
    context.setLineCap(platform::LineCap::butt);
    context.setLineDash(0, {});
    strokeFillPath(context, path, instruction, instruction.mLineWidth);
}

platform::TextAttributes VKMDrawingInstructionsPainter::createAttributesForTextColor(
    const CColor& textColor, const std::string& fontName, double fontSize,
    const std::optional<platform::Color>& outlineColor, double strokeWidth) {
    platform::TextAttributes attributes;
    attributes.fontName = fontName;
    attributes.fontSize = fontSize;
    attributes.color = VKMLayoutColors::colorWithCColor(textColor);
    if (outlineColor && std::fabs(strokeWidth) > kOutlineThreshold) {
        attributes.strokeColor = *outlineColor;
        attributes.strokeWidth = -strokeWidth;
    }
    return attributes;
}

void VKMDrawingInstructionsPainter::drawText(platform::Context& context, const CTextDrawingInstruction& instruction) {
    context.save();
    context.translate(instruction.mTranslation.x, instruction.mTranslation.y);
    rotateContextBy(context, instruction.mRotationAngle, instruction.mRotationCenter);
    const platform::TextAttributes attributes =
        createAttributesForTextColor(instruction.mFillColor, instruction.mFontName, instruction.mTextSize,
                                     outlineColor(), instruction.mOutlineWidth);
    context.drawText(instruction.mText, {instruction.mPosition.x, instruction.mPosition.y}, attributes);
    context.restore();
}

void VKMDrawingInstructionsPainter::drawImage(platform::Context& context, const CImageDrawingInstruction& instruction) {
    if (!instruction.mImage) return;
    platform::Rect rect{instruction.mPlacement.x, instruction.mPlacement.y, instruction.mWidth, instruction.mHeight};
    const CPoint centre(rect.x + rect.width / 2, rect.y + rect.height / 2);
    context.save();
    rotateContextBy(context, instruction.mRotationAngle, centre);
    if (IsQuarterTurn(instruction.mRotationAngle)) {
        const double difference = rect.width - rect.height;
        rect = {rect.x + difference / 2, rect.y - difference / 2, rect.height, rect.width};
    }
    context.drawImage(*instruction.mImage, rect, instruction.mAlpha);
    context.restore();
}

void VKMDrawingInstructionsPainter::drawGrid(platform::Context& /*context*/,
                                             const CGridDrawingInstruction& /*instruction*/,
                                             const platform::Rect& /*dirtyRect*/) {}

void VKMDrawingInstructionsPainter::handleGraphicsState(platform::Context& context,
                                                        const CGraphicsStateDrawingInstruction& instruction) {
    if (instruction.mOperation == CGraphicsStateDrawingInstruction::kSave) {
        context.save();
    } else if (instruction.mOperation == CGraphicsStateDrawingInstruction::kRestore) {
        context.restore();
    }
}

void VKMDrawingInstructionsPainter::rotateContextBy(platform::Context& context, double angle, const CPoint& point) {
    context.translate(point.x, point.y);
    context.rotate(angle * kDegreesToRadians);
    context.translate(-point.x, -point.y);
}

platform::Rect VKMDrawingInstructionsPainter::getScaledDirtyRect(const platform::Rect& rect, double scaleFactor) {
    const double factor = 1.0 / scaleFactor;
    return {rect.x * factor, rect.y * factor, rect.width * factor, rect.height * factor};
}
