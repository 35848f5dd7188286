#include "engine/fileformat/FileHeader.h"

#include <cstring>

#include "engine/fileformat/StreamRead.h"
#include "platform/foundation/ByteOrder.h"

tFileHeader ReadFileHeader(FILE* file, const tFileFormat& format) {
    std::uint8_t bytes[kFileHeaderSize] = {};
    if (ReadFromStream(file, bytes, sizeof bytes) != sizeof bytes) return {tFileHeaderStatus::Unreadable, 0};
    if (std::memcmp(bytes, format.magic, sizeof format.magic) != 0) return {tFileHeaderStatus::WrongMagic, 0};
    const std::uint32_t version = platform::loadBigEndian32(bytes + sizeof format.magic);
    if (version < format.oldestVersion) return {tFileHeaderStatus::TooOld, version};
    if (version > format.newestVersion) return {tFileHeaderStatus::TooNew, version};
    return {tFileHeaderStatus::Ok, version};
}

bool WriteFileHeader(FILE* file, const char (&magic)[4], std::uint32_t version) {
    if (file == nullptr) return false;
    std::uint8_t bytes[kFileHeaderSize];
    std::memcpy(bytes, magic, sizeof magic);
    platform::storeBigEndian32(bytes + sizeof magic, version);
    return std::fwrite(bytes, 1, sizeof bytes, file) == sizeof bytes;
}
