#include "engine/fileformat/TaggedFile.h"

#include "engine/services/Logger.h"
#include "platform/foundation/ByteOrder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr double kFractionScale = 1e7;

}  // namespace

CTaggedFile::CTaggedFile(FILE* file) : mFile(file) {}

CTaggedFile::~CTaggedFile() {
    if (mTagsSkipped >= 1) LogWarning("Skipped %d tags", mTagsSkipped);
}

bool CTaggedFile::ReadNextMatchingTag(CTag& tag, std::uint16_t id) {
    while (tag.ReadTag(mFile)) {
        ++mTagsRead;
        if (tag.GetId() == id) {
            mStatus = tReadStatus::Ok;
            return true;
        }
        ++mTagsSkipped;
        LogDebug("CTaggedFile::ReadNextMatchingTag -- Skipping '%d' tag", tag.GetId());
    }
    mStatus = tag.LastStatus();
    return false;
}

bool CTaggedFile::ReadValueTag(CTag& tag, std::uint16_t id, std::size_t minimumLength) {
    if (!ReadNextMatchingTag(tag, id)) return false;
    if (tag.GetLength() < minimumLength) {
        mStatus = tReadStatus::TooShort;
        return false;
    }
    return true;
}

bool CTaggedFile::ReadBool(std::uint16_t id, bool& value) {
    CTag tag;
    if (!ReadValueTag(tag, id, 1)) return false;
    value = tag.GetBytes()[0] != 0;
    return true;
}

bool CTaggedFile::ReadInt(std::uint16_t id, std::int32_t& value) {
    CTag tag;
    if (!ReadValueTag(tag, id, 4)) return false;
    value = platform::loadBigEndianInt32(tag.GetBytes());
    return true;
}

bool CTaggedFile::ReadDouble(std::uint16_t id, double& value) {
    CTag tag;
    if (!ReadValueTag(tag, id, 8)) return false;
    const std::int32_t integerPart = platform::loadBigEndianInt32(tag.GetBytes());
    const std::int32_t fraction = platform::loadBigEndianInt32(tag.GetBytes() + 4);
    value = integerPart + fraction / kFractionScale;
    return true;
}

bool CTaggedFile::ReadData(std::uint16_t id, void* buffer, std::size_t bufferSize, std::size_t* copied) {
    CTag tag;
    if (!ReadNextMatchingTag(tag, id)) return false;
    const std::size_t count = std::min<std::size_t>(tag.GetLength(), bufferSize);
    if (count > 0) tag.GetData(buffer, count);
    if (copied != nullptr) *copied = count;
    return true;
}

bool CTaggedFile::ReadString(std::uint16_t id, std::string& value) {
    CTag tag;
    if (!ReadNextMatchingTag(tag, id)) return false;
    const auto* text = reinterpret_cast<const char*>(tag.GetBytes());
    const std::size_t limit = std::min<std::size_t>(tag.GetLength(), kMaxTextLength);
    const void* nul = std::memchr(text, '\0', limit);
    value.assign(text, nul != nullptr ? static_cast<const char*>(nul) - text : limit);
    return true;
}

bool CTaggedFile::ReadCString(std::uint16_t id, char* field, std::size_t fieldSize) {
    if (field == nullptr || fieldSize == 0) return false;
    CTag tag;
    if (!ReadNextMatchingTag(tag, id)) return false;
    const std::size_t count = std::min<std::size_t>(tag.GetLength(), fieldSize - 1);
    tag.GetData(field, count);
    field[count] = '\0';
    return true;
}

CColor CTaggedFile::ReadColor(std::uint16_t redId, std::uint16_t greenId, std::uint16_t blueId, std::uint16_t alphaId) {
    CColor color;
    tReadStatus firstFailure = tReadStatus::Ok;
    double* const components[] = {&color.mRed, &color.mGreen, &color.mBlue, &color.mAlpha};
    const std::uint16_t ids[] = {redId, greenId, blueId, alphaId};
    for (int i = 0; i < 4; ++i) {
        if (!ReadDouble(ids[i], *components[i]) && firstFailure == tReadStatus::Ok) firstFailure = mStatus;
    }
    mStatus = firstFailure;
    return color;
}

bool CTaggedFile::WriteBool(std::uint16_t id, bool value) {
    const std::uint8_t byte = value ? 1 : 0;
    return CTag(id, 1, &byte).WriteTag(mFile);
}

bool CTaggedFile::WriteInt(std::uint16_t id, std::int32_t value) {
    std::uint8_t bytes[4];
    platform::storeBigEndianInt32(bytes, value);
    return CTag(id, sizeof bytes, bytes).WriteTag(mFile);
}

bool CTaggedFile::WriteDouble(std::uint16_t id, double value) {
    if (!std::isfinite(value)) return false;
    const double integerPart = std::trunc(value);
    if (integerPart < std::numeric_limits<std::int32_t>::min() ||
        integerPart > std::numeric_limits<std::int32_t>::max()) {
        return false;
    }
    // fmod keeps the sign of the value, so -1.5 gives -1 and -5,000,000.
    const double fraction = std::trunc(std::fmod(value * kFractionScale, kFractionScale));

    std::uint8_t bytes[8];
    platform::storeBigEndianInt32(bytes, static_cast<std::int32_t>(integerPart));
    platform::storeBigEndianInt32(bytes + 4, static_cast<std::int32_t>(fraction));
    return CTag(id, sizeof bytes, bytes).WriteTag(mFile);
}

bool CTaggedFile::WriteString(std::uint16_t id, const std::string& value) {
    char buffer[kMaxTextLength] = {};
    // Copied as a C string (up to its first NUL); the NUL is written too, so
    // at most kMaxTextLength - 2 characters fit.
    const std::size_t length = strnlen(value.c_str(), kMaxTextLength - 2);
    std::memcpy(buffer, value.c_str(), length);
    return CTag(id, length + 1, buffer).WriteTag(mFile);
}
