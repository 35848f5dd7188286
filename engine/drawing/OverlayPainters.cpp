#include "engine/drawing/OverlayPainters.h"

#include <cmath>

#include "engine/drawing/OvalInstruction.h"
#include "engine/drawing/PathInstruction.h"
#include "engine/drawing/TextInstruction.h"
#include "engine/model/GeneratorParameters.h"
#include "engine/model/BasicGeometry.h"
#include "engine/model/CompositeGeometry.h"
#include "engine/model/CurveBIG.h"
#include "engine/model/ElementComponents.h"
#include "engine/model/ElementNames.h"
#include "engine/model/ElementQueries.h"
#include "engine/model/FlexTrackBIG.h"
#include "engine/model/Layer.h"
#include "engine/model/Layout.h"
#include "engine/model/LayoutBounds.h"
#include "engine/model/MeasureUnits.h"
#include "engine/model/TrackConnections.h"
#include "engine/services/ErrorHandling.h"
#include "engine/services/ServiceLocator.h"
#include "engine/services/StringFormat.h"
#include "engine/services/TextCalculationService.h"

namespace {

// Parameter of the curved flex-track generator that holds its radius.
constexpr int kCurvedFlexRadiusParameter = 5;

// An offset this close to (0, 0) has not been placed yet.
constexpr double kUnsetNameOffset = 0.0001;

TextCalculationServiceBase* TextService() {
    return CServiceLocator::Instance().LocateServiceAs<TextCalculationServiceBase>(
        VKMTextCalculationService::kServiceName);
}

CPathDrawingInstruction* NewThinPath(const CColor& strokeColor) {
    auto* path = new CPathDrawingInstruction(kDrawingStyleStroke, false, CColor::White(), strokeColor);
    path->mLineWidth = 0.5;
    return path;
}

}  // namespace

// ------------------------------------------------------------ parameters

CElementOverlayDrawingParameters::CElementOverlayDrawingParameters(const std::string& fontName, std::int32_t flags,
                                                                   std::int32_t textSize, std::int32_t heightLabelSize,
                                                                   const CColor& textColor, const CColor& markColor,
                                                                   tDrawingInstructions* output)
    : mFontName(fontName),
      mFlags(flags),
      mTextSize(textSize),
      mHeightLabelSize(heightLabelSize),
      mTextColor(textColor),
      mMarkColor(markColor),
      mOutput(UErrorHandling::ThrowIfNull(
          output,
          "CElementOverlayDrawingParameters::CElementOverlayDrawingParameters(const string &, "
          "int32_t, int32_t, int32_t, const CColor &, const CColor &, tDrawingInstructions *)",
          "Invalid instruction list supplied")) {}

void CElementOverlayDrawingParameters::AddInstruction(CDrawingInstruction* instruction) {
    if (instruction == nullptr) return;
    instruction->CalcBoundingBox();
    mOutput->push_back(instruction);
}

CElementOverlayPainter::CElementOverlayPainter(CElementOverlayDrawingParameters* parameters)
    : mParameters(UErrorHandling::ThrowIfNull(
          parameters, "CElementOverlayPainter::CElementOverlayPainter(CElementOverlayDrawingParameters *)",
          "Invalid overlay parameters supplied")) {}

// ------------------------------------------------------------ names

void CElementNamePainter::PaintElement(CCompositeGeometry* element) {
    if (element == nullptr) return;
    const bool tracksOnly = (mParameters->mFlags & CElementOverlayDrawingParameters::kNamesOnlyForTracks) != 0;
    if (tracksOnly && !UElementInspector::IsTrackElement(element)) return;
    if (element->GetProductNumber()[0] == '\0' || UElementInspector::IsTextElement(element)) return;

    const bool useLabel = (mParameters->mFlags & CElementOverlayDrawingParameters::kUseElementLabelText) != 0;
    const std::string name = useLabel && element->GetLabelText()[0] != '\0'
                                 ? std::string(element->GetLabelText())
                                 : UElementNameGenerator::GetDisplayNameForElement(element);

    auto* text = new CTextDrawingInstruction(kDrawingStyleFill, false, mParameters->mTextColor, CColor::Black());
    text->mText = name;
    text->mOutlineWidth = 2;
    text->mFontName = mParameters->mFontName;
    text->mTextSize = mParameters->mTextSize;
    text->SetOwnerLayer(element->GetLayer());

    if (TextCalculationServiceBase* service = TextService()) {
        const tDoubleRect measured = service->GetTextBounds(mParameters->mFontName, mParameters->mTextSize, name, 0.0);
        const CPoint& offset = element->GetCachedPoint();
        if (std::fabs(offset.x) < kUnsetNameOffset && std::fabs(offset.y) < kUnsetNameOffset) {
            element->SetCachedPoint(UElementGeometry::GetCenteredOrigin(element, measured));
        }
        tDoubleRect box;
        element->CalcBoundingBox(box);
        const CPoint& position = element->GetPosition();
        const CPoint& nameOffset = element->GetCachedPoint();
        text->mPosition = CPoint(position.x + (box.minX + box.maxX) / 2.0 + nameOffset.x,
                                 position.y + (box.minY + box.maxY) / 2.0 + nameOffset.y, 0.0);
    }
    mParameters->AddInstruction(text);
}

// ------------------------------------------------------------ free joints

void CJointOverlayPainter::PaintElement(CCompositeGeometry* element) {
    if (element == nullptr || !UElementInspector::IsTrackElement(element)) return;
    const double radius = UElementComponents::GetMaxGauge(element) / 2.0;
    for (CJoint* joint : element->GetJoints(kJointFilterFree)) {
        auto* mark = new COvalDrawingInstruction(kDrawingStyleFill, false, mParameters->mMarkColor, CColor::White());
        mark->mPosition = joint->GetLayoutPoint();
        mark->mRadiusX = radius;
        mark->mRadiusY = radius;
        mark->mLineWidth = 1.0;
        mParameters->AddInstruction(mark);

        auto* outline = new COvalDrawingInstruction(kDrawingStyleStroke, false, CColor::White(), CColor::Gray50());
        outline->mPosition = joint->GetLayoutPoint();
        outline->mRadiusX = radius;
        outline->mRadiusY = radius;
        outline->mLineWidth = 0.5;
        mParameters->AddInstruction(outline);
    }
}

// ------------------------------------------------------------ curve centres

void CCurveCenterOverlayPainter::PaintElement(CCompositeGeometry* element) {
    if (element == nullptr) return;
    CBasicGeometry* component = nullptr;
    CPoint centre;
    if (UElementInspector::IsCurvedTrack(element)) {
        auto* curve = dynamic_cast<CCurveBIG*>(UElementComponents::GetFirstTrackComponent(element));
        if (curve == nullptr) return;
        element->UpdateJoints();
        const CPoint& position = element->GetPosition();
        centre = curve->GetCenterPoint(element->GetAngle());
        centre.Translate(position.x, position.y, position.z);
        component = curve;
    } else if (element->UsesComponentGenerator(kGeneratorTypeCurvedFlexTrack)) {
        auto* flex = dynamic_cast<CFlexTrackBIG*>(UElementComponents::GetFirstTrackComponent(element));
        if (flex == nullptr) return;
        const double radius = UGeneratorParameters::GetGeneratorDouble(
            element->GetGeneratorMap(), kGeneratorTypeCurvedFlexTrack, kCurvedFlexRadiusParameter, 0.0);
        element->UpdateJoints();
        centre = UTrackLengthEditing::GetCircleCenter(flex->GetJoint(0)->GetLayoutPoint(),
                                                      flex->GetJoint(1)->GetLayoutPoint(), radius);
        component = flex;
    } else {
        return;
    }

    const double gauge = component->GetGauge();
    const double r = gauge / 4.0;

    auto* circle = new COvalDrawingInstruction(kDrawingStyleStroke, false, CColor::White(), CColor::Gray50());
    circle->mPosition = centre;
    circle->mRadiusX = r;
    circle->mRadiusY = r;
    circle->mLineWidth = 0.5;
    mParameters->AddInstruction(circle);

    CPathDrawingInstruction* cross = NewThinPath(CColor::Black());
    cross->AddLineTo(CPoint(centre.x, centre.y - 3.0 * r, centre.z));
    cross->AddLineTo(CPoint(centre.x, centre.y + 3.0 * r, centre.z));
    cross->AddLineTo(centre);
    cross->AddLineTo(CPoint(centre.x - 3.0 * r, centre.y, centre.z));
    cross->AddLineTo(CPoint(centre.x + 3.0 * r, centre.y, centre.z));
    mParameters->AddInstruction(cross);

    for (int index = 0; index < 2; ++index) {
        CPathDrawingInstruction* radiusLine = NewThinPath(CColor::Gray50());
        radiusLine->mDrawWithDash = true;
        radiusLine->mDashPattern = {gauge, gauge};
        radiusLine->AddLineTo(component->GetJoint(index)->GetLayoutPoint());
        radiusLine->AddLineTo(centre);
        mParameters->AddInstruction(radiusLine);
    }
}

// ------------------------------------------------------------ height labels

CElementHeightLabelPainter::CElementHeightLabelPainter(const CLayout* layout,
                                                       CElementOverlayDrawingParameters* parameters)
    : mLayout(UErrorHandling::ThrowIfNull(layout,
                                          "CElementHeightLabelPainter::CElementHeightLabelPainter(const CLayout *, "
                                          "CElementOverlayDrawingParameters *)",
                                          "Invalid layout supplied")),
      mParameters(UErrorHandling::ThrowIfNull(parameters,
                                              "CElementHeightLabelPainter::CElementHeightLabelPainter(const CLayout *, "
                                              "CElementOverlayDrawingParameters *)",
                                              "Invalid overlay parameters supplied")) {}

void CElementHeightLabelPainter::CollectJoints(const tElements& elements) {
    const bool gradedOnly = (mLayout->GetParameters().mDisplayFlags & kOnlyGradedElements) != 0;
    for (CCompositeGeometry* element : elements) {
        if (element == nullptr) continue;
        const CLayer* layer = element->GetLayer();
        if (layer == nullptr || !layer->IsVisible()) continue;
        if (!UElementInspector::IsTrackElement(element)) continue;
        if (gradedOnly && !(element->GetGrade().height > 0.001)) continue;
        for (CJoint* joint : element->GetJoints(kJointFilterAll)) AddJoint(joint);
    }
}

void CElementHeightLabelPainter::AddJoint(CJoint* joint) {
    const CPoint& point = joint->GetLayoutPoint();
    // A NaN key would break the map's order.
    if (!std::isfinite(point.x) || !std::isfinite(point.y)) return;
    const tPositionKey key(std::round(point.x), std::round(point.y));

    const auto found = mJoints.lower_bound(key);
    if (found == mJoints.end() || found->first != key) {
        mJoints.emplace_hint(found, key, joint);
        return;
    }
    const CJoint* stored = found->second;
    if (stored->IsFree() || joint->IsFree()) {
        // Goes after the entries already there.
        mJoints.emplace(key, joint);
    } else if (joint->GetLayoutPoint().z > stored->GetLayoutPoint().z) {
        found->second = joint;
    }
}

void CElementHeightLabelPainter::DrawLabels() {
    const tPositionKey* previous = nullptr;
    double offset = 0.0;
    for (const auto& [key, joint] : mJoints) {
        offset = previous != nullptr && *previous == key ? offset + kStackingOffset : 0.0;
        UHeightLabels::AppendHeightLabel(joint, mParameters, offset);
        previous = &key;
    }
}

void CElementHeightLabelPainter::PaintHeightLabels(const tElements& elements) {
    CollectJoints(elements);
    DrawLabels();
}

namespace UHeightLabels {

void AppendHeightLabel(const CJoint* joint, CElementOverlayDrawingParameters* parameters, double stackingOffset) {
    if (joint == nullptr || parameters == nullptr) return;
    const std::string text = GetHeightLabelText(joint);
    const CPoint position = GetHeightLabelPosition(joint, stackingOffset, text, parameters);
    AddHeightLabelInstruction(position, text, parameters);
}

std::string GetHeightLabelText(const CJoint* joint) {
    if (joint == nullptr) return std::string();
    const double height = joint->GetLayoutPoint().z;
    const char* sign = height < -0.1 ? "-" : "+";
    const double shown = UMeasureUnits::ConvertFromMillimeters(UMeasureUnits::GetUnitType(), std::fabs(height));
    return FormatStringN(31, "%s%.1f", sign, shown);
}

CPoint GetHeightLabelPosition(const CJoint* joint, double stackingOffset, const std::string& labelText,
                              const CElementOverlayDrawingParameters* parameters) {
    if (joint == nullptr || parameters == nullptr) return CPoint();
    const CPoint& layoutPoint = joint->GetLayoutPoint();
    const CPoint anchor(layoutPoint.x, layoutPoint.y, 0.0);

    const double bedWidth =
        joint->GetParent() != nullptr ? UElementComponents::GetMaxTrackbedWidth(joint->GetParent()) : 0.0;
    CPoint label(anchor);
    label.x += parameters->mHeightLabelSize / 2.0 + std::sqrt(27.5 * bedWidth);
    label.Rotate(anchor, std::fmod(joint->GetAngle() - 90.0 + 3600.0, 180.0));

    TextCalculationServiceBase* service = TextService();
    if (service == nullptr) return CPoint();
    const tDoubleRect measured = service->GetTextBounds(parameters->mFontName, parameters->mTextSize, labelText, 0.0);
    return CPoint(label.x - measured.Width() / 2.0 + stackingOffset, label.y - measured.Height() / 2.0 + stackingOffset,
                  0.0);
}

void AddHeightLabelInstruction(const CPoint& position, const std::string& labelText,
                               CElementOverlayDrawingParameters* parameters) {
    if (parameters == nullptr) return;
    auto* text = new CTextDrawingInstruction(kDrawingStyleFill, false, parameters->mTextColor, CColor::Black());
    text->mText = labelText;
    text->mOutlineWidth = 4;
    text->mFontName = parameters->mFontName;
    text->mTextSize = parameters->mHeightLabelSize;
    text->mPosition = position;
    parameters->AddInstruction(text);
}

}  // namespace UHeightLabels
