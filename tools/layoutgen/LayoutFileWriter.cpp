#include "tools/layoutgen/LayoutFileWriter.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "engine/fileformat/Tag.h"
#include "engine/fileformat/TaggedFile.h"

namespace ULayoutFileWriter {

bool WriteHeader(FILE* file, const char (&magic)[5], std::uint32_t version) {
    const std::uint8_t header[8] = {static_cast<std::uint8_t>(magic[0]),      static_cast<std::uint8_t>(magic[1]),
                                    static_cast<std::uint8_t>(magic[2]),      static_cast<std::uint8_t>(magic[3]),
                                    static_cast<std::uint8_t>(version >> 24), static_cast<std::uint8_t>(version >> 16),
                                    static_cast<std::uint8_t>(version >> 8),  static_cast<std::uint8_t>(version)};
    return std::fwrite(header, 1, sizeof header, file) == sizeof header;
}

namespace {

void PutWords(std::vector<std::uint8_t>& bytes, std::uint16_t word) {
    bytes.push_back(static_cast<std::uint8_t>(word >> 8));
    bytes.push_back(static_cast<std::uint8_t>(word));
}

std::uint16_t ToWord(double channel) {
    const double clamped = channel < 0.0 ? 0.0 : (channel > 1.0 ? 1.0 : channel);
    return static_cast<std::uint16_t>(std::lround(clamped * 65535.0));
}

// Writes the tags of one parameter block, leaving out `omitted`.
class CParameterWriter {
public:
    CParameterWriter(FILE* file, std::uint16_t omitted) : mFile(file), mTags(file), mOmitted(omitted) {}
    bool Ok() const { return mOk; }

    void Text(std::uint16_t id, const char* text) {
        if (Writes(id)) mOk = mTags.WriteString(id, text);
    }
    void Int(std::uint16_t id, std::int32_t value) {
        if (Writes(id)) mOk = mTags.WriteInt(id, value);
    }
    void Bool(std::uint16_t id, bool value) {
        if (Writes(id)) mOk = mTags.WriteBool(id, value);
    }
    void Real(std::uint16_t id, double value) {
        if (Writes(id)) mOk = mTags.WriteDouble(id, value);
    }
    void Color(std::uint16_t firstId, const CColor& color) {
        Real(firstId, color.mRed);
        Real(firstId + 1, color.mGreen);
        Real(firstId + 2, color.mBlue);
        Real(firstId + 3, color.mAlpha);
    }
    void Raw(std::uint16_t id, const std::vector<std::uint8_t>& bytes) {
        if (Writes(id)) mOk = CTag(id, bytes.size(), bytes.data()).WriteTag(mFile);
    }

private:
    bool Writes(std::uint16_t id) const { return mOk && id != mOmitted; }

    FILE* mFile;
    CTaggedFile mTags;
    std::uint16_t mOmitted;
    bool mOk = true;
};

}  // namespace

bool WriteParameters(FILE* file, const CLayoutParameters& p, int version, std::uint16_t omittedTag) {
    CParameterWriter write(file, omittedTag);
    write.Text(400, p.mAuthor);
    if (version <= 5) write.Text(401, "legacy 401");
    write.Text(402, p.mCreationDate);
    write.Text(403, p.mText403);
    write.Text(404, p.mText404);
    write.Text(405, p.mText405);
    write.Text(406, p.mText406);
    write.Text(407, p.mText407);
    if (version <= 5) {
        write.Raw(408, std::vector<std::uint8_t>(std::begin(p.mLegacyRaw408), std::end(p.mLegacyRaw408)));
        write.Int(409, p.mLegacyInt409);
    }
    write.Int(410, p.mDisplayFlags);
    write.Int(411, p.mTrackStyle);
    if (version <= 5) write.Int(412, 0);
    write.Int(413, p.mInt413);
    write.Int(414, p.mInt414);
    write.Int(415, p.mInt415);
    write.Bool(416, p.mShowGrid);
    write.Int(417, p.mZoomPercent);
    write.Int(418, p.mWorkspaceWidth);
    write.Int(419, p.mWorkspaceHeight);
    if (version >= 6) {
        write.Color(431, p.mFirstColor);
    } else {
        std::vector<std::uint8_t> words;
        PutWords(words, ToWord(p.mFirstColor.mRed));
        PutWords(words, ToWord(p.mFirstColor.mGreen));
        PutWords(words, ToWord(p.mFirstColor.mBlue));
        write.Raw(420, words);
    }
    std::vector<std::uint8_t> words421;
    for (std::uint16_t word : p.mParameter421) PutWords(words421, word);
    write.Raw(421, words421);
    write.Int(422, 0);
    VisitLaterLayoutParameters(write, p, version);
    return write.Ok();
}

bool WriteElementCount(FILE* file, std::int32_t count) {
    CTaggedFile tags(file);
    return tags.WriteInt(423, count);
}

bool WriteLayoutFile(FILE* file, const tLayoutFile& content) {
    if (file == nullptr || !WriteHeader(file, "WkSt", static_cast<std::uint32_t>(content.version)) ||
        !WriteParameters(file, content.parameters, content.version)) {
        return false;
    }
    if (content.version >= CLayerManager::kFirstLayerVersion) {
        if (content.layers != nullptr) {
            if (!content.layers->Save(file, content.version)) return false;
        } else if (!CLayerManager("Layer 1").Save(file, content.version)) {
            return false;
        }
    }
    const std::int32_t count = content.elementCount.value_or(static_cast<std::int32_t>(content.elements.size()));
    if (!WriteElementCount(file, count)) return false;
    for (CCompositeGeometry* element : content.elements) {
        if (element == nullptr || !element->Save(file, content.elementRecordVersion)) return false;
    }
    if (!UGroups::WriteSerializedGroups(file, content.groups)) return false;
    if (content.version >= 10 && !UImageElements::SaveImages(content.images, file)) return false;
    if (content.version >= 11 && !UBaseboardElements::WriteBaseboards(content.baseboards, file, content.version)) {
        return false;
    }
    return std::fflush(file) == 0;
}

bool WriteLayoutFile(const std::filesystem::path& path, const tLayoutFile& content) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = WriteLayoutFile(file, content);
    return std::fclose(file) == 0 && written;
}

// ------------------------------------------------------------ track library files

bool WriteTrackLibraryFile(FILE* file, const tTrackLibraryFile& content) {
    if (file == nullptr || !WriteHeader(file, "RSet", static_cast<std::uint32_t>(content.version))) return false;
    {
        CTaggedFile tags(file);
        bool ok =
            tags.WriteInt(100, content.elementCount.value_or(static_cast<std::int32_t>(content.elements.size()))) &&
            tags.WriteInt(101, content.modelScale) && tags.WriteInt(102, content.integer102);
        if (ok && content.version >= 3) ok = tags.WriteBool(116, content.switch116);
        ok = ok && tags.WriteInt(103, content.integer103) && tags.WriteInt(104, content.real104Tenths) &&
             tags.WriteInt(105, content.trackbedWidthTenths) && tags.WriteInt(106, content.railWidthTenths);
        for (int i = 0; ok && i < 9; ++i) ok = tags.WriteString(static_cast<std::uint16_t>(107 + i), content.texts[i]);
        if (!ok) return false;
    }
    for (CCompositeGeometry* element : content.elements) {
        if (element == nullptr || !element->Save(file, content.elementRecordVersion)) return false;
    }
    if (content.version >= 3) {
        CTaggedFile tags(file);
        if (!UTranslationsMap::WriteTranslations(content.translations, tags)) return false;
    }
    return std::fflush(file) == 0;
}

bool WriteTrackLibraryFile(const std::filesystem::path& path, const tTrackLibraryFile& content) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = WriteTrackLibraryFile(file, content);
    return std::fclose(file) == 0 && written;
}

// ------------------------------------------------------------ bytes

namespace {

// Runs `write` over a memory stream and hands back what it wrote.
template <typename Write>
std::vector<std::uint8_t> BytesOf(const Write& write) {
    char* buffer = nullptr;
    std::size_t size = 0;
    FILE* stream = open_memstream(&buffer, &size);
    if (stream == nullptr) return {};
    const bool written = write(stream);
    const bool closed = std::fclose(stream) == 0;
    std::vector<std::uint8_t> bytes;
    if (written && closed && buffer != nullptr) bytes.assign(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

}  // namespace

std::vector<std::uint8_t> LayoutFileBytes(const tLayoutFile& content) {
    return BytesOf([&content](FILE* stream) { return WriteLayoutFile(stream, content); });
}

std::vector<std::uint8_t> TrackLibraryFileBytes(const tTrackLibraryFile& content) {
    return BytesOf([&content](FILE* stream) { return WriteTrackLibraryFile(stream, content); });
}

}  // namespace ULayoutFileWriter
