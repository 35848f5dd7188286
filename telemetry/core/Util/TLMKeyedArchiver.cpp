#include "telemetry/core/Util/TLMKeyedArchiver.h"

#include "platform/foundation/ByteOrder.h"
#include "platform/foundation/TextEncoding.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <set>

namespace {

using Kind = TLMArchiveValue::Kind;

constexpr std::uint8_t kMagic[4] = {'T', 'L', 'M', 'A'};
constexpr std::uint8_t kVersion = 1;

// Far deeper than any record nests (a log, its device, a list of entries),
// and shallow enough that reading can never exhaust the stack.
constexpr int kMaxDepth = 64;

enum Tag : std::uint8_t {
    TagNull = 0x00,
    TagFalse = 0x01,
    TagTrue = 0x02,
    TagInteger = 0x03,
    TagReal = 0x04,
    TagString = 0x05,
    TagData = 0x06,
    TagDate = 0x07,
    TagUuid = 0x08,
    TagArray = 0x09,
    TagDictionary = 0x0A,
    TagObject = 0x0B,
};

constexpr unsigned kindBit(Kind kind) { return 1u << static_cast<unsigned>(kind); }

const char* kindName(Kind kind) {
    switch (kind) {
        case Kind::Null: return "null";
        case Kind::Bool: return "boolean";
        case Kind::Integer: return "integer";
        case Kind::Real: return "real";
        case Kind::String: return "string";
        case Kind::Data: return "data";
        case Kind::Date: return "date";
        case Kind::Uuid: return "UUID";
        case Kind::Array: return "array";
        case Kind::Dictionary: return "dictionary";
        case Kind::Object: return "object";
    }
    return "value";
}

// A name from the bytes as a message may show it: short and printable.
std::string printable(const std::string& text) {
    constexpr std::size_t kShown = 64;
    std::string shown;
    for (std::size_t i = 0; i < text.size() && i < kShown; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        shown.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
    }
    if (text.size() > kShown) shown += "...";
    return shown;
}

std::uint64_t dateNanoseconds(const TLMArchiveValue::Date& date) {
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(date.time_since_epoch());
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(nanoseconds.count()));
}

TLMArchiveValue::Date dateFromNanoseconds(std::uint64_t bits) {
    const std::chrono::nanoseconds nanoseconds(static_cast<std::int64_t>(bits));
    return TLMArchiveValue::Date(std::chrono::duration_cast<TLMArchiveValue::Date::duration>(nanoseconds));
}

}  // namespace

std::string TLMClassName(const std::type_info& type) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(type.name(), nullptr, nullptr, &status),
                                                     std::free);
    return status == 0 && demangled ? std::string(demangled.get()) : std::string(type.name());
}

bool TLMArchiveValue::operator==(const TLMArchiveValue& other) const {
    if (kind() != other.kind()) return false;
    if (const Object* object = asObject()) {
        const Object& otherObject = *other.asObject();
        return *object == otherObject || (*object)->isEqual(*otherObject);
    }
    return mStorage == other.mStorage;
}

// ---- Writing

class TLMArchiveWriter {
public:
    TLMArchiveValue::Data bytes;

    void writeValue(const TLMArchiveValue& value, int depth) {
        switch (value.kind()) {
            case Kind::Null: writeByte(TagNull); return;
            case Kind::Bool: writeByte(*value.asBool() ? TagTrue : TagFalse); return;
            case Kind::Integer:
                writeByte(TagInteger);
                writeU64(static_cast<std::uint64_t>(*value.asInteger()));
                return;
            case Kind::Real: {
                std::uint64_t bits = 0;
                std::memcpy(&bits, value.asReal(), sizeof bits);
                writeByte(TagReal);
                writeU64(bits);
                return;
            }
            case Kind::String:
                writeByte(TagString);
                writeBytes(*value.asString());
                return;
            case Kind::Data:
                writeByte(TagData);
                writeBytes(*value.asData());
                return;
            case Kind::Date:
                writeByte(TagDate);
                writeU64(dateNanoseconds(*value.asDate()));
                return;
            case Kind::Uuid: {
                writeByte(TagUuid);
                const auto& uuid = value.asUuid()->bytes;
                bytes.insert(bytes.end(), uuid.begin(), uuid.end());
                return;
            }
            case Kind::Array: {
                checkDepth(depth);
                const auto& array = *value.asArray();
                writeByte(TagArray);
                writeLength(array.size());
                for (const TLMArchiveValue& element : array) writeValue(element, depth + 1);
                return;
            }
            case Kind::Dictionary: {
                checkDepth(depth);
                const auto& dictionary = *value.asDictionary();
                writeByte(TagDictionary);
                writeLength(dictionary.size());
                for (const auto& [key, element] : dictionary) {
                    writeBytes(key);
                    writeValue(element, depth + 1);
                }
                return;
            }
            case Kind::Object: {
                checkDepth(depth);
                const TLMCoding& object = **value.asObject();
                writeByte(TagObject);
                writeBytes(object.className());
                const std::size_t countAt = bytes.size();
                writeU32(0);
                TLMKeyedArchiver coder(*this, depth + 1);
                object.encodeWithCoder(coder);
                platform::storeBigEndian32(bytes.data() + countAt, static_cast<std::uint32_t>(coder.mKeys.size()));
                return;
            }
        }
    }

    void writeByte(std::uint8_t byte) { bytes.push_back(byte); }

    void writeU32(std::uint32_t value) {
        std::uint8_t word[4];
        platform::storeBigEndian32(word, value);
        bytes.insert(bytes.end(), word, word + 4);
    }

    void writeU64(std::uint64_t value) {
        writeU32(static_cast<std::uint32_t>(value >> 32));
        writeU32(static_cast<std::uint32_t>(value));
    }

    void writeLength(std::size_t length) {
        if (length > std::numeric_limits<std::uint32_t>::max()) {
            throw TLMArchiveError("a value is larger than an archive can hold");
        }
        writeU32(static_cast<std::uint32_t>(length));
    }

    template <typename Bytes>
    void writeBytes(const Bytes& value) {
        writeLength(value.size());
        const auto* first = reinterpret_cast<const std::uint8_t*>(value.data());
        bytes.insert(bytes.end(), first, first + value.size());
    }

private:
    static void checkDepth(int depth) {
        if (depth >= kMaxDepth) throw TLMArchiveError("values nest deeper than an archive may");
    }
};

std::optional<TLMArchiveValue::Data> TLMKeyedArchiver::archivedData(const TLMArchiveValue& root, std::string* error) {
    if (root.isNull()) {
        if (error) *error = "there is no object to archive";
        return std::nullopt;
    }
    try {
        TLMArchiveWriter writer;
        writer.bytes.assign(std::begin(kMagic), std::end(kMagic));
        writer.writeByte(kVersion);
        writer.writeValue(root, 0);
        return std::move(writer.bytes);
    } catch (const std::exception& failure) {
        if (error) *error = failure.what();
        return std::nullopt;
    }
}

void TLMKeyedArchiver::encodeObject(const TLMArchiveValue& value, const std::string& key) {
    if (value.isNull()) return;
    if (std::find(mKeys.begin(), mKeys.end(), key) != mKeys.end()) {
        throw TLMArchiveError("the key \"" + key + "\" is written twice");
    }
    mWriter.writeBytes(key);
    mWriter.writeValue(value, mDepth);
    mKeys.push_back(key);
}

void TLMKeyedArchiver::encodeString(const std::string& value, const std::string& key) {
    if (!value.empty()) encodeObject(TLMArchiveValue(value), key);
}

void TLMKeyedArchiver::encodeDate(const std::optional<TLMArchiveValue::Date>& value, const std::string& key) {
    if (value) encodeObject(TLMArchiveValue(*value), key);
}

void TLMKeyedArchiver::encodeBool(bool value, const std::string& key) { encodeObject(TLMArchiveValue(value), key); }

void TLMKeyedArchiver::encodeInteger(std::int64_t value, const std::string& key) {
    encodeObject(TLMArchiveValue(value), key);
}

void TLMKeyedArchiver::encodeDouble(double value, const std::string& key) { encodeObject(TLMArchiveValue(value), key); }

void TLMKeyedArchiver::encodeStringArray(const std::optional<std::vector<std::string>>& value, const std::string& key) {
    if (!value) return;
    TLMArchiveValue::Array array(value->begin(), value->end());
    encodeObject(TLMArchiveValue(std::move(array)), key);
}

void TLMKeyedArchiver::encodeStringDictionary(const std::map<std::string, std::string>& value, const std::string& key) {
    if (!value.empty()) encodeOptionalStringDictionary(value, key);
}

void TLMKeyedArchiver::encodeOptionalString(const std::optional<std::string>& value, const std::string& key) {
    if (value) encodeObject(TLMArchiveValue(*value), key);
}

void TLMKeyedArchiver::encodeOptionalInteger(const std::optional<std::int64_t>& value, const std::string& key) {
    if (value) encodeInteger(*value, key);
}

void TLMKeyedArchiver::encodeOptionalStringDictionary(const std::optional<std::map<std::string, std::string>>& value,
                                                      const std::string& key) {
    if (!value) return;
    TLMArchiveValue::Dictionary dictionary;
    for (const auto& [name, text] : *value) dictionary.emplace(name, text);
    encodeObject(TLMArchiveValue(std::move(dictionary)), key);
}

void TLMKeyedArchiver::encodeData(const std::optional<TLMArchiveValue::Data>& value, const std::string& key) {
    if (value) encodeObject(TLMArchiveValue(*value), key);
}

void TLMKeyedArchiver::encodeUuid(const std::optional<TLMArchiveValue::Uuid>& value, const std::string& key) {
    if (value) encodeObject(TLMArchiveValue(*value), key);
}

namespace {

TLMArchiveValue archiveValueOfJson(const TLMJsonValue& value);

TLMArchiveValue::Dictionary archiveDictionaryOfJson(const TLMOrderedDictionary& dictionary) {
    TLMArchiveValue::Dictionary entries;
    for (const auto& [name, element] : dictionary.dictionary()) entries.emplace(name, archiveValueOfJson(element));
    return entries;
}

TLMArchiveValue archiveValueOfJson(const TLMJsonValue& value) {
    switch (value.kind()) {
        case TLMJsonValue::Kind::Null: return TLMArchiveValue();
        case TLMJsonValue::Kind::Bool: return *value.asBool();
        case TLMJsonValue::Kind::Integer: return *value.asInteger();
        // The archive's numbers are signed: one beyond them keeps its bits.
        case TLMJsonValue::Kind::Unsigned: return static_cast<std::int64_t>(*value.asUnsigned());
        case TLMJsonValue::Kind::Real: return *value.asReal();
        case TLMJsonValue::Kind::String: return *value.asString();
        case TLMJsonValue::Kind::Array: {
            TLMArchiveValue::Array array;
            array.reserve(value.asArray()->size());
            for (const TLMJsonValue& element : *value.asArray()) array.push_back(archiveValueOfJson(element));
            return array;
        }
        case TLMJsonValue::Kind::Dictionary: return archiveDictionaryOfJson(*value.asDictionary());
    }
    return TLMArchiveValue();
}

// None for a kind JSON does not have.
std::optional<TLMJsonValue> jsonOfArchiveValue(const TLMArchiveValue& value);

std::optional<TLMOrderedDictionary> jsonDictionaryOfArchive(const TLMArchiveValue::Dictionary& entries) {
    TLMOrderedDictionary dictionary(entries.size());
    for (const auto& [name, element] : entries) {
        std::optional<TLMJsonValue> json = jsonOfArchiveValue(element);
        if (!json) return std::nullopt;
        dictionary.setObject(std::move(*json), name);
    }
    return dictionary;
}

std::optional<TLMJsonValue> jsonOfArchiveValue(const TLMArchiveValue& value) {
    using Kind = TLMArchiveValue::Kind;
    switch (value.kind()) {
        case Kind::Null: return TLMJsonValue();
        case Kind::Bool: return TLMJsonValue(*value.asBool());
        case Kind::Integer: return TLMJsonValue(*value.asInteger());
        case Kind::Real: return TLMJsonValue(*value.asReal());
        case Kind::String: return TLMJsonValue(*value.asString());
        case Kind::Array: {
            TLMJsonValue::Array array;
            array.reserve(value.asArray()->size());
            for (const TLMArchiveValue& element : *value.asArray()) {
                std::optional<TLMJsonValue> json = jsonOfArchiveValue(element);
                if (!json) return std::nullopt;
                array.push_back(std::move(*json));
            }
            return TLMJsonValue(std::move(array));
        }
        case Kind::Dictionary: {
            std::optional<TLMOrderedDictionary> dictionary = jsonDictionaryOfArchive(*value.asDictionary());
            if (!dictionary) return std::nullopt;
            return TLMJsonValue(std::move(*dictionary));
        }
        default: return std::nullopt;
    }
}

}  // namespace

void TLMKeyedArchiver::encodeJsonDictionary(const TLMOrderedDictionary& value, const std::string& key) {
    if (value.count() != 0) encodeObject(TLMArchiveValue(archiveDictionaryOfJson(value)), key);
}

// ---- Reading

class TLMArchiveReader {
public:
    TLMArchiveReader(const std::uint8_t* data, std::size_t size, const TLMAllowedClasses& allowedClasses,
                     TLMKeyedUnarchiver::Texts texts)
        : mNext(data), mLeft(size), mAllowed(allowedClasses), mMendTexts(texts == TLMKeyedUnarchiver::Texts::Mended) {}

    TLMArchiveValue readArchive() {
        if (mLeft == 0) throw TLMArchiveError("the archive is empty");
        need(sizeof kMagic + 1, "its header");
        if (std::memcmp(mNext, kMagic, sizeof kMagic) != 0) throw TLMArchiveError("the bytes are no archive");
        mNext += sizeof kMagic;
        mLeft -= sizeof kMagic;
        const std::uint8_t version = readByte("its header");
        if (version != kVersion) {
            throw TLMArchiveError("the archive has version " + std::to_string(version) + ", not " +
                                  std::to_string(kVersion));
        }
        TLMArchiveValue root = readValue(0);
        if (mLeft != 0) throw TLMArchiveError("bytes follow the archive's value");
        return root;
    }

private:
    void need(std::size_t count, const char* what) {
        if (count > mLeft) throw TLMArchiveError(std::string("the archive ends inside ") + what);
    }

    std::uint8_t readByte(const char* what) {
        need(1, what);
        --mLeft;
        return *mNext++;
    }

    std::uint32_t readU32(const char* what) {
        need(4, what);
        const std::uint32_t value = platform::loadBigEndian32(mNext);
        mNext += 4;
        mLeft -= 4;
        return value;
    }

    std::uint64_t readU64(const char* what) {
        const std::uint64_t high = readU32(what);
        return (high << 32) | readU32(what);
    }

    std::string readText(const char* what) {
        const std::uint32_t length = readU32(what);
        need(length, what);
        std::string text(reinterpret_cast<const char*>(mNext), length);
        mNext += length;
        mLeft -= length;
        return text;
    }

    // A count of entries that each take at least `entrySize` bytes, checked
    // against the bytes left before anything is made for them.
    std::uint32_t readCount(std::size_t entrySize, const char* what) {
        const std::uint32_t count = readU32(what);
        if (count > mLeft / entrySize)
            throw TLMArchiveError(std::string("a count larger than the archive holds in ") + what);
        return count;
    }

    void allowKind(Kind kind) {
        if (!mAllowed.allowsKind(kind)) throw TLMArchiveError(std::string(kindName(kind)) + " values are not allowed");
    }

    static void checkDepth(int depth) {
        if (depth >= kMaxDepth) throw TLMArchiveError("values nest deeper than an archive may");
    }

    // As the app shows a text that is not UTF-8: each invalid sequence
    // becomes one "*".
    static std::string mended(std::string_view text) { return platform::repairUtf8(text, U'*'); }

    // A text value, mended when asked to.
    std::string readString(const char* what) {
        std::string text = readText(what);
        if (mMendTexts && !platform::isValidUtf8(text)) return mended(text);
        return text;
    }

    // `textKeys`: a dictionary's keys, which are texts; an object's are the
    // names of its fields.
    TLMKeyedUnarchiver::Fields readEntries(int depth, const char* what, bool textKeys) {
        // Each entry takes a key length and a value's tag at least.
        const std::uint32_t count = readCount(5, what);
        TLMKeyedUnarchiver::Fields entries;
        std::set<std::string> mendedKeys;
        for (std::uint32_t i = 0; i < count; ++i) {
            std::string key = readText(what);
            const bool mended = textKeys && mMendTexts && !platform::isValidUtf8(key);
            if (mended) key = TLMArchiveReader::mended(key);
            TLMArchiveValue value = readValue(depth);
            if (mended) mendedKeys.insert(key);
            if (!entries.emplace(key, std::move(value)).second && mendedKeys.count(key) == 0) {
                throw TLMArchiveError(std::string("a key appears twice in ") + what);
            }
        }
        return entries;
    }

    TLMArchiveValue readValue(int depth) {
        const std::uint8_t tag = readByte("a value");
        switch (tag) {
            case TagNull: allowKind(Kind::Null); return TLMArchiveValue();
            case TagFalse:
            case TagTrue: allowKind(Kind::Bool); return TLMArchiveValue(tag == TagTrue);
            case TagInteger:
                allowKind(Kind::Integer);
                return TLMArchiveValue(static_cast<std::int64_t>(readU64("an integer")));
            case TagReal: {
                allowKind(Kind::Real);
                const std::uint64_t bits = readU64("a real");
                double value = 0;
                std::memcpy(&value, &bits, sizeof value);
                return TLMArchiveValue(value);
            }
            case TagString: allowKind(Kind::String); return TLMArchiveValue(readString("a string"));
            case TagData: {
                allowKind(Kind::Data);
                const std::string bytes = readText("a data value");
                return TLMArchiveValue(TLMArchiveValue::Data(bytes.begin(), bytes.end()));
            }
            case TagDate: allowKind(Kind::Date); return TLMArchiveValue(dateFromNanoseconds(readU64("a date")));
            case TagUuid: {
                allowKind(Kind::Uuid);
                need(16, "a UUID");
                TLMArchiveValue::Uuid uuid;
                std::memcpy(uuid.bytes.data(), mNext, 16);
                mNext += 16;
                mLeft -= 16;
                return TLMArchiveValue(uuid);
            }
            case TagArray: {
                allowKind(Kind::Array);
                checkDepth(depth);
                const std::uint32_t count = readCount(1, "an array");
                TLMArchiveValue::Array array;
                array.reserve(count);
                for (std::uint32_t i = 0; i < count; ++i) array.push_back(readValue(depth + 1));
                return TLMArchiveValue(std::move(array));
            }
            case TagDictionary:
                allowKind(Kind::Dictionary);
                checkDepth(depth);
                return TLMArchiveValue(readEntries(depth + 1, "a dictionary", true));
            case TagObject: return readObject(depth);
            default: throw TLMArchiveError("unknown value tag " + std::to_string(tag));
        }
    }

    TLMArchiveValue readObject(int depth) {
        checkDepth(depth);
        std::string name = readText("a class name");
        const TLMArchiveClass* archiveClass = mAllowed.classNamed(name);
        if (archiveClass == nullptr) throw TLMArchiveError("class \"" + printable(name) + "\" is not allowed");
        if (!archiveClass->factory()) throw TLMArchiveError("class \"" + printable(name) + "\" cannot be restored");
        TLMKeyedUnarchiver coder(std::move(name), readEntries(depth + 1, "an object", false));
        std::shared_ptr<TLMCoding> object = archiveClass->factory()(coder);
        if (!object) throw TLMArchiveError("class \"" + printable(coder.className()) + "\" made no object");
        return TLMArchiveValue(std::move(object));
    }

    const std::uint8_t* mNext;
    std::size_t mLeft;
    const TLMAllowedClasses& mAllowed;
    const bool mMendTexts;
};

std::optional<TLMArchiveValue> TLMKeyedUnarchiver::unarchivedValue(const std::uint8_t* data, std::size_t size,
                                                                   const TLMAllowedClasses& allowedClasses,
                                                                   std::string* error, Texts texts) {
    try {
        TLMArchiveReader reader(data, size, allowedClasses, texts);
        return reader.readArchive();
    } catch (const std::exception& failure) {
        if (error) *error = failure.what();
        return std::nullopt;
    }
}

bool TLMKeyedUnarchiver::containsValueForKey(const std::string& key) const { return mFields.count(key) != 0; }

const TLMArchiveValue* TLMKeyedUnarchiver::decodeObject(const std::string& key) const {
    const auto found = mFields.find(key);
    return found == mFields.end() ? nullptr : &found->second;
}

const TLMArchiveValue* TLMKeyedUnarchiver::presentField(const std::string& key) const {
    const TLMArchiveValue* value = decodeObject(key);
    return value == nullptr || value->isNull() ? nullptr : value;
}

void TLMKeyedUnarchiver::throwWrongKind(const std::string& key, const std::string& expected) const {
    throw TLMArchiveError(printable(mClassName) + ": \"" + printable(key) + "\" is not " + expected);
}

const TLMArchiveValue::Object* TLMKeyedUnarchiver::objectField(const std::string& key) const {
    const TLMArchiveValue* value = presentField(key);
    if (value == nullptr) return nullptr;
    if (const TLMArchiveValue::Object* object = value->asObject()) return object;
    throwWrongKind(key, "an object");
}

template <typename T>
std::optional<T> TLMKeyedUnarchiver::typedField(const std::string& key, const T* (TLMArchiveValue::*read)() const,
                                                const char* expected) const {
    const TLMArchiveValue* value = presentField(key);
    if (value == nullptr) return std::nullopt;
    if (const T* typed = (value->*read)()) return *typed;
    throwWrongKind(key, expected);
}

std::string TLMKeyedUnarchiver::decodeString(const std::string& key) const {
    return decodeOptionalString(key).value_or(std::string());
}

std::optional<std::string> TLMKeyedUnarchiver::decodeOptionalString(const std::string& key) const {
    return typedField(key, &TLMArchiveValue::asString, "a string");
}

std::optional<TLMArchiveValue::Data> TLMKeyedUnarchiver::decodeData(const std::string& key) const {
    return typedField(key, &TLMArchiveValue::asData, "data");
}

std::optional<TLMArchiveValue::Date> TLMKeyedUnarchiver::decodeDate(const std::string& key) const {
    return typedField(key, &TLMArchiveValue::asDate, "a date");
}

std::optional<bool> TLMKeyedUnarchiver::decodeBool(const std::string& key) const {
    return typedField(key, &TLMArchiveValue::asBool, "a boolean");
}

std::optional<std::int64_t> TLMKeyedUnarchiver::decodeInteger(const std::string& key) const {
    return typedField(key, &TLMArchiveValue::asInteger, "an integer");
}

std::optional<double> TLMKeyedUnarchiver::decodeDouble(const std::string& key) const {
    const TLMArchiveValue* value = presentField(key);
    if (value == nullptr) return std::nullopt;
    if (const double* real = value->asReal()) return *real;
    if (const std::int64_t* number = value->asInteger()) return static_cast<double>(*number);
    throwWrongKind(key, "a number");
}

std::optional<std::vector<std::string>> TLMKeyedUnarchiver::decodeStringArray(const std::string& key) const {
    const TLMArchiveValue* value = presentField(key);
    if (value == nullptr) return std::nullopt;
    const TLMArchiveValue::Array* array = value->asArray();
    if (array == nullptr) throwWrongKind(key, "an array of strings");
    std::vector<std::string> texts;
    texts.reserve(array->size());
    for (const TLMArchiveValue& element : *array) {
        if (element.asString() == nullptr) throwWrongKind(key, "an array of strings");
        texts.push_back(*element.asString());
    }
    return texts;
}

std::map<std::string, std::string> TLMKeyedUnarchiver::decodeStringDictionary(const std::string& key) const {
    return decodeOptionalStringDictionary(key).value_or(std::map<std::string, std::string>());
}

std::optional<std::map<std::string, std::string>> TLMKeyedUnarchiver::decodeOptionalStringDictionary(
    const std::string& key) const {
    const TLMArchiveValue* value = presentField(key);
    if (value == nullptr) return std::nullopt;
    const TLMArchiveValue::Dictionary* dictionary = value->asDictionary();
    if (dictionary == nullptr) throwWrongKind(key, "a dictionary of strings");
    std::map<std::string, std::string> texts;
    for (const auto& [name, element] : *dictionary) {
        if (element.asString() == nullptr) throwWrongKind(key, "a dictionary of strings");
        texts.emplace(name, *element.asString());
    }
    return texts;
}

std::optional<TLMArchiveValue::Uuid> TLMKeyedUnarchiver::decodeUuid(const std::string& key) const {
    return typedField(key, &TLMArchiveValue::asUuid, "a UUID");
}

TLMOrderedDictionary TLMKeyedUnarchiver::decodeJsonDictionary(const std::string& key) const {
    const TLMArchiveValue* value = presentField(key);
    if (value == nullptr) return {};
    const TLMArchiveValue::Dictionary* entries = value->asDictionary();
    std::optional<TLMOrderedDictionary> dictionary = entries ? jsonDictionaryOfArchive(*entries) : std::nullopt;
    if (!dictionary) throwWrongKind(key, "a dictionary of JSON values");
    return std::move(*dictionary);
}

// ---- Allowed classes

TLMArchiveClass TLMArchiveClass::null() { return TLMArchiveClass({}, {}, kindBit(Kind::Null)); }
TLMArchiveClass TLMArchiveClass::number() {
    return TLMArchiveClass({}, {}, kindBit(Kind::Bool) | kindBit(Kind::Integer) | kindBit(Kind::Real));
}
TLMArchiveClass TLMArchiveClass::string() { return TLMArchiveClass({}, {}, kindBit(Kind::String)); }
TLMArchiveClass TLMArchiveClass::data() { return TLMArchiveClass({}, {}, kindBit(Kind::Data)); }
TLMArchiveClass TLMArchiveClass::date() { return TLMArchiveClass({}, {}, kindBit(Kind::Date)); }
TLMArchiveClass TLMArchiveClass::uuid() { return TLMArchiveClass({}, {}, kindBit(Kind::Uuid)); }
TLMArchiveClass TLMArchiveClass::array() { return TLMArchiveClass({}, {}, kindBit(Kind::Array)); }
TLMArchiveClass TLMArchiveClass::dictionary() { return TLMArchiveClass({}, {}, kindBit(Kind::Dictionary)); }

void TLMAllowedClasses::add(const std::vector<TLMArchiveClass>& classes) {
    for (const TLMArchiveClass& archiveClass : classes) {
        mKinds |= archiveClass.kinds();
        if (!archiveClass.name().empty()) mClasses.insert_or_assign(archiveClass.name(), archiveClass);
    }
}

bool TLMAllowedClasses::allowsKind(TLMArchiveValue::Kind kind) const { return (mKinds & kindBit(kind)) != 0; }

const TLMArchiveClass* TLMAllowedClasses::classNamed(const std::string& name) const {
    const auto found = mClasses.find(name);
    return found == mClasses.end() ? nullptr : &found->second;
}
