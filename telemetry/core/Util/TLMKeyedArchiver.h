#pragma once
// The telemetry client's keyed archive: how logs and the records inside them
// are kept in the log database and in the settings. An object writes its
// fields under keys (encodeWithCoder) and is made again from them by a
// constructor that takes a TLMKeyedUnarchiver. Reading restores only the
// value kinds and classes it is allowed to, and checks every length, count
// and nesting level against the bytes, so damaged or hostile bytes give an
// error and never a half-made object.
//
// The bytes (numbers big-endian):
//   "TLMA", version 1, then one value and nothing after it.
//   A value is a tag byte and its payload:
//     0x00 null, 0x01 false, 0x02 true
//     0x03 integer   8 bytes, two's complement
//     0x04 real      8 bytes, IEEE 754 binary64
//     0x05 string    u32 length, the bytes
//     0x06 data      u32 length, the bytes
//     0x07 date      8 bytes, signed nanoseconds since 1970-01-01 UTC
//     0x08 UUID      16 bytes
//     0x09 array     u32 count, the values
//     0x0A dictionary  u32 count, then per entry: u32 key length, key, value
//     0x0B object    u32 class name length, class name, then its fields as
//                    a dictionary's entries (u32 count, key, value...)
//   Keys are unique within a dictionary or an object.

#include "telemetry/core/Util/TLMOrderedDictionary.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <variant>
#include <vector>

class TLMCoding;
class TLMKeyedArchiver;
class TLMKeyedUnarchiver;
class TLMArchiveWriter;
class TLMArchiveReader;
class TLMAllowedClasses;

// The name of a class as archives and messages give it ("TLMDevice").
std::string TLMClassName(const std::type_info& type);

// One value of an archive: the kinds JSON has, plus data, dates, UUIDs and
// archived objects.
class TLMArchiveValue {
public:
    using Array = std::vector<TLMArchiveValue>;
    using Dictionary = std::map<std::string, TLMArchiveValue>;
    using Data = std::vector<std::uint8_t>;
    using Date = std::chrono::system_clock::time_point;
    struct Uuid {
        std::array<std::uint8_t, 16> bytes{};
        bool operator==(const Uuid&) const = default;
    };
    using Object = std::shared_ptr<TLMCoding>;

    enum class Kind { Null, Bool, Integer, Real, String, Data, Date, Uuid, Array, Dictionary, Object };

    TLMArchiveValue() = default;
    TLMArchiveValue(std::nullptr_t) {}
    TLMArchiveValue(bool value) : mStorage(value) {}
    TLMArchiveValue(int value) : mStorage(static_cast<std::int64_t>(value)) {}
    TLMArchiveValue(std::int64_t value) : mStorage(value) {}
    TLMArchiveValue(double value) : mStorage(value) {}
    TLMArchiveValue(const char* value) : mStorage(std::string(value)) {}
    TLMArchiveValue(std::string value) : mStorage(std::move(value)) {}
    TLMArchiveValue(Data value) : mStorage(std::move(value)) {}
    TLMArchiveValue(Date value) : mStorage(value) {}
    TLMArchiveValue(Uuid value) : mStorage(value) {}
    TLMArchiveValue(Array value) : mStorage(std::move(value)) {}
    TLMArchiveValue(Dictionary value) : mStorage(std::move(value)) {}
    // A null pointer is the null value.
    template <typename T, typename = std::enable_if_t<std::is_base_of_v<TLMCoding, T>>>
    TLMArchiveValue(std::shared_ptr<T> object) {
        if (object) mStorage = Object(std::move(object));
    }

    Kind kind() const { return static_cast<Kind>(mStorage.index()); }
    bool isNull() const { return kind() == Kind::Null; }

    // Typed access; nullptr when the value is of another kind.
    const bool* asBool() const { return std::get_if<bool>(&mStorage); }
    const std::int64_t* asInteger() const { return std::get_if<std::int64_t>(&mStorage); }
    const double* asReal() const { return std::get_if<double>(&mStorage); }
    const std::string* asString() const { return std::get_if<std::string>(&mStorage); }
    const Data* asData() const { return std::get_if<Data>(&mStorage); }
    const Date* asDate() const { return std::get_if<Date>(&mStorage); }
    const Uuid* asUuid() const { return std::get_if<Uuid>(&mStorage); }
    const Array* asArray() const { return std::get_if<Array>(&mStorage); }
    const Dictionary* asDictionary() const { return std::get_if<Dictionary>(&mStorage); }
    const Object* asObject() const { return std::get_if<Object>(&mStorage); }

    // Same kind and contents; objects compare by their isEqual.
    bool operator==(const TLMArchiveValue& other) const;

private:
    std::variant<std::monostate, bool, std::int64_t, double, std::string, Data, Date, Uuid, Array, Dictionary, Object>
        mStorage;
};

// What an archive cannot be made from or read into; the message says why.
class TLMArchiveError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An object that can be archived. A class that is restored from archives
// also has a public constructor taking `const TLMKeyedUnarchiver&`.
class TLMCoding {
public:
    virtual ~TLMCoding() = default;

    // Writes the object's fields under their keys.
    virtual void encodeWithCoder(TLMKeyedArchiver& coder) const = 0;

    // Field-by-field equality where a class defines it; identity otherwise.
    virtual bool isEqual(const TLMCoding& other) const { return this == &other; }

    // The object's class name: it names the class in archives.
    std::string className() const { return TLMClassName(typeid(*this)); }

protected:
    TLMCoding() = default;
    TLMCoding(const TLMCoding&) = default;
    TLMCoding& operator=(const TLMCoding&) = default;
};

// Writes one object's fields. An empty text, an empty dictionary of texts,
// a missing date or list and a null value are absent fields: nothing is
// written for them, and they read back as absent.
class TLMKeyedArchiver {
public:
    // The archive of `root`. None, with the reason in `error`, for a null
    // root, an object that writes a key twice, or objects nested deeper than
    // the reader accepts.
    static std::optional<TLMArchiveValue::Data> archivedData(const TLMArchiveValue& root, std::string* error = nullptr);

    void encodeObject(const TLMArchiveValue& value, const std::string& key);
    void encodeString(const std::string& value, const std::string& key);
    void encodeDate(const std::optional<TLMArchiveValue::Date>& value, const std::string& key);
    void encodeBool(bool value, const std::string& key);
    void encodeInteger(std::int64_t value, const std::string& key);
    void encodeDouble(double value, const std::string& key);
    void encodeStringArray(const std::optional<std::vector<std::string>>& value, const std::string& key);
    void encodeStringDictionary(const std::map<std::string, std::string>& value, const std::string& key);
    // For records where an empty value is a value: written unless absent.
    void encodeOptionalString(const std::optional<std::string>& value, const std::string& key);
    void encodeOptionalInteger(const std::optional<std::int64_t>& value, const std::string& key);
    void encodeOptionalStringDictionary(const std::optional<std::map<std::string, std::string>>& value,
                                        const std::string& key);
    void encodeData(const std::optional<TLMArchiveValue::Data>& value, const std::string& key);
    // The objects in order; an empty list is written, an absent one not.
    template <typename T>
    void encodeObjectArray(const std::optional<std::vector<std::shared_ptr<T>>>& value, const std::string& key) {
        if (!value) return;
        encodeObject(TLMArchiveValue(TLMArchiveValue::Array(value->begin(), value->end())), key);
    }
    void encodeUuid(const std::optional<TLMArchiveValue::Uuid>& value, const std::string& key);
    // A tree of JSON values as a dictionary of the archive: its key order is
    // not kept, so it reads back with its keys sorted.
    void encodeJsonDictionary(const TLMOrderedDictionary& value, const std::string& key);

    TLMKeyedArchiver(const TLMKeyedArchiver&) = delete;
    TLMKeyedArchiver& operator=(const TLMKeyedArchiver&) = delete;

private:
    friend class TLMArchiveWriter;
    TLMKeyedArchiver(TLMArchiveWriter& writer, int depth) : mWriter(writer), mDepth(depth) {}

    TLMArchiveWriter& mWriter;
    const int mDepth;
    std::vector<std::string> mKeys;  // written so far, to refuse a second write of one key
};

// The fields of one object being restored. A field of another kind than the
// one asked for makes the whole archive unreadable (TLMArchiveError), as a
// forged field must not pass for a missing one; an absent or null field
// reads as absent.
class TLMKeyedUnarchiver {
public:
    using Fields = std::map<std::string, TLMArchiveValue>;

    const std::string& className() const { return mClassName; }
    bool containsValueForKey(const std::string& key) const;

    // The field's value, or nullptr when absent.
    const TLMArchiveValue* decodeObject(const std::string& key) const;
    // The object under the key, which must be a T; null when absent.
    template <typename T>
    std::shared_ptr<T> decodeObjectOfClass(const std::string& key) const {
        const TLMArchiveValue::Object* object = objectField(key);
        if (object == nullptr) return nullptr;
        auto typed = std::dynamic_pointer_cast<T>(*object);
        if (!typed) throwWrongKind(key, "a " + TLMClassName(typeid(T)));
        return typed;
    }
    // Empty when absent.
    std::string decodeString(const std::string& key) const;
    std::optional<TLMArchiveValue::Date> decodeDate(const std::string& key) const;
    std::optional<bool> decodeBool(const std::string& key) const;
    std::optional<std::int64_t> decodeInteger(const std::string& key) const;
    // A real, or an integer as a real.
    std::optional<double> decodeDouble(const std::string& key) const;
    std::optional<std::vector<std::string>> decodeStringArray(const std::string& key) const;
    // Empty when absent.
    std::map<std::string, std::string> decodeStringDictionary(const std::string& key) const;
    // None when absent, so an empty value reads back as empty.
    std::optional<std::string> decodeOptionalString(const std::string& key) const;
    std::optional<std::map<std::string, std::string>> decodeOptionalStringDictionary(const std::string& key) const;
    std::optional<TLMArchiveValue::Data> decodeData(const std::string& key) const;
    // A list of objects that must all be T (no null among them).
    template <typename T>
    std::optional<std::vector<std::shared_ptr<T>>> decodeArrayOfObjectsOfClass(const std::string& key) const {
        const TLMArchiveValue* value = presentField(key);
        if (value == nullptr) return std::nullopt;
        const TLMArchiveValue::Array* array = value->asArray();
        const std::string expected = "an array of " + TLMClassName(typeid(T));
        if (array == nullptr) throwWrongKind(key, expected);
        std::vector<std::shared_ptr<T>> objects;
        objects.reserve(array->size());
        for (const TLMArchiveValue& element : *array) {
            const TLMArchiveValue::Object* object = element.asObject();
            auto typed = object ? std::dynamic_pointer_cast<T>(*object) : nullptr;
            if (!typed) throwWrongKind(key, expected);
            objects.push_back(std::move(typed));
        }
        return objects;
    }
    std::optional<TLMArchiveValue::Uuid> decodeUuid(const std::string& key) const;
    // A tree of JSON's kinds, keys sorted; empty when absent. A date, data,
    // UUID or object anywhere in it fails the archive.
    TLMOrderedDictionary decodeJsonDictionary(const std::string& key) const;

    // How reading takes texts (strings and dictionary keys) that are not
    // UTF-8: as they are, so that an archive reads back byte for byte, or
    // mended (each invalid sequence becomes "*", as the app shows such text)
    // before any object is made of them, where what is read must be sent.
    // When mending makes two keys of a dictionary one, the first stays.
    enum class Texts { AsStored, Mended };

    // Reads an archive, restoring only what `allowedClasses` allows. None,
    // with the reason in `error`, for bytes that are no whole archive.
    static std::optional<TLMArchiveValue> unarchivedValue(const std::uint8_t* data, std::size_t size,
                                                          const TLMAllowedClasses& allowedClasses,
                                                          std::string* error = nullptr, Texts texts = Texts::AsStored);

private:
    friend class TLMArchiveReader;
    TLMKeyedUnarchiver(std::string className, Fields fields)
        : mClassName(std::move(className)), mFields(std::move(fields)) {}

    // The field unless absent or null.
    const TLMArchiveValue* presentField(const std::string& key) const;
    const TLMArchiveValue::Object* objectField(const std::string& key) const;
    // The field read as a T; none when absent, an error when of another kind.
    template <typename T>
    std::optional<T> typedField(const std::string& key, const T* (TLMArchiveValue::*read)() const,
                                const char* expected) const;
    [[noreturn]] void throwWrongKind(const std::string& key, const std::string& expected) const;

    std::string mClassName;
    Fields mFields;
};

// A class or value kind that archives may hold.
class TLMArchiveClass {
public:
    using Factory = std::function<std::shared_ptr<TLMCoding>(const TLMKeyedUnarchiver&)>;

    // A model class, restored through its constructor from an unarchiver. A
    // class without one (an abstract base) is allowed by name but never
    // restored itself.
    template <typename T>
    static TLMArchiveClass of() {
        static_assert(std::is_base_of_v<TLMCoding, T>);
        Factory factory;
        if constexpr (std::is_constructible_v<T, const TLMKeyedUnarchiver&>) {
            factory = [](const TLMKeyedUnarchiver& coder) { return std::make_shared<T>(coder); };
        }
        return TLMArchiveClass(TLMClassName(typeid(T)), std::move(factory), 0);
    }

    // The value kinds. Numbers are booleans, integers and reals alike; an
    // array is a mutable array too.
    static TLMArchiveClass null();
    static TLMArchiveClass number();
    static TLMArchiveClass string();
    static TLMArchiveClass data();
    static TLMArchiveClass date();
    static TLMArchiveClass uuid();
    static TLMArchiveClass array();
    static TLMArchiveClass dictionary();

    // The class name; empty for a value kind.
    const std::string& name() const { return mName; }
    const Factory& factory() const { return mFactory; }
    unsigned kinds() const { return mKinds; }

private:
    TLMArchiveClass(std::string name, Factory factory, unsigned kinds)
        : mName(std::move(name)), mFactory(std::move(factory)), mKinds(kinds) {}

    std::string mName;
    Factory mFactory;
    unsigned mKinds;  // bits by TLMArchiveValue::Kind
};

// The classes and kinds that reading restores. Not synchronised: the
// process-wide list (TLMUtility::addAllowedClasses) guards its own.
class TLMAllowedClasses {
public:
    void add(const std::vector<TLMArchiveClass>& classes);

    bool allowsKind(TLMArchiveValue::Kind kind) const;
    // The allowed model class of that name, or nullptr.
    const TLMArchiveClass* classNamed(const std::string& name) const;

private:
    unsigned mKinds = 0;
    std::map<std::string, TLMArchiveClass> mClasses;
};
