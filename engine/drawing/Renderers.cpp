#include "engine/drawing/Renderers.h"

#include <algorithm>
#include <cmath>
#include <typeinfo>
#include <utility>

#include "engine/drawing/DrawingOptions.h"
#include "engine/drawing/OvalInstruction.h"
#include "engine/drawing/ParallelPathCache.h"
#include "engine/drawing/RenderStrategy.h"
#include "engine/drawing/TextInstruction.h"
#include "engine/geometry/BoundsAccumulator.h"
#include "engine/model/CurveBIG.h"
#include "engine/model/FlexTrackBIG.h"
#include "engine/model/OvalBIG.h"
#include "engine/model/PolyBIG.h"
#include "engine/model/StraightBIG.h"
#include "engine/model/TextBIG.h"
#include "engine/services/ErrorHandling.h"
#include "engine/services/ServiceLocator.h"
#include "engine/services/TextCalculationService.h"

namespace {

constexpr const char* kNoRenderOptions =
    "Configuration error - no render options for drawing instructions render strategy";
constexpr const char* kInvalidComponent = "Invalid component";

// Generator type of the tunnel portals, whose shapes stay visible while
// tunnels are hidden.
constexpr int kTunnelPortalGenerator = 5;

constexpr int kFillPass = CDrawingInstructionsRenderOptions::kFillPass;
constexpr int kOutlinePass = CDrawingInstructionsRenderOptions::kOutlinePass;

CPoint MovedBy(const CPoint& point, const CPoint& position) {
    return CPoint(point.x + position.x, point.y + position.y, 0.0);
}

// The sides of a path of line steps alone, grown point after point as
// CPathDrawingInstruction::CalcBoundingBox grows them (the same comparisons
// in the same order, so the same result to the bit), while the steps are
// made rather than in a second walk over them.
struct tGrowingBounds {
    tDoubleRect sides = EmptyRect();

    void Add(const tPathPoint& point) {
        sides.minY = point.y < sides.minY ? point.y : sides.minY;
        sides.minX = point.x < sides.minX ? point.x : sides.minX;
        sides.maxY = sides.maxY < point.y ? point.y : sides.maxY;
        sides.maxX = sides.maxX < point.x ? point.x : sides.maxX;
    }
    // Widened by the path's line width, as the instruction's own bounds are.
    void SetOn(CPathDrawingInstruction& path) const {
        tDoubleRect bounds = sides;
        bounds.minY -= path.mLineWidth;
        bounds.minX -= path.mLineWidth;
        bounds.maxY += path.mLineWidth;
        bounds.maxX += path.mLineWidth;
        path.mBounds = bounds;
    }
};

// A line-to step for each point from `begin` to `end`, moved by the
// position, growing `bounds` by each step's point as it is made.
template <typename Iterator>
void AddLinesTo(CPathDrawingInstruction::tSteps& steps, Iterator begin, Iterator end, const CPoint& position,
                tGrowingBounds& bounds) {
    for (Iterator it = begin; it != end; ++it) {
        const CPathMicroInstruction& step =
            steps.emplace_back(std::in_place_type<CPathLineToMicroInstruction>, MovedBy(*it, position));
        bounds.Add(std::get<CPathLineToMicroInstruction>(step).mPoint);
    }
}

// The first list's points, the second's in reverse, then the first point
// again, growing `bounds` by the points added.
void AppendOutlinePolygon(CPathDrawingInstruction& instruction, const std::vector<CPoint>& first,
                          const std::vector<CPoint>& second, const CPoint& position, tGrowingBounds& bounds) {
    auto& steps = instruction.mPathMicroInstructions;
    steps.reserve(steps.size() + first.size() + second.size() + 1);
    AddLinesTo(steps, first.begin(), first.end(), position, bounds);
    AddLinesTo(steps, second.rbegin(), second.rend(), position, bounds);
    if (!first.empty()) AddLinesTo(steps, first.begin(), first.begin() + 1, position, bounds);
}

// A path made in the render options' arena, or with new without them.
template <typename... Args>
std::unique_ptr<CPathDrawingInstruction> NewPath(const CDrawingInstructionsRenderOptions* renderOptions,
                                                 Args&&... args) {
    if (renderOptions != nullptr)
        return renderOptions->NewInstruction<CPathDrawingInstruction>(std::forward<Args>(args)...);
    return std::make_unique<CPathDrawingInstruction>(std::forward<Args>(args)...);
}

// A copy of the template through the points from `begin` to `end`, moved by
// the position, at `lineWidth`.
template <typename Iterator>
void AddLine(CDrawingInstructionsRenderOptions& renderOptions, const CPathDrawingInstruction& pathTemplate,
             Iterator begin, Iterator end, const CPoint& position, double lineWidth) {
    auto line = renderOptions.NewInstruction<CPathDrawingInstruction>(pathTemplate);
    line->ClearPathMicroInstructions();
    line->mPathMicroInstructions.reserve(static_cast<std::size_t>(end - begin));
    tGrowingBounds bounds;
    AddLinesTo(line->mPathMicroInstructions, begin, end, position, bounds);
    line->mLineWidth = lineWidth;
    bounds.SetOn(*line);
    renderOptions.AddInstructionWithBounds(std::move(line));
}

const CColor& OutlineColor(const CDrawingOptions& options) {
    return options.mMarked ? options.mMarkedColor : options.mOutlineColor;
}

CColor ComponentFillColor(const CBasicGeometry* component, const CDrawingOptions& options) {
    return component->IsColorLocked() ? component->GetFixedColor() : options.mFillColor;
}

// Corners and parallel paths place the component's joints in the element's
// own frame; drawing must not change the element, so the joints are put
// back as they were.
class CJointStateGuard {
public:
    explicit CJointStateGuard(CBasicGeometry& component) : mComponent(component) {
        for (int i = 0; i < 2; ++i) {
            const CJoint* joint = component.GetJoint(i);
            mSaved[i] = {joint->GetAngle(), joint->GetLayoutPoint(), joint->GetElementPoint(), joint->GetMark()};
        }
    }
    ~CJointStateGuard() {
        for (int i = 0; i < 2; ++i) {
            CJoint* joint = mComponent.GetJoint(i);
            joint->SetAngle(mSaved[i].angle);
            joint->SetLayoutPoint(mSaved[i].layoutPoint);
            joint->SetElementPoint(mSaved[i].elementPoint);
            joint->SetMark(mSaved[i].mark);
        }
    }
    CJointStateGuard(const CJointStateGuard&) = delete;
    CJointStateGuard& operator=(const CJointStateGuard&) = delete;

private:
    struct State {
        double angle = 0.0;
        CPoint layoutPoint;
        CPoint elementPoint;
        std::uint8_t mark = 0;
    };
    CBasicGeometry& mComponent;
    State mSaved[2];
};

}  // namespace

// ------------------------------------------------------------ shared helpers

const CColor& CDrawingInstructionsRendererBase::SleeperColor() {
    static const CColor color(0.36, 0.25, 0.2, 1.0);
    return color;
}

CDrawingInstructionsRenderOptions& CDrawingInstructionsRendererBase::GetRenderOptions(const CDrawingOptions& options,
                                                                                      const char* signature) {
    CRenderStrategyOptions* const given = options.mRenderOptions;
    // The exact class first: much quicker than the full cast it spares.
    if (given != nullptr && typeid(*given) == typeid(CDrawingInstructionsRenderOptions))
        return static_cast<CDrawingInstructionsRenderOptions&>(*given);
    return *UErrorHandling::ThrowIfNull(dynamic_cast<CDrawingInstructionsRenderOptions*>(given), signature,
                                        kNoRenderOptions);
}

bool CDrawingInstructionsRendererBase::IsHiddenShape(const CBasicGeometry* component, const CDrawingOptions& options) {
    if (!options.mTunnelHidden || options.mMarked) return false;
    return !(component->IsGenerated() && component->GetComponentGeneratorID() == kTunnelPortalGenerator);
}

std::unique_ptr<CPathDrawingInstruction> CDrawingInstructionsRendererBase::CreateFillInstruction(
    const CBasicGeometry* component, const CDrawingOptions& options,
    const CDrawingInstructionsRenderOptions* renderOptions) {
    return NewPath(renderOptions, kDrawingStyleFill, options.mMarked, ComponentFillColor(component, options),
                   CColor::Black());
}

std::unique_ptr<CPathDrawingInstruction> CDrawingInstructionsRendererBase::CreateOutlineInstruction(
    const CDrawingOptions& options, const CDrawingInstructionsRenderOptions* renderOptions) {
    return NewPath(renderOptions, kDrawingStyleStroke, false, CColor::White(), OutlineColor(options));
}

void CDrawingInstructionsRendererBase::RenderTrackComponent(CBasicGeometry* component, const CPoint& position,
                                                            double angle, const CDrawingOptions& options) const {
    static constexpr const char* kSignature =
        "virtual void CDrawingInstructionsRendererBase::RenderTrackComponent(CBasicGeometry *, "
        "const CPoint &, double, const CDrawingOptions &) const";
    CDrawingInstructionsRenderOptions& renderOptions = GetRenderOptions(options, kSignature);
    UErrorHandling::ThrowIfNull(component, kSignature, kInvalidComponent);
    const int pass = renderOptions.mPass;
    const int style = options.mTrackStyle;

    // A hidden tunnel shows only as the outline of a marked element.
    if (options.mTunnelHidden && !(options.mMarked && pass == kOutlinePass)) return;

    CJointStateGuard guard(*component);

    // Both sides of a pair at once, from the element's cache when there is
    // one (the fill pass works out what the outline pass draws again), else
    // into `own`.
    struct tSides {
        const std::vector<CPoint>* first;
        const std::vector<CPoint>* second;
    };
    std::vector<CPoint> ownPaths[4];
    auto sidePair = [&](double firstOffset, double secondOffset, std::vector<CPoint>* own) {
        if (options.mPathCache != nullptr) {
            const CParallelPathCache::tPair pair =
                options.mPathCache->GetPair(*component, angle, firstOffset, secondOffset);
            return tSides{&pair.first, &pair.second};
        }
        component->GetParallelPathPair(own[0], own[1], angle, firstOffset, secondOffset);
        return tSides{&own[0], &own[1]};
    };

    // Side lines A and B.
    tSides sides{&ownPaths[0], &ownPaths[1]};
    if ((style & kTrackStyleSingleLine) != 0) {
        sides = sidePair(-component->GetRailWidth(), component->GetRailWidth(), &ownPaths[0]);
        if (sides.first->empty() || sides.second->empty()) return;
    } else if (!((style & kTrackStyleBed) != 0 && pass != kOutlinePass)) {
        const double halfGauge = component->GetGauge() / 2.0;
        sides = sidePair(-halfGauge, halfGauge, &ownPaths[0]);
        if ((sides.first->empty() || sides.second->empty()) && (style & kTrackStyleCenterLine) == 0) return;
    }
    const std::vector<CPoint>& first = *sides.first;
    const std::vector<CPoint>& second = *sides.second;

    // Bed lines C and D.
    tSides bed{&ownPaths[2], &ownPaths[3]};
    bool hasBedLines = false;
    if ((style & (kTrackStyleBed | kTrackStyleRailColor)) != 0) {
        const double halfBed = component->GetHalfTrackbedWidth();
        bed = sidePair(-halfBed, halfBed, &ownPaths[2]);
        if (bed.first->empty() || bed.second->empty()) return;
        hasBedLines = true;
    }
    const std::vector<CPoint>& bedFirst = *bed.first;
    const std::vector<CPoint>& bedSecond = *bed.second;

    if (pass == kFillPass) {
        if (!options.mFill) return;
        std::unique_ptr<CPathDrawingInstruction> fill = CreateFillInstruction(component, options, &renderOptions);
        // The outline polygon's points alone make the fill: its bounds are
        // grown while they are added.
        const std::vector<CPoint>& outer = hasBedLines ? bedFirst : first;
        const std::vector<CPoint>& inner = hasBedLines ? bedSecond : second;
        tGrowingBounds bounds;
        AppendOutlinePolygon(*fill, outer, inner, position, bounds);
        bounds.SetOn(*fill);
        renderOptions.AddInstructionWithBounds(std::move(fill));
        return;
    }
    if (pass != kOutlinePass) return;

    // The template the outline instructions are copied from, made as
    // CreateOutlineInstruction makes it but kept on the stack.
    CPathDrawingInstruction outlineTemplate(kDrawingStyleStroke, false, CColor::White(), OutlineColor(options));
    CPathDrawingInstruction* const outline = &outlineTemplate;
    const bool railColor = (style & kTrackStyleRailColor) != 0;
    if ((style & kTrackStyleJointEnds) != 0) AddJointEndLines(renderOptions, *outline, component, position, angle);
    if ((style & kTrackStyleRails) != 0) {
        const bool inRailColor = railColor && !options.mMarked;
        if (inRailColor) outline->mStrokeColor = options.mRailColor;
        AddSideLines(renderOptions, *outline, component, first, second, position, angle, true, railColor);
        if (inRailColor) outline->mStrokeColor = options.mOutlineColor;
    }
    if ((style & kTrackStyleBed) != 0 && !railColor)
        AddSideLines(renderOptions, *outline, component, bedFirst, bedSecond, position, angle, false, false);
    if ((style & kTrackStyleCenterLine) != 0 && !railColor)
        AddCenterLine(renderOptions, *outline, component, position, angle);
}

void CDrawingInstructionsRendererBase::AddOutlinePolygon(CPathDrawingInstruction& instruction,
                                                         const std::vector<CPoint>& first,
                                                         const std::vector<CPoint>& second,
                                                         const CPoint& position) const {
    tGrowingBounds unused;
    AppendOutlinePolygon(instruction, first, second, position, unused);
}

void CDrawingInstructionsRendererBase::AddSideLines(CDrawingInstructionsRenderOptions& renderOptions,
                                                    const CPathDrawingInstruction& pathTemplate,
                                                    CBasicGeometry* component, const std::vector<CPoint>& first,
                                                    const std::vector<CPoint>& second, const CPoint& position,
                                                    double angle, bool rails, bool thick) const {
    double lineWidth = renderOptions.mBaseLineWidth;
    if (rails) {
        lineWidth = component->GetRailWidth();
        if (thick) lineWidth = std::max(lineWidth, component->GetGauge() / 3.0);
    }
    AddPolyline(renderOptions, pathTemplate, first, position, lineWidth);
    AddPolyline(renderOptions, pathTemplate, second, position, lineWidth);
    // Attribute 2 marks track drawn with a middle rail.
    if (rails && component->GetComponentAttribute() == 2)
        AddCenterLine(renderOptions, pathTemplate, component, position, angle);
}

void CDrawingInstructionsRendererBase::AddPolyline(CDrawingInstructionsRenderOptions& renderOptions,
                                                   const CPathDrawingInstruction& pathTemplate,
                                                   const std::vector<CPoint>& points, const CPoint& position,
                                                   double lineWidth) const {
    AddLine(renderOptions, pathTemplate, points.begin(), points.end(), position, lineWidth);
}

void CDrawingInstructionsRendererBase::AddJointEndLines(CDrawingInstructionsRenderOptions& renderOptions,
                                                        const CPathDrawingInstruction& pathTemplate,
                                                        CBasicGeometry* component, const CPoint& position,
                                                        double angle) const {
    const bool first = component->IsJointEnabled(0);
    const bool last = component->IsJointEnabled(1);
    if (!first && !last) return;
    const std::vector<CPoint> corners = component->GetCorners(angle);
    if (corners.size() < 4) return;
    if (first)
        AddLine(renderOptions, pathTemplate, corners.begin(), corners.begin() + 2, position,
                renderOptions.mBaseLineWidth);
    if (last)
        AddLine(renderOptions, pathTemplate, corners.begin() + 2, corners.begin() + 4, position,
                renderOptions.mBaseLineWidth);
}

void CDrawingInstructionsRendererBase::AddCenterLine(CDrawingInstructionsRenderOptions& renderOptions,
                                                     const CPathDrawingInstruction& pathTemplate,
                                                     CBasicGeometry* component, const CPoint& position,
                                                     double angle) const {
    std::vector<CPoint> center;
    component->GetParallelPath(center, angle, 0.0);
    AddPolyline(renderOptions, pathTemplate, center, position, component->GetRailWidth());
}

void CDrawingInstructionsRendererBase::AddSleepers(CDrawingInstructionsRenderOptions& renderOptions,
                                                   const CPathDrawingInstruction& pathTemplate,
                                                   CBasicGeometry* component, const CPoint& position,
                                                   double angle) const {
    std::vector<CPoint> center;
    {
        CJointStateGuard guard(*component);
        component->GetParallelPath(center, angle, 0.0);
    }
    if (center.size() < 2) return;
    for (CPoint& point : center) point.Translate(position.x, position.y, position.z);

    const double gauge = component->GetGauge();
    const double length = gauge + 0.75 * (component->GetTrackbedWidth() - gauge);
    const double width = 0.2 * gauge;
    const double spacing = 0.55 * gauge;
    if (!(spacing > 0.0)) return;

    double total = 0.0;
    for (std::size_t i = 1; i < center.size(); ++i) total += center[i - 1].Distance3D(center[i]);
    const double count = std::round(total / spacing);
    if (!(count >= 1.0)) return;
    const double firstAt = (total - (count - 1.0) * spacing) / 2.0;

    // Walk the segments; a sleeper at a segment's very end belongs to it.
    long next = 0;
    double segmentStart = 0.0;
    for (std::size_t i = 1; i < center.size() && next < static_cast<long>(count); ++i) {
        const CPoint& from = center[i - 1];
        const CPoint& to = center[i];
        const double segmentEnd = segmentStart + from.Distance3D(to);
        const double direction = from.AngleTo(to);
        const double radians = direction * CPoint::kDegreesToRadians;
        while (next < static_cast<long>(count)) {
            const double at = firstAt + static_cast<double>(next) * spacing;
            if (at > segmentEnd) break;
            const double along = at - segmentStart;
            const CPoint sleeperCenter(from.x + along * std::cos(radians), from.y + along * std::sin(radians), from.z);
            AddSleeper(GetSleeperCorners(sleeperCenter, direction, length, width), renderOptions, pathTemplate);
            ++next;
        }
        segmentStart = segmentEnd;
    }
}

void CDrawingInstructionsRendererBase::AddSleeper(const std::vector<CPoint>& points,
                                                  CDrawingInstructionsRenderOptions& renderOptions,
                                                  const CPathDrawingInstruction& pathTemplate) const {
    auto sleeper = renderOptions.NewInstruction<CPathDrawingInstruction>(pathTemplate);
    sleeper->ClearPathMicroInstructions();
    sleeper->SetStyle(kDrawingStyleFill);
    sleeper->mFillColor = SleeperColor();
    sleeper->mPathMicroInstructions.reserve(points.size());
    for (const CPoint& point : points) sleeper->AddLineTo(point);
    sleeper->mLineWidth = renderOptions.mBaseLineWidth;
    renderOptions.AddInstruction(std::move(sleeper));
}

std::vector<CPoint> CDrawingInstructionsRendererBase::GetSleeperCorners(const CPoint& center, double angle,
                                                                        double length, double width) const {
    const double across = angle + 90.0;
    auto offset = [&](double lengthAngle, double widthAngle) {
        const double a = lengthAngle * CPoint::kDegreesToRadians;
        const double b = widthAngle * CPoint::kDegreesToRadians;
        return CPoint(center.x + length / 2.0 * std::cos(a) + width / 2.0 * std::cos(b),
                      center.y + length / 2.0 * std::sin(a) + width / 2.0 * std::sin(b), center.z);
    };
    return {offset(across, across - 90.0), offset(across, across + 90.0), offset(across + 180.0, across + 90.0),
            offset(across + 180.0, across - 90.0)};
}

// ------------------------------------------------------------ track renderers

void CDrawingInstructionsStraightRenderer::Render(CStraightBIG* component, const CPoint& position, double angle,
                                                  const CGradeVector&, const CDrawingOptions& options) const {
    RenderTrackComponent(component, position, angle, options);
}

void CDrawingInstructionsCurveRenderer::Render(CCurveBIG* component, const CPoint& position, double angle,
                                               const CGradeVector&, const CDrawingOptions& options) const {
    RenderTrackComponent(component, position, angle, options);
}

void CDrawingInstructionsFlextrackRenderer::Render(CFlexTrackBIG* component, const CPoint& position, double angle,
                                                   const CGradeVector&, const CDrawingOptions& options) const {
    RenderTrackComponent(component, position, angle, options);
}

// ------------------------------------------------------------ polygons

std::unique_ptr<CPathDrawingInstruction> CDrawingInstructionsPolyRenderer::GetDrawingInstruction(
    CBasicGeometry* component, const CDrawingOptions& options,
    const CDrawingInstructionsRenderOptions* renderOptions) const {
    static constexpr const char* kSignature =
        "CPathDrawingInstruction *CDrawingInstructionsPolyRenderer::GetDrawingInstruction("
        "CBasicGeometry *, const CDrawingOptions &, const CDrawingInstructionsRenderOptions *)";
    auto* poly =
        UErrorHandling::ThrowIfNull(dynamic_cast<CPolyBIG*>(component), kSignature, "Cast to CPolyBIG instance failed");
    UErrorHandling::ThrowIfNull(renderOptions, kSignature, kNoRenderOptions);
    // The fill flag marks a closed outline; open lines are never filled.
    if (renderOptions->mPass == kFillPass && options.mFill && poly->GetFillFlag())
        return CreateFillInstruction(poly, options, renderOptions);
    if (renderOptions->mPass == kOutlinePass) return CreateOutlineInstruction(options, renderOptions);
    return nullptr;
}

void CDrawingInstructionsPolyRenderer::Render(CPolyBIG* component, const CPoint& position, double angle,
                                              const CGradeVector&, const CDrawingOptions& options) const {
    static constexpr const char* kSignature =
        "virtual void CDrawingInstructionsPolyRenderer::Render(CPolyBIG *, const CPoint &, double, "
        "const CGradeVector &, const CDrawingOptions &) const";
    UErrorHandling::ThrowIfNull(component, kSignature, kInvalidComponent);
    if (IsHiddenShape(component, options)) return;
    CDrawingInstructionsRenderOptions& renderOptions = GetRenderOptions(options, kSignature);
    std::unique_ptr<CPathDrawingInstruction> path = GetDrawingInstruction(component, options, &renderOptions);
    if (!path) return;

    const std::vector<CPoint> points = component->GetTransformedPoints(angle);
    path->mPathMicroInstructions.reserve(points.size() + 1);
    for (const CPoint& point : points) path->AddLineTo(MovedBy(point, position));
    if (component->GetFillFlag() && !points.empty()) path->AddLineTo(MovedBy(points.front(), position));
    path->mLineCapStyle = CPathDrawingInstruction::kLineCapSquare;
    path->mLineWidth = std::max(static_cast<double>(component->GetLineWidth()), renderOptions.mBaseLineWidth);
    renderOptions.AddInstruction(std::move(path));
}

// ------------------------------------------------------------ ovals

void CDrawingInstructionsOvalRenderer::Render(COvalBIG* component, const CPoint& position, double angle,
                                              const CGradeVector&, const CDrawingOptions& options) const {
    static constexpr const char* kSignature =
        "virtual void CDrawingInstructionsOvalRenderer::Render(COvalBIG *, const CPoint &, double, "
        "const CGradeVector &, const CDrawingOptions &) const";
    UErrorHandling::ThrowIfNull(component, kSignature, kInvalidComponent);
    if (IsHiddenShape(component, options)) return;
    CDrawingInstructionsRenderOptions& renderOptions = GetRenderOptions(options, kSignature);

    std::unique_ptr<COvalDrawingInstruction> oval;
    if (renderOptions.mPass == kFillPass && options.mFill) {
        oval = renderOptions.NewInstruction<COvalDrawingInstruction>(
            kDrawingStyleFill, options.mMarked, ComponentFillColor(component, options), CColor::Black());
    } else if (renderOptions.mPass == kOutlinePass) {
        oval = renderOptions.NewInstruction<COvalDrawingInstruction>(
            kDrawingStyleStroke, false, CColor::White(),
            options.mMarked ? options.mMarkedColor : options.mOutlineColor);
    } else {
        return;
    }

    // The centre stays put when the ellipse turns; both radii count.
    const CPoint center = component->GetCenterPoint();
    const double turn = component->GetAngle() + angle;
    oval->mPosition = CPoint(position.x + center.x, position.y + center.y, 0.0);
    oval->mRadiusX = component->GetRadiusX();
    oval->mRadiusY = component->GetRadiusY();
    oval->mLineWidth = std::max(static_cast<double>(component->GetLineWidth()), renderOptions.mBaseLineWidth);
    oval->mStartAngle = component->GetStartAngle() + turn;
    oval->mEndAngle = component->GetEndAngle() + turn;
    oval->mRotationAngle = turn;
    renderOptions.AddInstruction(std::move(oval));
}

// ------------------------------------------------------------ texts

void CDrawingInstructionsTextRenderer::Render(CTextBIG* component, const CPoint& position, double angle,
                                              const CGradeVector&, const CDrawingOptions& options) const {
    static constexpr const char* kSignature =
        "virtual void CDrawingInstructionsTextRenderer::Render(CTextBIG *, const CPoint &, double, "
        "const CGradeVector &, const CDrawingOptions &) const";
    UErrorHandling::ThrowIfNull(component, kSignature, kInvalidComponent);
    if (IsHiddenShape(component, options)) return;
    CDrawingInstructionsRenderOptions& renderOptions = GetRenderOptions(options, kSignature);
    auto* service = CServiceLocator::Instance().LocateServiceAs<TextCalculationServiceBase>(
        VKMTextCalculationService::kServiceName);
    if (service == nullptr) return;
    // Texts belong to the fill pass.
    if (renderOptions.mPass != kFillPass) return;

    auto text = renderOptions.NewInstruction<CTextDrawingInstruction>(
        kDrawingStyleFill, options.mMarked, ComponentFillColor(component, options), CColor::Black());

    const tDoubleRect measured =
        service->GetTextBounds(component->GetFontName(), component->GetTextSize(), component->GetText(), 0.0);
    const double w = measured.Width();
    const double h = measured.Height();
    const CPoint offset = component->GetOffset();
    const CPoint center(position.x + std::fabs(w / 2.0) + offset.x, position.y + std::fabs(h / 2.0) + offset.y, 0.0);
    const double turn = component->GetAngle() + angle;
    // Size of the measured box once turned.
    const double radians = turn * CPoint::kDegreesToRadians;
    const double c = std::fabs(std::cos(radians));
    const double s = std::fabs(std::sin(radians));
    const double turnedWidth = std::fabs(w) * c + std::fabs(h) * s;
    const double turnedHeight = std::fabs(w) * s + std::fabs(h) * c;

    text->mPosition = CPoint(position.x + offset.x, position.y + offset.y, position.z + offset.z);
    text->mText = component->GetText();
    text->mFontName = component->GetFontName();
    text->mTextSize = component->GetTextSize();
    text->mRotationAngle = turn;
    text->mRotationCenter = center;
    text->mTranslation = CPoint(position.x + offset.x + turnedWidth / 2.0 - center.x,
                                position.y + offset.y + turnedHeight / 2.0 - center.y, 0.0);
    renderOptions.AddInstruction(std::move(text));
}
