#include "tools/layoutgen/LayoutComposer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>

#include "engine/generators/ComponentGenerator.h"
#include "engine/generators/Regeneration.h"
#include "engine/model/BorderSegment.h"
#include "engine/model/ElementComponents.h"
#include "engine/model/Layer.h"
#include "engine/model/PolyBIG.h"

namespace ULayoutGen {

namespace {

template <std::size_t N>
void CopyText(char (&field)[N], const std::string& text) {
    std::strncpy(field, text.c_str(), N - 1);
    field[N - 1] = '\0';
}

double Wrap360(double angle) {
    double wrapped = std::fmod(angle, 360.0);
    if (wrapped < 0.0) wrapped += 360.0;
    return wrapped >= 360.0 ? 0.0 : wrapped;
}

// One end of a built element, in layout coordinates.
struct tJointPose {
    CPoint point;
    double angle = 0.0;  // from the end into the component
};

tJointPose JointPose(CCompositeGeometry& element, std::size_t component, int joint) {
    element.UpdateJoints();
    const CJoint* end = element.GetComponents().at(component)->GetJoint(joint);
    return {end->GetLayoutPoint(), end->GetAngle()};
}

// Leaving the element at that end: the heading points out of it.
tPose ExitPose(CCompositeGeometry& element, std::size_t component, int joint) {
    const tJointPose end = JointPose(element, component, joint);
    return {end.point.x, end.point.y, end.point.z, Wrap360(end.angle + 180.0)};
}

// Makes the element turned to an element angle, at position 0.
using tMake = std::function<std::unique_ptr<CCompositeGeometry>(double angle)>;

// The element turned and moved so that the end (component, joint) lies on
// the pose's point with the pose's heading leading into it. Measured on the
// built element rather than derived from the component formulas, so any
// component kind is placed the same way.
std::unique_ptr<CCompositeGeometry> PlaceAt(const tMake& make, std::size_t component, int joint, const tPose& pose) {
    const double unturned = JointPose(*make(0.0), component, joint).angle;
    std::unique_ptr<CCompositeGeometry> element = make(Wrap360(pose.heading - unturned));
    const tJointPose end = JointPose(*element, component, joint);
    CPoint position = element->GetPosition();
    position.x += pose.x - end.point.x;
    position.y += pose.y - end.point.y;
    position.z = pose.z;
    element->SetPosition(position);
    element->UpdateJoints();
    return element;
}

// The joint a curve is entered at so that it bends the way `sweep` says:
// entering at joint 0 turns one way, at joint 1 the other.
int CurveEntry(double radius, double sweep, const tTrackMeasures& measures) {
    CElementBuilder builder;
    std::unique_ptr<CCompositeGeometry> probe = builder.Curve(radius, std::fabs(sweep), measures).Build();
    const tJointPose a = JointPose(*probe, 0, 0);
    const tJointPose b = JointPose(*probe, 0, 1);
    const double turn = std::remainder(b.angle + 180.0 - a.angle, 360.0);
    return (turn >= 0.0) == (sweep >= 0.0) ? 0 : 1;
}

bool HasComponentsOf(const CCompositeGeometry& element, int generatorType) {
    const tComponents& components = element.GetComponents();
    return std::any_of(components.begin(), components.end(), [&](const CBasicGeometry* component) {
        return component->IsGenerated() && component->GetComponentGeneratorID() == generatorType;
    });
}

// Moves the element so that the joint (component 0) lies on `point` again.
void PutJointBack(CCompositeGeometry& element, int joint, const CPoint& point) {
    const tJointPose now = JointPose(element, 0, joint);
    CPoint position = element.GetPosition();
    position.x += point.x - now.point.x;
    position.y += point.y - now.point.y;
    element.SetPosition(position);
    element.UpdateJoints();
}

}  // namespace

std::string ParameterText(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

CPoint AddGenerator(CCompositeGeometry& element, int type, const std::map<int, std::string>& parameters, bool* made) {
    tGeneratorParameters set;
    for (const auto& [key, text] : parameters) set[key] = CGeneratorParameter(text);
    const auto entry = element.GetGeneratorMap().insert({type, std::move(set)});
    const CPoint position = element.GetPosition();
    element.SetPosition(CPoint(0.0, 0.0, 0.0));
    const CPoint offset = UGeneratedElements::RegenerateComponents(&element, nullptr);
    element.SetPosition(position);
    element.UpdateJoints();
    const bool generated = HasComponentsOf(element, type);
    // Nothing made: the element was kept as it was, so the entry goes too.
    if (!generated) element.GetGeneratorMap().erase(entry);
    if (made != nullptr) *made = generated;
    return generated ? offset : CPoint();
}

const char* ElementKindName(tElementKind kind) {
    switch (kind) {
        case tElementKind::Straight: return "straight";
        case tElementKind::Curve: return "curve";
        case tElementKind::Turnout: return "turnout";
        case tElementKind::Flex: return "flex";
        case tElementKind::Text: return "text";
        case tElementKind::Rectangle: return "rect";
        case tElementKind::Polygon: return "polygon";
        case tElementKind::Line: return "line";
        case tElementKind::Oval: return "oval";
        case tElementKind::Arrow: return "arrow";
        case tElementKind::Dimension: return "dimension";
    }
    return "?";
}

// ------------------------------------------------------------ documents

CLayoutParameters tLayoutDocument::DefaultParameters() {
    CLayoutParameters p;
    CopyText(p.mAuthor, "layoutgen");
    CopyText(p.mCreationDate, "Jan  1. 2024, 12:00:00");
    CopyText(p.mText403, "-");
    p.mDisplayFlags = CLayoutParameters::kShowElementNames | 0x68;
    p.mTrackStyle = CLayoutParameters::kRailsDrawn;
    p.mShowGrid = true;
    p.mZoomPercent = 100;
    p.mWorkspaceWidth = 4000;
    p.mWorkspaceHeight = 3000;
    p.mParameter421[0] = 0x20;
    return p;
}

ULayoutFileWriter::tLayoutFile tLayoutDocument::FileContent() const {
    ULayoutFileWriter::tLayoutFile file;
    file.version = version;
    file.elementRecordVersion = recordVersion;
    file.parameters = parameters;
    file.layers = layers.get();
    for (const auto& element : elements) file.elements.push_back(element.get());
    file.groups = groups;
    for (const auto& image : images) file.images.push_back(image.get());
    for (const auto& baseboard : baseboards) file.baseboards.push_back(baseboard.get());
    return file;
}

std::vector<std::string> tLayoutDocument::SectionsLeftOut() const {
    std::vector<std::string> left;
    if (layers && version < CLayerManager::kFirstLayerVersion) left.push_back("layers");
    if (!images.empty() && version < 10) left.push_back("images");
    if (!baseboards.empty() && version < 11) left.push_back("baseboards");
    return left;
}

void tLayoutDocument::ReplacePicture(std::size_t index, const std::vector<std::uint8_t>& bytes) {
    const CImageElement& made = *images.at(index);
    auto image = std::make_unique<CImageElement>(bytes.data(), static_cast<int>(bytes.size()));
    image->SetName(made.GetName());
    image->SetPosition(made.GetPosition());
    image->SetWidth(made.GetWidth());
    image->SetHeight(made.GetHeight());
    image->SetLayer(made.GetLayer());
    images[index] = std::move(image);
}

ULayoutFileWriter::tTrackLibraryFile tLibraryDocument::FileContent() const {
    ULayoutFileWriter::tTrackLibraryFile file = header;
    file.elements.clear();
    for (const auto& element : elements) file.elements.push_back(element.get());
    return file;
}

// ------------------------------------------------------------ CLayoutComposer

CLayoutComposer::CLayoutComposer(tLayoutDocument& document) : mDocument(document) {
    if (mDocument.layers) mCurrentLayer = mDocument.layers->GetCurrentLayer();
    // Elements already in the document count as placed shapes: no exits.
    mKinds.assign(mDocument.elements.size(), tElementKind::Polygon);
    mExits.resize(mDocument.elements.size());
}

bool CLayoutComposer::AddLayer(const std::string& name, std::int32_t type, bool visible, bool locked,
                               const std::optional<CColor>& color) {
    CLayer* layer = nullptr;
    if (!mDocument.layers) {
        mDocument.layers = std::make_unique<CLayerManager>(name);
        layer = mDocument.layers->GetLayers().front();
    } else {
        if (mDocument.layers->FindLayerByName(name) != nullptr) return false;
        layer = mDocument.layers->AddLayer(name.c_str(), true);
    }
    layer->SetLayerType(type);
    layer->SetVisible(visible);
    layer->SetLocked(locked);
    if (color) layer->SetColor(*color);
    mCurrentLayer = layer;
    return true;
}

bool CLayoutComposer::UseLayer(const std::string& name) {
    CLayer* layer = FindLayer(name);
    if (layer == nullptr) return false;
    mCurrentLayer = layer;
    return true;
}

CLayer* CLayoutComposer::FindLayer(const std::string& name) const {
    return mDocument.layers ? mDocument.layers->FindLayerByName(name) : nullptr;
}

CLayer* CLayoutComposer::LastLayerOfType(std::int32_t type) const {
    if (!mDocument.layers) return nullptr;
    const tLayers& layers = mDocument.layers->GetLayers();
    for (auto it = layers.rbegin(); it != layers.rend(); ++it) {
        if ((*it)->GetLayerType() == type) return *it;
    }
    return nullptr;
}

std::string CLayoutComposer::LayerFor(const tPart& part) const {
    if (!part.layerName.empty()) return part.layerName;
    return mCurrentLayer != nullptr ? mCurrentLayer->GetName() : std::string();
}

void CLayoutComposer::Describe(CElementBuilder& builder, const tPart& part) const {
    builder.Catalogue(part.productNumber, part.manufacturer, part.libraryName, part.description)
        .Price(part.price, part.currencyId)
        .ModelScale(part.modelScale)
        .ElementType(part.elementType)
        .Trims(part.startTrim, part.endTrim)
        .LayerName(LayerFor(part));
    if (!part.label.empty()) builder.Label(part.label);
    if (part.firstColor || part.secondColor)
        builder.Colors(part.firstColor.value_or(CColor()), part.secondColor.value_or(CColor()));
    for (const auto& [language, text] : part.descriptions) builder.Translation("Description", language, text);
}

std::size_t CLayoutComposer::Append(std::unique_ptr<CCompositeGeometry> element, tElementKind kind, tExits exits) {
    mDocument.elements.push_back(std::move(element));
    mKinds.push_back(kind);
    if (exits.main) mChain = *exits.main;
    mExits.push_back(exits);
    return mDocument.elements.size() - 1;
}

std::size_t CLayoutComposer::AddStraight(const tPart& part, double length, const std::optional<tPose>& at) {
    const tMake make = [&](double angle) {
        CElementBuilder builder;
        Describe(builder, part);
        return builder.Angle(angle).Straight(length, part.measures).Build();
    };
    const tPose start = at.value_or(mChain);
    std::unique_ptr<CCompositeGeometry> element = PlaceAt(make, 0, 0, start);
    tExits exits{std::nullopt, std::nullopt, start, 0, 1};
    LayOnGrade(*element, part.rise, exits);
    exits.main = ExitPose(*element, 0, 1);
    return Append(std::move(element), tElementKind::Straight, exits);
}

std::size_t CLayoutComposer::AddCurve(const tPart& part, double radius, double sweep, const std::optional<tPose>& at) {
    const int entry = CurveEntry(radius, sweep, part.measures);
    const tMake make = [&](double angle) {
        CElementBuilder builder;
        Describe(builder, part);
        return builder.Angle(angle).Curve(radius, std::fabs(sweep), part.measures).Build();
    };
    const tPose start = at.value_or(mChain);
    std::unique_ptr<CCompositeGeometry> element = PlaceAt(make, 0, entry, start);
    tExits exits{std::nullopt, std::nullopt, start, entry, 1 - entry};
    LayOnGrade(*element, part.rise, exits);
    exits.main = ExitPose(*element, 0, 1 - entry);
    return Append(std::move(element), tElementKind::Curve, exits);
}

std::size_t CLayoutComposer::AddTurnout(const tPart& part, double length, double radius, double sweep, bool left,
                                        const std::optional<tPose>& at) {
    // Left and right as the reader's type guess names them: a left turnout
    // shares the curve's joint 1, so its branch turns clockwise in the plan.
    const double bend = left ? -std::fabs(sweep) : std::fabs(sweep);
    const int entry = CurveEntry(radius, bend, part.measures);

    // The curve's entry on the straight's joint 0, facing the same way. Both
    // probes are built at position 0, so their layout points are the
    // coordinates the components are placed in.
    CElementBuilder probe;
    std::unique_ptr<CCompositeGeometry> straight = probe.Straight(length, part.measures).Build();
    const tJointPose start = JointPose(*straight, 0, 0);
    std::unique_ptr<CCompositeGeometry> unturned = probe.Curve(radius, std::fabs(sweep), part.measures).Build();
    const double curveAngle = Wrap360(start.angle - JointPose(*unturned, 0, entry).angle);
    std::unique_ptr<CCompositeGeometry> turned =
        probe.Curve(radius, std::fabs(sweep), part.measures, {0.0, 0.0, curveAngle}).Build();
    const tJointPose curveStart = JointPose(*turned, 0, entry);
    const tPlacement placement{start.point.x - curveStart.point.x, start.point.y - curveStart.point.y, curveAngle};

    const tMake make = [&](double angle) {
        CElementBuilder builder;
        Describe(builder, part);
        std::unique_ptr<CCompositeGeometry> element = builder.Angle(angle)
                                                          .Straight(length, part.measures)
                                                          .Curve(radius, std::fabs(sweep), part.measures, placement)
                                                          .Build();
        // The common end is one joint: the straight's.
        element->GetComponents().at(1)->DisableJoint(entry);
        element->UpdateJoints();
        return element;
    };
    const tPose from = at.value_or(mChain);
    std::unique_ptr<CCompositeGeometry> element = PlaceAt(make, 0, 0, from);
    tExits exits{std::nullopt, std::nullopt, from, 0, 1};
    LayOnGrade(*element, part.rise, exits);
    exits.main = ExitPose(*element, 0, 1);
    exits.branch = ExitPose(*element, 1, 1 - entry);
    return Append(std::move(element), tElementKind::Turnout, exits);
}

std::size_t CLayoutComposer::AddFlex(const tPart& part, double length, double bend, double maxLength,
                                     const std::optional<tPose>& at) {
    const tMake make = [&](double angle) {
        CElementBuilder builder;
        Describe(builder, part);
        return builder.Angle(angle).FlexTrack(CPoint(0, 0), CPoint(length, bend), maxLength, part.measures).Build();
    };
    const tPose start = at.value_or(mChain);
    std::unique_ptr<CCompositeGeometry> element = PlaceAt(make, 0, 0, start);
    tExits exits{std::nullopt, std::nullopt, start, 0, 1};
    LayOnGrade(*element, part.rise, exits);
    exits.main = ExitPose(*element, 0, 1);
    return Append(std::move(element), tElementKind::Flex, exits);
}

std::size_t CLayoutComposer::AddFlexTo(const tPart& part, const tPose& target, double maxLength,
                                       const std::optional<tPose>& at) {
    const tPose start = at.value_or(mChain);
    // The target in the frame of the start: there at 0, 0 heading 0.
    const double turn = start.heading * M_PI / 180.0;
    const double dx = target.x - start.x;
    const double dy = target.y - start.y;
    const CPoint end(dx * std::cos(turn) + dy * std::sin(turn), -dx * std::sin(turn) + dy * std::cos(turn), 0.0);
    const double arrive = (target.heading - start.heading) * M_PI / 180.0;
    // Control points a third of the way out along both headings.
    const double reach = std::hypot(end.x, end.y) / 3.0;
    const std::vector<CPoint> points = {CPoint(0.0, 0.0, 0.0), CPoint(reach, 0.0, 0.0),
                                        CPoint(end.x - reach * std::cos(arrive), end.y - reach * std::sin(arrive), 0.0),
                                        end};
    // Ends at different heights: the flex track climbs between them.
    tPart laid = part;
    laid.rise = target.z - start.z;
    const tMake make = [&](double angle) {
        CElementBuilder builder;
        Describe(builder, laid);
        return builder.Angle(angle).FlexTrack(points, maxLength, part.measures).Build();
    };
    std::unique_ptr<CCompositeGeometry> element = PlaceAt(make, 0, 0, start);
    tExits exits{std::nullopt, std::nullopt, start, 0, 1};
    LayOnGrade(*element, laid.rise, exits);
    exits.main = ExitPose(*element, 0, 1);
    return Append(std::move(element), tElementKind::Flex, exits);
}

void CLayoutComposer::LayOnGrade(CCompositeGeometry& element, double rise, const tExits& exits) {
    if (std::fabs(rise) < 0.001) return;
    element.UpdateJoints();
    const tComponents& components = element.GetComponents();
    CPoint low = components.at(0)->GetJoint(exits.entryJoint)->GetElementPoint();
    CPoint high = components.at(0)->GetJoint(exits.exitJoint)->GetElementPoint();
    // A grade only climbs: one going down runs from the end back up to the
    // start, which then stands higher than the element.
    if (rise < 0.0) {
        std::swap(low, high);
        CPoint position = element.GetPosition();
        position.z += rise;
        element.SetPosition(position);
    }
    low.z = high.z = 0.0;
    // Heights along a grade follow the sine of its slope: the height is set
    // so that the far end climbs `rise` exactly.
    const double run = low.Distance2D(high);
    const double climb = std::fabs(rise);
    const double height = climb < run ? run * climb / std::sqrt(run * run - climb * climb) : climb;
    element.SetGrade(CGradeVector(low, high, height));
    element.UpdateJoints();
}

std::optional<tPose> CLayoutComposer::Exit(std::size_t index, bool branch) const {
    if (index >= mExits.size()) return std::nullopt;
    return branch ? mExits[index].branch : mExits[index].main;
}

std::optional<tPose> CLayoutComposer::EndOf(std::size_t index, tTrackEnd end) const {
    if (index >= mExits.size()) return std::nullopt;
    switch (end) {
        case tTrackEnd::Start: return mExits[index].entry;
        case tTrackEnd::End: return mExits[index].main;
        case tTrackEnd::Branch: return mExits[index].branch;
    }
    return std::nullopt;
}

CCompositeGeometry* CLayoutComposer::TrackEnd(std::size_t index, tTrackEnd end, int& joint) const {
    if (index >= mKinds.size() || end == tTrackEnd::Branch) return nullptr;
    const tElementKind kind = mKinds[index];
    if (kind != tElementKind::Straight && kind != tElementKind::Curve && kind != tElementKind::Flex) return nullptr;
    joint = end == tTrackEnd::Start ? mExits[index].entryJoint : mExits[index].exitJoint;
    return mDocument.elements[index].get();
}

bool CLayoutComposer::AddBumper(std::size_t index, tTrackEnd end, int type) {
    int joint = 0;
    CCompositeGeometry* element = TrackEnd(index, end, joint);
    if (element == nullptr || type < 0 || type > 3) return false;
    // The other end stays where it is; this one is closed by the bumper.
    const CPoint kept = JointPose(*element, 0, 1 - joint).point;
    bool made = false;
    AddGenerator(*element, kGeneratorTrackBumper, {{31, std::to_string(joint)}, {40, std::to_string(type)}}, &made);
    PutJointBack(*element, 1 - joint, kept);
    return made;
}

bool CLayoutComposer::AddPortal(std::size_t index, tTrackEnd end, int style) {
    int joint = 0;
    CCompositeGeometry* element = TrackEnd(index, end, joint);
    if (element == nullptr || style < 1 || style > 4) return false;
    const tJointPose mouth = JointPose(*element, 0, joint);
    // The generator works with the element at angle 0.
    const double across = Wrap360(mouth.angle - element->GetAngle());
    bool made = false;
    AddGenerator(*element, kGeneratorTunnelPortal,
                 {{27, std::to_string(style)}, {29, ParameterText(across)}, {31, std::to_string(joint)}}, &made);
    PutJointBack(*element, joint, mouth.point);
    return made;
}

std::size_t CLayoutComposer::AddText(const tPart& part, const std::string& text, const std::string& font,
                                     std::int32_t size, const CPoint& at, double angle) {
    CElementBuilder builder;
    Describe(builder, part);
    builder.Position(at).Angle(angle).Text(text, font, size);
    return Append(builder.Build(), tElementKind::Text, {});
}

std::size_t CLayoutComposer::AddRectangle(const tPart& part, double width, double height, std::int32_t lineWidth,
                                          const CPoint& at, double angle) {
    CElementBuilder builder;
    Describe(builder, part);
    builder.Position(at).Angle(angle).Poly({CPoint(0, 0), CPoint(width, 0), CPoint(width, height), CPoint(0, height)},
                                           kPolyKindRectangle, lineWidth);
    return Append(builder.Build(), tElementKind::Rectangle, {});
}

std::size_t CLayoutComposer::AddPolygon(const tPart& part, const std::vector<CPoint>& points, std::int32_t lineWidth,
                                        const CPoint& at, double angle) {
    CElementBuilder builder;
    Describe(builder, part);
    builder.Position(at).Angle(angle).Poly(points, kPolyKindPolygon, lineWidth);
    return Append(builder.Build(), tElementKind::Polygon, {});
}

std::size_t CLayoutComposer::AddLine(const tPart& part, const CPoint& from, const CPoint& to, std::int32_t lineWidth) {
    CElementBuilder builder;
    Describe(builder, part);
    builder.Position(from).Line(CPoint(0, 0), CPoint(to.x - from.x, to.y - from.y), lineWidth);
    return Append(builder.Build(), tElementKind::Line, {});
}

std::size_t CLayoutComposer::AddOval(const tPart& part, double radiusX, double radiusY, std::int32_t lineWidth,
                                     const CPoint& at) {
    CElementBuilder builder;
    Describe(builder, part);
    builder.Position(at).Oval(radiusX, radiusY, 0.0, 360.0, lineWidth);
    return Append(builder.Build(), tElementKind::Oval, {});
}

std::size_t CLayoutComposer::AddMark(const tPart& part, const CPoint& from, const CPoint& to, int type,
                                     std::map<int, std::string> parameters, tElementKind kind) {
    // A stand-in line that the generator's components replace.
    CElementBuilder builder;
    Describe(builder, part);
    std::unique_ptr<CCompositeGeometry> element =
        builder.Line(CPoint(0, 0), CPoint(to.x - from.x, to.y - from.y)).Build();
    UElementComponents::MarkAsGenerated(element->GetComponents(), type);
    parameters[10] = ParameterText(0.0);
    parameters[11] = ParameterText(0.0);
    parameters[12] = ParameterText(to.x - from.x);
    parameters[13] = ParameterText(to.y - from.y);
    const CPoint offset = AddGenerator(*element, type, parameters);
    // The generator's origin, moved by `offset`, lands on `from`.
    element->SetPosition(CPoint(from.x - offset.x, from.y - offset.y, 0.0));
    element->UpdateJoints();
    return Append(std::move(element), kind, {});
}

std::size_t CLayoutComposer::AddArrow(const tPart& part, const CPoint& from, const CPoint& to, int head, int headSize,
                                      int tail, int tailSize) {
    return AddMark(part, from, to, kGeneratorArrow,
                   {{18, std::to_string(head)},
                    {19, std::to_string(headSize)},
                    {20, std::to_string(tail)},
                    {21, std::to_string(tailSize)}},
                   tElementKind::Arrow);
}

std::size_t CLayoutComposer::AddDimension(const tPart& part, const CPoint& from, const CPoint& to, int offset,
                                          int fontSize, double lineWidth) {
    return AddMark(part, from, to, kGeneratorDimension,
                   {{22, std::to_string(offset)}, {23, std::to_string(fontSize)}, {43, ParameterText(lineWidth)}},
                   tElementKind::Dimension);
}

bool CLayoutComposer::AddGroup(const std::vector<std::size_t>& members, int parent) {
    if (parent < -1 || parent >= static_cast<int>(mGroups.size())) return false;
    for (const std::size_t member : members) {
        if (member >= mDocument.elements.size()) return false;
    }
    mGroups.push_back({members, parent});
    return true;
}

CImageElement* CLayoutComposer::AddImage(const std::string& name, const CPoint& at, double width, double height,
                                         int pixelsWide, int pixelsHigh, const std::string& layerName) {
    CLayer* layer = layerName.empty() ? LastLayerOfType(CLayer::kImageLayer) : FindLayer(layerName);
    if (layer == nullptr) return nullptr;
    const std::vector<std::uint8_t> png =
        TinyPng(pixelsWide, pixelsHigh, static_cast<std::uint32_t>(mDocument.images.size() + 1));
    auto image = std::make_unique<CImageElement>(png.data(), static_cast<int>(png.size()));
    image->SetName(name);
    image->SetPosition(at);
    image->SetWidth(width);
    image->SetHeight(height);
    image->SetLayer(layer);
    mDocument.images.push_back(std::move(image));
    return mDocument.images.back().get();
}

CBaseboardElement* CLayoutComposer::AddBaseboard(const std::string& name, const std::vector<CPoint>& corners,
                                                 const std::optional<CColor>& fill, const std::string& layerName,
                                                 const std::map<std::size_t, tBorderArc>& arcs) {
    CLayer* layer = layerName.empty() ? LastLayerOfType(CLayer::kBaseboardLayer) : FindLayer(layerName);
    if (layer == nullptr || corners.size() < 3) return nullptr;
    auto board = std::make_unique<CBaseboardElement>();
    board->SetName(name);
    if (fill) board->SetFirstColor(*fill);
    board->SetLayer(layer);
    // Zero-padded IDs keep the points in border order.
    auto id = [](std::size_t i) {
        char text[32];
        std::snprintf(text, sizeof text, "p%06zu", i);
        return std::string(text);
    };
    for (std::size_t i = 0; i < corners.size(); ++i) board->SetBorderPoint(id(i), corners[i]);
    for (std::size_t i = 0; i < corners.size(); ++i) {
        const std::string start = id(i);
        const std::string end = id((i + 1) % corners.size());
        const auto arc = arcs.find(i);
        if (arc == arcs.end()) {
            board->AddBorderSegment(new CStraightBorderSegment(start, end));
            continue;
        }
        auto* segment = new CCircleArcBorderSegment(start, end);
        segment->SetCentre(CPoint(arc->second.centre.x, arc->second.centre.y, 0.0));
        segment->SetDirectionFlag(arc->second.clockwise);
        board->AddBorderSegment(segment);
    }
    mDocument.baseboards.push_back(std::move(board));
    return mDocument.baseboards.back().get();
}

int CLayoutComposer::SetPrice(const std::string& productNumber, std::int32_t price,
                              std::optional<std::int32_t> currencyId) {
    int priced = 0;
    for (const auto& element : mDocument.elements) {
        if (productNumber != element->GetProductNumber()) continue;
        element->SetPrice(price);
        if (currencyId) element->SetCurrencyId(*currencyId);
        ++priced;
    }
    return priced;
}

void CLayoutComposer::Finish() {
    tSerializedGroups& list = mDocument.groups;
    list.clear();
    if (mGroups.empty()) return;
    list.push_back(static_cast<std::int32_t>(mGroups.size()));
    for (std::size_t g = 0; g < mGroups.size(); ++g) {
        list.push_back(mGroups[g].parent);
        list.push_back(static_cast<std::int32_t>(mGroups[g].members.size()));
        for (const std::size_t member : mGroups[g].members) list.push_back(static_cast<std::int32_t>(member));
        std::vector<std::int32_t> children;
        for (std::size_t c = 0; c < mGroups.size(); ++c) {
            if (mGroups[c].parent == static_cast<int>(g)) children.push_back(static_cast<std::int32_t>(c));
        }
        list.push_back(static_cast<std::int32_t>(children.size()));
        list.insert(list.end(), children.begin(), children.end());
    }
}

// ------------------------------------------------------------ TinyPng

namespace {

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1u) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFFu] ^ (crc >> 8);
    return ~crc;
}

void PutBig32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void PutChunk(std::vector<std::uint8_t>& out, const char (&type)[5], const std::vector<std::uint8_t>& data) {
    PutBig32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    PutBig32(out, Crc32(out.data() + start, out.size() - start));
}

}  // namespace

std::vector<std::uint8_t> TinyPng(int width, int height, std::uint32_t seed) {
    width = std::clamp(width, 1, 256);
    height = std::clamp(height, 1, 256);
    // Rows of filter byte 0 and RGB pixels.
    std::vector<std::uint8_t> raw;
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);
        for (int x = 0; x < width; ++x) {
            raw.push_back(static_cast<std::uint8_t>(x * 255 / width));
            raw.push_back(static_cast<std::uint8_t>(y * 255 / height));
            raw.push_back(static_cast<std::uint8_t>(seed * 53u));
        }
    }
    // zlib stream of stored blocks (at most 65,535 bytes each).
    std::vector<std::uint8_t> zlib = {0x78, 0x01};
    std::size_t done = 0;
    do {
        const std::size_t block = std::min<std::size_t>(raw.size() - done, 65535);
        const bool last = done + block == raw.size();
        zlib.push_back(last ? 1 : 0);
        zlib.push_back(static_cast<std::uint8_t>(block));
        zlib.push_back(static_cast<std::uint8_t>(block >> 8));
        zlib.push_back(static_cast<std::uint8_t>(~block));
        zlib.push_back(static_cast<std::uint8_t>(~block >> 8));
        zlib.insert(zlib.end(), raw.begin() + static_cast<std::ptrdiff_t>(done),
                    raw.begin() + static_cast<std::ptrdiff_t>(done + block));
        done += block;
    } while (done < raw.size());
    std::uint32_t a = 1, b = 0;
    for (const std::uint8_t byte : raw) {
        a = (a + byte) % 65521u;
        b = (b + a) % 65521u;
    }
    PutBig32(zlib, (b << 16) | a);

    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    PutBig32(header, static_cast<std::uint32_t>(width));
    PutBig32(header, static_cast<std::uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, no interlace
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", zlib);
    PutChunk(png, "IEND", {});
    return png;
}

}  // namespace ULayoutGen
