#pragma once
// CTextBIG: a text label (component type 4) in a font and size. Its extent
// comes from the text measurement service; texts have no joints that connect.

#include "engine/model/BasicGeometry.h"

class CTextBIG : public CBasicGeometry {
public:
    static constexpr std::size_t kMaxTextLength = 4095;

    // "TEXT" in "Futura-Medium" at 24, both joints disabled and not free.
    CTextBIG();
    // Both joints of the copy are disabled and not free.
    CTextBIG(const CTextBIG& other);
    ~CTextBIG() override = default;

    // int32 4, the base part, mTextSize, then the font name and the text,
    // each as an int32 length and its bytes (no terminator).
    std::uint8_t* Serialize(std::uint8_t* buffer) const override;
    std::size_t GetSerializedSize() const override;
    std::string Dump(int unitType) const override;
    // The measured box of the text turned by the component angle plus
    // `elementAngle`, moved by the offset; all zero without the
    // "TextCalculationService".
    tDoubleRect CalcBoundingBox(double elementAngle) override;
    // Centre of CalcBoundingBox at `elementAngle`.
    CPoint GetReferencePoint(double elementAngle) override;
    void UpdateJoints(const CPoint&, const CGradeVector&, int, double) override {}
    int GetType() const override { return kComponentTypeText; }
    // The base tags, 324, 325 (ignored), the font (332 from version 6, the
    // length-prefixed 326 before) and 327. A font length beyond its record
    // fails the load and leaves the font name unchanged.
    bool Load(FILE* file, int fileVersion, std::string& errorText) override;
    // 300 = 4, the base tags, 324, 325 = 0, the font (332 from version 6;
    // before, 326: a length byte and at most 255 bytes of the name, never cut
    // inside a UTF-8 character), 327.
    using CBasicGeometry::Save;
    bool Save(FILE* file, int version) override;

    // A null text fails through UErrorHandling::ThrowIfNull; an empty text is
    // stored as " "; a longer text is cut to 4,095 bytes, never inside a
    // UTF-8 character.
    void SetText(const char* text);
    const std::string& GetText() const { return mText; }
    const std::string& GetFontName() const { return mFontName; }
    void SetFontName(const std::string& fontName) {
        mFontName = fontName;
        UContentChanges::Note();
    }
    std::int32_t GetTextSize() const { return mTextSize; }
    void SetTextSize(std::int32_t size) {
        mTextSize = size;
        UContentChanges::Note();
    }

private:
    void DisableBothJoints();

    std::string mText = "TEXT";
    std::string mFontName = "Futura-Medium";
    std::int32_t mTextSize = 24;
};
