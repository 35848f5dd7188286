#include "LayoutView/Drawing/VKMDrawingInstructionsPainter.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <typeinfo>

#include "LayoutView/Drawing/VKMLayoutColors.h"
#include "engine/drawing/GraphicsStateInstruction.h"
#include "engine/drawing/GridInstruction.h"
#include "engine/drawing/ImageInstruction.h"
#include "engine/drawing/OvalInstruction.h"
#include "engine/drawing/PathInstruction.h"
#include "engine/drawing/QuartzPathInstruction.h"
#include "engine/drawing/TextInstruction.h"
#include "engine/geometry/Point.h"
#include "engine/services/PerformanceCounters.h"
#include "engine/services/ZDUtils.h"
#include "platform/graphics/Image.h"

namespace {

// The attributes a text instruction is drawn with.
platform::TextAttributes AttributesOf(const CTextDrawingInstruction& instruction) {
    return VKMDrawingInstructionsPainter::createAttributesForTextColor(
        instruction.mFillColor, instruction.mFontName, instruction.mTextSize,
        VKMDrawingInstructionsPainter::outlineColor(), instruction.mOutlineWidth);
}

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

// Never meets the test below: its width is not a number.
constexpr platform::Rect kNeverSkipped{0, 0, std::numeric_limits<double>::quiet_NaN(), 0};

// The stored box of the instruction as the skipping test reads it.
platform::Rect BoxOf(const CDrawingInstruction& instruction) {
    const tDoubleRect& box = instruction.mBounds;
    return {box.minX, box.minY, box.maxX - box.minX, box.maxY - box.minY};
}

// A box that misses the dirty rectangle is skipped unless it is narrow.
bool IsSkipped(const platform::Rect& bounds, const platform::Rect& dirtyRect) {
    return !bounds.intersects(dirtyRect) && bounds.width > kAlwaysPaintedWidth;
}

// Line settings belong to the path being drawn, so each path sets all of
// them rather than inheriting the previous path's.
void SetLineStyle(platform::Context& context, const CPathDrawingInstruction& instruction) {
    context.setLineCap(LineCapOf(instruction.mLineCapStyle));
    if (instruction.mDrawWithDash) {
        context.setLineDash(0, {instruction.mDashPattern[0], instruction.mDashPattern[1]});
    } else {
        context.setLineDash(0, {});
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

// The line-to and arc steps on a path that has begun (`started`) or not;
// either sets `started`. A line-to without a path, or when a new path is
// forced, moves instead. An arc joins the current sub-path with a straight
// line unless a new path is forced: then it begins a sub-path of its own.
void AddLineTo(platform::Path& path, bool& started, const CPathLineToMicroInstruction& lineTo, bool forceNewPath) {
    const platform::Point target{lineTo.mPoint.x, lineTo.mPoint.y};
    if (started && !forceNewPath) {
        path.lineTo(target);
        return;
    }
    started = true;
    path.moveTo(target);
}

void AddArc(platform::Path& path, bool& started, const CPathArcMicroInstruction& arc, bool forceNewPath) {
    started = true;
    const double start = arc.mStartAngle * kDegreesToRadians;
    const double end = arc.mEndAngle * kDegreesToRadians;
    const platform::Point centre{arc.mCenter.x, arc.mCenter.y};
    if (forceNewPath && std::isfinite(start) && std::isfinite(arc.mRadius)) {
        // Begin at the arc's own start, so no line joins it to the last
        // sub-path.
        path.moveTo({centre.x + arc.mRadius * std::cos(start), centre.y + arc.mRadius * std::sin(start)});
    }
    path.addArc(centre, arc.mRadius, start, end, arc.mDirection == 0);
}

// Fills (non-zero winding) when the instruction fills, then strokes when
// `stroke` is set, at the context's line width.
void FillThenStroke(platform::Context& context, const platform::Path& path, const CDrawingInstruction& instruction,
                    bool stroke) {
    if (instruction.mUseFill) {
        VKMDrawingInstructionsPainter::setFillColor(context, instruction.mFillColor, instruction.mUsePattern);
        context.fillPath(path, platform::FillRule::nonZero);
    }
    if (stroke) {
        context.setStrokeColor(VKMLayoutColors::colorWithCColor(instruction.mStrokeColor));
        context.strokePath(path);
    }
}

}  // namespace

const platform::Color& VKMDrawingInstructionsPainter::outlineColor() {
    static const platform::Color color = platform::Color::white(0.9, 0.75);
    return color;
}

void VKMDrawingInstructionsPainter::draw(platform::Context& context, const tDrawingInstructions& instructions,
                                         const platform::Rect& scaledDirtyRect, const std::string& counterName) {
    draw(context, instructions, nullptr, scaledDirtyRect, counterName);
}

std::vector<platform::Rect> VKMDrawingInstructionsPainter::boxesOf(const tDrawingInstructions& instructions,
                                                                   std::vector<std::uint32_t>* texts) {
    // The instructions lie all over the heap: ask for the ones a little
    // ahead while this one is read.
    constexpr std::size_t kReadAhead = 16;
    std::vector<platform::Rect> boxes;
    boxes.reserve(instructions.size());
    for (std::size_t i = 0; i < instructions.size(); ++i) {
        if (i + kReadAhead < instructions.size()) __builtin_prefetch(instructions[i + kReadAhead]);
        const CDrawingInstruction* instruction = instructions[i];
        if (instruction == nullptr) {
            // Never skipped by its box: the loop reaches it and warns.
            boxes.push_back(kNeverSkipped);
            continue;
        }
        boxes.push_back(BoxOf(*instruction));
        if (texts != nullptr && typeid(*instruction) == typeid(CTextDrawingInstruction))
            texts->push_back(static_cast<std::uint32_t>(i));
    }
    return boxes;
}

void VKMDrawingInstructionsPainter::draw(platform::Context& context, const tDrawingInstructions& instructions,
                                         const std::vector<platform::Rect>* boxes,
                                         const platform::Rect& scaledDirtyRect, const std::string& counterName) {
    draw(context, instructions, boxes, nullptr, scaledDirtyRect, counterName);
}

void VKMDrawingInstructionsPainter::draw(platform::Context& context, const tDrawingInstructions& instructions,
                                         const std::vector<platform::Rect>* boxes, const VKMBoxIndex* index,
                                         const platform::Rect& scaledDirtyRect, const std::string& counterName) {
    draw(context, instructions, boxes, index, nullptr, scaledDirtyRect, counterName);
}

void VKMDrawingInstructionsPainter::draw(platform::Context& context, const tDrawingInstructions& instructions,
                                         const std::vector<platform::Rect>* boxes, const VKMBoxIndex* index,
                                         const VKMKeptTexts* texts, const platform::Rect& scaledDirtyRect,
                                         const std::string& counterName) {
    if (instructions.empty()) return;
    if (texts != nullptr && !context.drawsPixels()) texts = nullptr;
    if (boxes != nullptr && boxes->size() != instructions.size()) boxes = nullptr;
    if (index != nullptr && (boxes == nullptr || index->size() != instructions.size())) index = nullptr;
    CStopwatch stopwatch;
    stopwatch.Start();
    auto drawAt = [&](std::size_t i) {
        // With the boxes at hand an instruction outside is skipped without
        // touching it, which matters when most of a large list lies outside.
        if (boxes != nullptr && IsSkipped((*boxes)[i], scaledDirtyRect)) return;
        const CDrawingInstruction* instruction = instructions[i];
        if (instruction == nullptr) {
            ZDUtils::logWarning("Skipping null drawing instruction");
            return;
        }
        if (boxes == nullptr && IsSkipped(BoxOf(*instruction), scaledDirtyRect)) return;
        if (texts != nullptr && typeid(*instruction) == typeid(CTextDrawingInstruction)) {
            drawText(context, static_cast<const CTextDrawingInstruction&>(*instruction), *texts, i);
            return;
        }
        drawInstruction(context, *instruction, scaledDirtyRect);
    };
    const VKMBoxIndex::tBox area{scaledDirtyRect.minX(), scaledDirtyRect.minY(), scaledDirtyRect.maxX(),
                                 scaledDirtyRect.maxY()};
    const bool finiteArea =
        std::isfinite(area.minX) && std::isfinite(area.minY) && std::isfinite(area.maxX) && std::isfinite(area.maxY);
    // Only what may lie in the rectangle (and what is never skipped), in
    // list order; the same test as below decides on each.
    const bool indexed = index != nullptr && finiteArea && !index->coversAll(area);
    thread_local std::vector<std::uint32_t> candidates;
    if (indexed) index->query(area, candidates);
    const auto visit = [&](const auto& at) {
        if (indexed) {
            for (const std::uint32_t i : candidates) at(i);
        } else {
            for (std::size_t i = 0; i < instructions.size(); ++i) at(i);
        }
    };
    if (texts != nullptr && !texts->allMade()) {
        // The texts about to be drawn that have no layout yet are laid out
        // together: one at a time, the threads drawing a layout's first
        // tiles queued for Pango's lock at each of its thousands of labels.
        thread_local std::vector<VKMKeptTexts::tText> missing;
        visit([&](std::size_t i) {
            if (boxes != nullptr && IsSkipped((*boxes)[i], scaledDirtyRect)) return;
            const CDrawingInstruction* instruction = instructions[i];
            if (instruction == nullptr || typeid(*instruction) != typeid(CTextDrawingInstruction)) return;
            if (boxes == nullptr && IsSkipped(BoxOf(*instruction), scaledDirtyRect)) return;
            if (texts->isMade(i)) return;
            const auto& text = static_cast<const CTextDrawingInstruction&>(*instruction);
            missing.push_back({i, &text.mText, AttributesOf(text)});
        });
        texts->makeSeveral(missing);
        missing.clear();
    }
    visit(drawAt);
    QLPerformanceCounters::addToCounter(counterName, stopwatch.Stop());
}

void VKMDrawingInstructionsPainter::layOutTexts(const tDrawingInstructions& instructions, const VKMKeptTexts& texts) {
    // A batch holds Pango's lock for a few milliseconds: a tile drawn
    // meanwhile that needs it waits for one batch at most.
    constexpr std::size_t kBatch = 256;
    std::vector<VKMKeptTexts::tText> batch;
    const auto flush = [&] {
        texts.makeSeveral(batch);
        batch.clear();
    };
    for (std::size_t i = 0; i < instructions.size() && !texts.allMade(); ++i) {
        const CDrawingInstruction* instruction = instructions[i];
        if (instruction == nullptr || typeid(*instruction) != typeid(CTextDrawingInstruction) || texts.isMade(i))
            continue;
        const auto& text = static_cast<const CTextDrawingInstruction&>(*instruction);
        batch.push_back({i, &text.mText, AttributesOf(text)});
        if (batch.size() == kBatch) flush();
    }
    flush();
}

VKMBoxIndex VKMDrawingInstructionsPainter::indexOf(const std::vector<platform::Rect>& boxes) {
    return VKMBoxIndex(boxes.size(), [&](std::size_t i, VKMBoxIndex::tBox& box) {
        const platform::Rect& rect = boxes[i];
        // Narrow boxes (and those whose width is not a number) are never
        // skipped; empty ones never meet anything, so are always skipped.
        if (!(rect.width > kAlwaysPaintedWidth)) return VKMBoxIndex::Placement::always;
        if (!(rect.height != 0)) return VKMBoxIndex::Placement::never;
        // The sides as the rectangle's own minX() and maxX() give them: with
        // a positive width the origin is the least x.
        const double y1 = rect.y + rect.height;
        box = {rect.x, std::min(rect.y, y1), rect.x + rect.width, std::max(rect.y, y1)};
        return VKMBoxIndex::Placement::placed;
    });
}

void VKMDrawingInstructionsPainter::drawInstruction(platform::Context& context, const CDrawingInstruction& instruction,
                                                    const platform::Rect& scaledDirtyRect) {
    const std::type_info& kind = typeid(instruction);
    if (kind == typeid(CPathDrawingInstruction)) {
        drawPath(context, static_cast<const CPathDrawingInstruction&>(instruction));
    } else if (kind == typeid(CTextDrawingInstruction)) {
        drawText(context, static_cast<const CTextDrawingInstruction&>(instruction));
    } else if (kind == typeid(COvalDrawingInstruction)) {
        drawOval(context, static_cast<const COvalDrawingInstruction&>(instruction));
    } else if (kind == typeid(CQuartzPathDrawingInstruction)) {
        drawQuartzPath(context, static_cast<const CQuartzPathDrawingInstruction&>(instruction));
    } else if (kind == typeid(CGridDrawingInstruction)) {
        drawGrid(context, static_cast<const CGridDrawingInstruction&>(instruction), scaledDirtyRect);
    } else if (kind == typeid(CImageDrawingInstruction)) {
        drawImage(context, static_cast<const CImageDrawingInstruction&>(instruction));
    } else if (kind == typeid(CGraphicsStateDrawingInstruction)) {
        handleGraphicsState(context, static_cast<const CGraphicsStateDrawingInstruction&>(instruction));
    } else {
        ZDUtils::logWarning("Skipping unsupported drawing instruction: %s", instruction.Dump().c_str());
    }
}

void VKMDrawingInstructionsPainter::drawPath(platform::Context& context, const CPathDrawingInstruction& instruction) {
    // Nearly every path is a polyline (line-to steps alone): its points go
    // straight into the context, as the Path below would put them there,
    // unless the context holds a path of the caller's that must be kept.
    thread_local std::vector<platform::Point> points;
    points.clear();
    for (const CPathMicroInstruction& step : instruction.mPathMicroInstructions) {
        const auto* lineTo = std::get_if<CPathLineToMicroInstruction>(&step);
        if (lineTo == nullptr) {
            points.clear();
            break;
        }
        points.push_back({lineTo->mPoint.x, lineTo->mPoint.y});
    }
    if (!points.empty() && context.isPathEmpty()) {
        const bool stroke = instruction.mUseStroke && context.strokeWidthDraws(instruction.mLineWidth);
        if (!instruction.mUseFill && !stroke) return;
        SetLineStyle(context, instruction);
        if (instruction.mUseFill) {
            setFillColor(context, instruction.mFillColor, instruction.mUsePattern);
            context.fillLines(points.data(), points.size(), platform::FillRule::nonZero);
        }
        if (stroke) {
            context.setStrokeColor(VKMLayoutColors::colorWithCColor(instruction.mStrokeColor));
            context.setLineWidth(instruction.mLineWidth);
            context.addLines(points.data(), points.size());
            context.stroke();
        }
        return;
    }

    // One path per thread, emptied for each instruction, keeps its memory.
    thread_local platform::Path path;
    path.clear();
    path.reserve(instruction.mPathMicroInstructions.size());
    bool started = false;
    bool forceNewPath = false;
    for (const CPathMicroInstruction& step : instruction.mPathMicroInstructions) {
        bool startsNew = false;
        if (const auto* lineTo = std::get_if<CPathLineToMicroInstruction>(&step)) {
            AddLineTo(path, started, *lineTo, forceNewPath);
        } else if (const CPathArcMicroInstruction* arc = PathArcOf(step)) {
            AddArc(path, started, *arc, forceNewPath);
        } else if (std::holds_alternative<CPathStartNewMicroInstruction>(step)) {
            startsNew = true;
        } else if (std::holds_alternative<CPathAddClipMicroInstruction>(step)) {
            // Stays in force until a graphics-state restore; a clip before
            // any line leaves nothing drawable.
            context.clipToPath(started ? path : platform::Path());
        }
        forceNewPath = startsNew;
    }
    if (!started) return;
    SetLineStyle(context, instruction);
    strokeFillPath(context, path, instruction, instruction.mLineWidth);
}

void VKMDrawingInstructionsPainter::drawPath(std::optional<platform::Path>& path,
                                             const CPathLineToMicroInstruction& lineTo, bool forceNewPath) {
    bool started = path.has_value();
    if (!path) path.emplace();
    AddLineTo(*path, started, lineTo, forceNewPath);
}

void VKMDrawingInstructionsPainter::drawPath(std::optional<platform::Path>& path, const CPathArcMicroInstruction& arc,
                                             bool forceNewPath) {
    bool started = path.has_value();
    if (!path) path.emplace();
    AddArc(*path, started, arc, forceNewPath);
}

void VKMDrawingInstructionsPainter::strokeFillPath(platform::Context& context, const platform::Path& path,
                                                   const CDrawingInstruction& instruction, double lineWidth) {
    const bool stroke = instruction.mUseStroke && context.strokeWidthDraws(lineWidth);
    if (stroke) context.setLineWidth(lineWidth);
    FillThenStroke(context, path, instruction, stroke);
}

void VKMDrawingInstructionsPainter::drawQuartzPath(platform::Context& context,
                                                   const CQuartzPathDrawingInstruction& instruction) {
    if (instruction.mPath) strokeFillPath(context, *instruction.mPath, instruction);
}

void VKMDrawingInstructionsPainter::strokeFillPath(platform::Context& context, const platform::Path& path,
                                                   const CDrawingInstruction& instruction) {
    FillThenStroke(context, path, instruction, instruction.mUseStroke);
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

namespace {

// Draws the text instruction, from `texts` when given.
void DrawTextOf(platform::Context& context, const CTextDrawingInstruction& instruction, const VKMKeptTexts* texts,
                std::size_t index) {
    context.save();
    context.translate(instruction.mTranslation.x, instruction.mTranslation.y);
    VKMDrawingInstructionsPainter::rotateContextBy(context, instruction.mRotationAngle, instruction.mRotationCenter);
    const platform::TextAttributes attributes = AttributesOf(instruction);
    const platform::Point at{instruction.mPosition.x, instruction.mPosition.y};
    // A size that draws nothing from the characters draws nothing here
    // either (a layout would take it as 12).
    const platform::TextLayout* layout =
        texts != nullptr && attributes.fontSize > 0 ? texts->layoutAt(index, instruction.mText, attributes) : nullptr;
    if (layout != nullptr) {
        context.drawTextLayout(*layout, at);
    } else {
        context.drawText(instruction.mText, at, attributes);
    }
    context.restore();
}

}  // namespace

void VKMDrawingInstructionsPainter::drawText(platform::Context& context, const CTextDrawingInstruction& instruction) {
    DrawTextOf(context, instruction, nullptr, 0);
}

void VKMDrawingInstructionsPainter::drawText(platform::Context& context, const CTextDrawingInstruction& instruction,
                                             const VKMKeptTexts& texts, std::size_t index) {
    DrawTextOf(context, instruction, &texts, index);
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
