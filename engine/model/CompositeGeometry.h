#pragma once
// CCompositeGeometry: one layout element (a placed track piece, turnout,
// building, shape, text or generated part). It owns its components, holds
// the catalogue data of the piece it came from, its position, angle and
// grade, two colours, its layer, its component generators and its
// translated texts.
//
// In layout and track-library files each element is one element record:
// the 4 bytes "RCig", a big-endian unsigned 32-bit version, then tagged
// records (CTaggedFile) and the component records. After loading, the
// components are moved so that their box starts at the element's position.
//
// Lengths are millimetres, angles degrees.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/model/GeneratorParameters.h"
#include "engine/model/BasicGeometry.h"
#include "engine/geometry/Color.h"
#include "engine/geometry/DoubleRect.h"
#include "engine/model/ContentChanges.h"
#include "engine/model/GradeVector.h"
#include "engine/model/Groupable.h"
#include "engine/geometry/Point.h"
#include "engine/model/Translations.h"

class CDrawingOptions;
class CLayer;
class CRenderStrategy;

// An element's components in drawing order.
using tComponents = std::vector<CBasicGeometry*>;

// Which joints GetJoints returns; any other value selects none.
enum JointFilter : int {
    kJointFilterAll = 0,        // every enabled joint
    kJointFilterFree = 1,       // enabled joints open for a connection
    kJointFilterConnected = 2,  // enabled joints that are connected
};

// The joints of an element, two per component in component order. The
// pointers are not const: connecting joints is how a document links its
// elements, and that does not change either element's shape.
using tConstJoints = std::vector<CJoint*>;

class CCompositeGeometry : public CGroupable {
public:
    // Sizes of the fixed text fields, terminator included.
    static constexpr std::size_t kProductNumberSize = 32;
    static constexpr std::size_t kDescriptionSize = 64;
    static constexpr std::size_t kLabelTextSize = 32;
    static constexpr std::size_t kManufacturerSize = 32;
    static constexpr std::size_t kLibraryNameSize = 128;
    static constexpr std::size_t kText211Size = 8;
    static constexpr std::size_t kText242Size = 32;

    // The most components one element holds; a record claiming more is
    // damaged.
    static constexpr std::size_t kMaxComponents = 500;
    // Generators of one element and parameters of one generator beyond these
    // counts are taken as damage.
    static constexpr std::int32_t kMaxGenerators = 10000;
    static constexpr std::int32_t kMaxGeneratorParameters = 10000;

    // Oldest and newest element record versions.
    static constexpr int kOldestRecordVersion = CBasicGeometry::kOldestRecordVersion;
    static constexpr int kNewestRecordVersion = CBasicGeometry::kNewestRecordVersion;

    // The defaults of a new element and a fresh identifier.
    CCompositeGeometry();
    // Deep copy: a fresh identifier, cloned components, everything else
    // copied but the stored layer name and the second string.
    CCompositeGeometry(const CCompositeGeometry& other);
    CCompositeGeometry& operator=(const CCompositeGeometry&) = delete;
    // Deletes the components.
    ~CCompositeGeometry() override;

    // Reads one element record from the file's current position. False with
    // `errorText` for a bad header, a record whose counts or component
    // records are damaged or cut short, or damaged translations; false with
    // only a warning (and `errorText` untouched) for a version below 3.
    // Components read before a failure stay in the element.
    bool Load(FILE* file, std::string& errorText);
    // Load without its last step, PlaceAtOrigin, which the caller then
    // owes the element (a document's elements are placed side by side).
    bool LoadUnplaced(FILE* file, std::string& errorText);
    // What a record read needs last: the components moved so that the
    // element's box starts at (0, 0), the position moved by as much the
    // other way, and the joints recomputed. Touches this element alone.
    void PlaceAtOrigin();
    // Reads `count` component records (a count below 1 reads nothing). False
    // with `errorText` for a count above kMaxComponents or above what the
    // rest of the file can hold, an unsupported or unknown type code, or a
    // component whose own load fails.
    bool ReadComponents(FILE* file, int version, int count, std::string& errorText);
    // Writes an element record of `version` (3 to 13) with the tags that
    // version carries, for test files; nothing in the app writes layouts.
    // False for another version or when a record cannot be written.
    bool Save(FILE* file, int version);

    // Hands every component, in order, to the strategy with `position`, the
    // element angle and the element grade (a curved parallel track: each
    // component's own grade). Changes nothing in the element. A null
    // strategy or component fails through UErrorHandling::ThrowIfNull.
    void Render(CRenderStrategy* strategy, const CPoint& position, const CDrawingOptions& options);

    // Recomputes every component's joints in layout coordinates and sets
    // their parent to this element.
    void UpdateJoints();
    // UpdateJoints, then as the const form.
    tConstJoints GetJoints(JointFilter filter);
    // The enabled joints that the filter accepts, joint 0 before joint 1 of
    // each component. A joint without parent (UpdateJoints never ran) fails
    // through UErrorHandling::ThrowIfNull.
    tConstJoints GetJoints(JointFilter filter) const;

    // Union of the components' boxes at the element angle. Without
    // components: all zero, with a warning and an integrity-check event.
    void CalcBoundingBox(tDoubleRect& box);
    // Moves every component so that the box starts at (0, 0); returns the
    // shift. `oldBox` (may be null) receives the box before the move.
    CPoint MoveToOrigin(tDoubleRect* oldBox);
    // Sets the angle, brought into [0, 360), and turns the components about
    // the centre of the element's box to match.
    void SetAngle(double angle);
    // Turns the element about a layout point by `angle`.
    void Rotate(const CPoint& centre, double angle);

    // Sum of the components' track lengths.
    double GetTrackLength() const;
    // The layer object's name when a layer is set, else the stored name.
    const std::string& GetLayerName() const;

    // The "Description" translation for the language (with the fall-backs of
    // the translations map), else the description field.
    std::string GetLocalizedDescription(const std::string& language) const;
    void SetLocalizedDescription(const std::string& text, const std::string& language);

    // True when the generator map holds an entry of this generator type.
    bool UsesComponentGenerator(int generatorType) const;

    // Set on every component.
    void SetTrackbedWidth(double width);
    void SetRailWidth(double width);

    // ---- components and generators
    const tComponents& GetComponents() const { return mComponents; }
    // Code that changes the list itself (not through the components'
    // setters) notes the change (UContentChanges), as UElementComponents
    // does.
    tComponents& GetComponents() { return mComponents; }
    const tGeneratorMap& GetGeneratorMap() const { return mGeneratorMap; }
    tGeneratorMap& GetGeneratorMap() { return mGeneratorMap; }
    const tTranslationsMap& GetTranslations() const { return mTranslations; }
    tTranslationsMap& GetTranslations() { return mTranslations; }

    // ---- catalogue texts. Setters cut to the field (size less one); a null
    // text leaves the field unchanged.
    const char* GetProductNumber() const { return mProductNumber; }
    // Also resets the cached point.
    void SetProductNumber(const char* text);
    const char* GetDescription() const { return mDescription; }
    void SetDescription(const char* text);
    const char* GetLabelText() const { return mLabelText; }
    void SetLabelText(const char* text);
    const char* GetManufacturer() const { return mManufacturer; }
    void SetManufacturer(const char* text);
    // Shorter than 2 characters marks a user-created element.
    const char* GetLibraryName() const { return mLibraryName; }
    void SetLibraryName(const char* text);
    const char* GetText211() const { return mText211; }
    void SetText211(const char* text);
    const char* GetText242() const { return mText242; }
    void SetText242(const char* text);

    // ---- catalogue values
    std::int32_t GetHeaderValue212() const { return mHeaderValue212; }
    void SetHeaderValue212(std::int32_t value) { mHeaderValue212 = value; }
    // Hundredths of the currency unit.
    std::int32_t GetPrice() const { return mPrice; }
    void SetPrice(std::int32_t price) { mPrice = price; }
    std::int32_t GetCurrencyId() const { return mCurrencyId; }
    void SetCurrencyId(std::int32_t id) { mCurrencyId = id; }
    std::int32_t GetModelScale() const { return mModelScale; }
    void SetModelScale(std::int32_t scale) { mModelScale = scale; }
    // 0 is unclassified.
    std::int32_t GetElementType() const { return mElementType; }
    void SetElementType(std::int32_t type) { mElementType = type; }
    std::int32_t GetHeaderValue244() const { return mHeaderValue244; }
    void SetHeaderValue244(std::int32_t value) { mHeaderValue244 = value; }
    bool GetFlag216() const { return mFlag216; }
    void SetFlag216(bool flag) { mFlag216 = flag; }
    bool GetFlag245() const { return mFlag245; }
    void SetFlag245(bool flag) { mFlag245 = flag; }

    // ---- identity and values kept outside the record
    const std::string& GetIdentifier() const { return mIdentifier; }
    const std::string& GetSecondString() const { return mSecondString; }
    void SetSecondString(const std::string& text) { mSecondString = text; }
    bool GetFirstFlag() const { return mFirstFlag; }
    void SetFirstFlag(bool flag) { mFirstFlag = flag; }
    bool GetSecondFlag() const { return mSecondFlag; }
    void SetSecondFlag(bool flag) { mSecondFlag = flag; }
    std::int32_t GetAttributeValue() const { return mAttributeValue; }
    void SetAttributeValue(std::int32_t value) { mAttributeValue = value; }

    // ---- appearance and placement
    const CColor& GetFirstColor() const { return mFirstColor; }
    void SetFirstColor(const CColor& color) { mFirstColor = color; }
    const CColor& GetSecondColor() const { return mSecondColor; }
    void SetSecondColor(const CColor& color) { mSecondColor = color; }
    std::int32_t GetStartTrim() const { return mStartTrim; }
    void SetStartTrim(std::int32_t trim) { mStartTrim = trim; }
    std::int32_t GetEndTrim() const { return mEndTrim; }
    void SetEndTrim(std::int32_t trim) { mEndTrim = trim; }
    const CPoint& GetPosition() const { return mPosition; }
    void SetPosition(const CPoint& position) {
        mPosition = position;
        UContentChanges::Note();
    }
    const CPoint& GetCachedPoint() const { return mCachedPoint; }
    void SetCachedPoint(const CPoint& point) { mCachedPoint = point; }
    double GetAngle() const { return mAngle; }
    const CGradeVector& GetGrade() const { return mGrade; }
    void SetGrade(const CGradeVector& grade) {
        mGrade = grade;
        UContentChanges::Note();
    }
    CLayer* GetLayer() const { return mLayer; }
    void SetLayer(CLayer* layer) {
        mLayer = layer;
        UContentChanges::Note();
    }
    // The layer name as stored in the record.
    void SetLayerName(const std::string& name) { mLayerName = name; }

private:
    // The element tags of the record (steps 1 to 16), after the header.
    bool ReadElementTags(FILE* file, CTaggedFile& tags, int version, std::int32_t& componentCount,
                         std::string& errorText);
    bool ReadGenerators(FILE* file, CTaggedFile& tags, std::string& errorText);
    bool WriteElementTags(FILE* file, CTaggedFile& tags, int version) const;
    bool WriteGenerators(CTaggedFile& tags) const;

    // The grade of a component of a curved parallel track: from the lower of
    // its joints to the other, relative to the position, with the element
    // grade's height.
    CGradeVector ComponentGrade(CBasicGeometry& component) const;
    bool IsCurvedParallelTrack() const;
    // The point SetAngle turns a component by, at `elementAngle`.
    static CPoint TurningReference(CBasicGeometry& component, double elementAngle);

    tComponents mComponents;
    tGeneratorMap mGeneratorMap;
    char mProductNumber[kProductNumberSize] = {};
    char mDescription[kDescriptionSize] = {};
    char mLabelText[kLabelTextSize] = {};
    char mManufacturer[kManufacturerSize] = {};
    char mLibraryName[kLibraryNameSize] = {};
    char mText211[kText211Size] = {};
    char mText242[kText242Size] = {};
    std::int32_t mHeaderValue212 = 1;
    std::int32_t mPrice = 0;
    std::int32_t mCurrencyId = 129;
    std::int32_t mModelScale = 16;
    std::int32_t mElementType = 0;
    std::int32_t mHeaderValue244 = 1;
    bool mFlag216 = false;
    bool mFlag245 = false;
    std::string mIdentifier;
    std::string mSecondString;
    CColor mFirstColor;
    CColor mSecondColor;
    bool mFirstFlag = true;
    bool mSecondFlag = false;
    std::int32_t mAttributeValue = 0;
    std::int32_t mStartTrim = 0;
    std::int32_t mEndTrim = 0;
    CPoint mPosition;
    CPoint mCachedPoint;
    double mAngle = 0.0;
    CGradeVector mGrade;
    CLayer* mLayer = nullptr;
    std::string mLayerName;
    tTranslationsMap mTranslations;
};
