#include "engine/model/TextBIG.h"

#include <algorithm>
#include <cstring>

#include "engine/fileformat/Tag.h"
#include "engine/fileformat/TaggedFile.h"
#include "engine/services/ErrorHandling.h"
#include "engine/services/ServiceLocator.h"
#include "engine/services/TextCalculationService.h"

namespace {

// A length byte and at most 255 characters.
constexpr std::size_t kPascalStringBufferSize = 256;
constexpr std::size_t kMaxPascalStringLength = 255;

// The font name: a length-prefixed raw record before version 6, a text
// record from version 6.
constexpr tRecordTagGate kOldFontNameGate{326, 3, 5};
constexpr tRecordTagGate kFontNameGate{332, 6, 13};

// The first `limit` bytes of `text` up to its first NUL, cut back so that
// no UTF-8 character is split.
std::size_t CutLength(const std::string& text, std::size_t limit) {
    std::size_t length = strnlen(text.c_str(), std::min(limit, text.size()));
    if (length < text.size() && length == limit) {
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
    }
    return length;
}

}  // namespace

CTextBIG::CTextBIG() { DisableBothJoints(); }

CTextBIG::CTextBIG(const CTextBIG& other)
    : CBasicGeometry(other), mText(other.mText), mFontName(other.mFontName), mTextSize(other.mTextSize) {
    DisableBothJoints();
}

void CTextBIG::DisableBothJoints() {
    DisableJoint(0);
    DisableJoint(1);
    SyncJointFreeFlags();
}

void CTextBIG::SetText(const char* text) {
    UErrorHandling::ThrowIfNull(text, "void CTextBIG::SetText(const char *)", "No text supplied");
    UContentChanges::Note();
    std::size_t length = std::strlen(text);
    if (length == 0) {
        mText = " ";
        return;
    }
    if (length > kMaxTextLength) {
        length = kMaxTextLength;
        // Back off over continuation bytes so that no character is split.
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
    }
    mText.assign(text, length);
}

std::uint8_t* CTextBIG::Serialize(std::uint8_t* buffer) const {
    std::uint8_t* p = PutInt32(buffer, kComponentTypeText);
    p = CBasicGeometry::Serialize(p);
    p = PutInt32(p, mTextSize);
    p = PutInt32(p, static_cast<std::int32_t>(mFontName.size()));
    std::memcpy(p, mFontName.data(), mFontName.size());
    p += mFontName.size();
    p = PutInt32(p, static_cast<std::int32_t>(mText.size()));
    std::memcpy(p, mText.data(), mText.size());
    return p + mText.size();
}

std::size_t CTextBIG::GetSerializedSize() const { return kBasicSerializedSize + 16 + mFontName.size() + mText.size(); }

std::string CTextBIG::Dump(int) const {
    char own[128];
    std::snprintf(own, sizeof own, "mFontName: %s, mTextSize: %d, mText: '%s'", mFontName.c_str(), mTextSize,
                  mText.c_str());
    return DumpBasicProperties(DumpClassName<CTextBIG>().c_str()) + own;
}

tDoubleRect CTextBIG::CalcBoundingBox(double elementAngle) {
    auto* service = CServiceLocator::Instance().LocateServiceAs<TextCalculationServiceBase>(
        VKMTextCalculationService::kServiceName);
    if (service == nullptr) return tDoubleRect{0.0, 0.0, 0.0, 0.0};
    tDoubleRect box = service->GetTextBounds(mFontName, mTextSize, mText, mAngle + elementAngle);
    box.minX += mOffsetX;
    box.maxX += mOffsetX;
    box.minY += mOffsetY;
    box.maxY += mOffsetY;
    return box;
}

CPoint CTextBIG::GetReferencePoint(double elementAngle) {
    const tDoubleRect box = CalcBoundingBox(elementAngle);
    return CPoint((box.minX + box.maxX) / 2.0, (box.minY + box.maxY) / 2.0, 0.0);
}

bool CTextBIG::Load(FILE* file, int fileVersion, std::string& errorText) {
    CTaggedFile tags(file);
    if (!LoadBasicProperties(tags, fileVersion, errorText)) return false;
    std::int32_t ignored = 0;
    if (!ReadRequiredInt(tags, 324, mTextSize, errorText) || !ReadRequiredInt(tags, 325, ignored, errorText))
        return false;
    if (kFontNameGate.Carries(fileVersion)) {
        if (!ReadRequiredString(tags, kFontNameGate.id, mFontName, errorText)) return false;
    } else if (kOldFontNameGate.Carries(fileVersion)) {
        // A length byte and the name; the length is trusted only as far as
        // the record reaches.
        std::uint8_t buffer[kPascalStringBufferSize];
        std::size_t copied = 0;
        if (!tags.ReadData(kOldFontNameGate.id, buffer, sizeof buffer, &copied))
            return ReadFailed(tags, kOldFontNameGate.id, errorText);
        const std::size_t length = buffer[0];
        if (length + 1 > copied) {
            char text[128];
            std::snprintf(text, sizeof text, "Font name of %zu characters exceeds its record of %zu bytes", length,
                          copied);
            errorText = text;
            return false;
        }
        const char* name = reinterpret_cast<const char*>(buffer + 1);
        mFontName.assign(name, strnlen(name, length));
    }
    return ReadRequiredString(tags, 327, mText, errorText);
}

bool CTextBIG::Save(FILE* file, int version) {
    if (file == nullptr || !IsRecordVersion(version)) return false;
    CTaggedFile tags(file);
    if (!tags.WriteInt(300, kComponentTypeText) || !SaveBasicProperties(file, tags, version) ||
        !tags.WriteInt(324, mTextSize) || !tags.WriteInt(325, 0))
        return false;
    if (kFontNameGate.Carries(version)) {
        if (!tags.WriteString(kFontNameGate.id, mFontName)) return false;
    } else if (kOldFontNameGate.Carries(version)) {
        // A length byte and the name, cut to 255 bytes.
        std::uint8_t buffer[kPascalStringBufferSize];
        const std::size_t length = CutLength(mFontName, kMaxPascalStringLength);
        buffer[0] = static_cast<std::uint8_t>(length);
        std::memcpy(buffer + 1, mFontName.data(), length);
        if (!CTag(kOldFontNameGate.id, length + 1, buffer).WriteTag(file)) return false;
    }
    return tags.WriteString(327, mText);
}
