// The keyed archive: values and objects read back as written, the bytes of
// the format, refusal of what is not allowed, and damaged or hostile bytes
// that must give an error rather than a crash or a half-made object.

#include "tests/telemetry/TLMLogCapture.h"

#include "telemetry/core/Util/TLMKeyedArchiver.h"
#include "telemetry/core/Util/TLMUtility.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Kind = TLMArchiveValue::Kind;

// A record with a field of each typed kind and a child of its own class.
class TestRecord : public TLMCoding {
public:
    TestRecord() = default;
    explicit TestRecord(const TLMKeyedUnarchiver& coder)
        : name(coder.decodeString("name")),
          count(coder.decodeInteger("count")),
          ratio(coder.decodeDouble("ratio")),
          flag(coder.decodeBool("flag")),
          when(coder.decodeDate("when")),
          tags(coder.decodeStringArray("tags")),
          pairs(coder.decodeStringDictionary("pairs")),
          child(coder.decodeObjectOfClass<TestRecord>("child")) {}

    void encodeWithCoder(TLMKeyedArchiver& coder) const override {
        coder.encodeString(name, "name");
        if (count) coder.encodeInteger(*count, "count");
        if (ratio) coder.encodeDouble(*ratio, "ratio");
        if (flag) coder.encodeBool(*flag, "flag");
        coder.encodeDate(when, "when");
        coder.encodeStringArray(tags, "tags");
        coder.encodeStringDictionary(pairs, "pairs");
        coder.encodeObject(child, "child");
    }

    bool isEqual(const TLMCoding& other) const override {
        const auto* record = dynamic_cast<const TestRecord*>(&other);
        if (record == nullptr) return false;
        const bool sameChild = child && record->child ? child->isEqual(*record->child) : child == record->child;
        return name == record->name && count == record->count && ratio == record->ratio && flag == record->flag &&
               when == record->when && tags == record->tags && pairs == record->pairs && sameChild;
    }

    std::string name;
    std::optional<std::int64_t> count;
    std::optional<double> ratio;
    std::optional<bool> flag;
    std::optional<TLMArchiveValue::Date> when;
    std::optional<std::vector<std::string>> tags;
    std::map<std::string, std::string> pairs;
    std::shared_ptr<TestRecord> child;
};

// A record that writes one key twice.
class TwiceRecord : public TLMCoding {
public:
    void encodeWithCoder(TLMKeyedArchiver& coder) const override {
        coder.encodeString("a", "key");
        coder.encodeString("b", "key");
    }
};

// A record that holds itself, so its fields never end.
class LoopRecord : public TLMCoding {
public:
    void encodeWithCoder(TLMKeyedArchiver& coder) const override { coder.encodeObject(self.lock(), "self"); }
    std::weak_ptr<LoopRecord> self;
};

// An abstract base: allowed by name, never restored itself.
class AbstractRecord : public TLMCoding {
public:
    virtual int size() const = 0;
};

TLMAllowedClasses everything() {
    TLMAllowedClasses allowed;
    allowed.add({TLMArchiveClass::null(), TLMArchiveClass::number(), TLMArchiveClass::string(), TLMArchiveClass::data(),
                 TLMArchiveClass::date(), TLMArchiveClass::uuid(), TLMArchiveClass::array(),
                 TLMArchiveClass::dictionary(), TLMArchiveClass::of<TestRecord>()});
    return allowed;
}

Bytes archived(const TLMArchiveValue& value) {
    std::string error;
    auto data = TLMKeyedArchiver::archivedData(value, &error);
    EXPECT_TRUE(data.has_value()) << error;
    return data.value_or(Bytes{});
}

std::optional<TLMArchiveValue> read(const Bytes& bytes, const TLMAllowedClasses& allowed, std::string* error) {
    return TLMKeyedUnarchiver::unarchivedValue(bytes.data(), bytes.size(), allowed, error);
}

// The error of reading the bytes with everything allowed; empty when they read.
std::string readError(const Bytes& bytes) {
    std::string error;
    if (read(bytes, everything(), &error)) return "";
    EXPECT_FALSE(error.empty());
    return error;
}

std::shared_ptr<TestRecord> sampleRecord() {
    auto child = std::make_shared<TestRecord>();
    child->name = "child";
    child->flag = false;
    auto record = std::make_shared<TestRecord>();
    record->name = "Gleis 3 / Ausfahrt";
    record->count = std::numeric_limits<std::int64_t>::min();
    record->ratio = -0.1;
    record->flag = true;
    record->when = TLMArchiveValue::Date(std::chrono::nanoseconds(-1'234'567'891));  // before 1970, nanoseconds kept
    record->tags = std::vector<std::string>{"", "b\0c", "\xC3\xA9"};
    record->tags->at(1) = std::string("b\0c", 3);
    record->pairs = {{"URL", "https://layouts.example/a?b=1"}, {"", "empty key"}};
    record->child = child;
    return record;
}

Bytes bigEndian32(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

Bytes concatBytes(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

const Bytes kHeader = {'T', 'L', 'M', 'A', 1};

}  // namespace

TEST(TLMKeyedArchiver, EveryKindAndNestedObjectsReadBackEqual) {
    TLMArchiveValue::Uuid uuid;
    for (std::size_t i = 0; i < uuid.bytes.size(); ++i) uuid.bytes[i] = static_cast<std::uint8_t>(0xF0 + i);
    const TLMArchiveValue::Array values = {
        TLMArchiveValue(),
        true,
        false,
        std::numeric_limits<std::int64_t>::max(),
        -1,
        std::numeric_limits<double>::infinity(),
        -0.0,
        5e-324,
        std::string("a\0b", 3),
        TLMArchiveValue::Data{0x00, 0xFF, 0x1F, 0x8B},
        TLMArchiveValue::Data{},
        TLMArchiveValue::Date(std::chrono::seconds(1'700'000'000) + std::chrono::nanoseconds(123)),
        uuid,
        TLMArchiveValue::Array{},
        TLMArchiveValue::Dictionary{{"nested", TLMArchiveValue::Array{1, "two", TLMArchiveValue()}}},
        sampleRecord(),
    };
    const Bytes bytes = archived(TLMArchiveValue(values));
    std::string error;
    const auto back = read(bytes, everything(), &error);
    ASSERT_TRUE(back.has_value()) << error;
    ASSERT_NE(back->asArray(), nullptr);
    ASSERT_EQ(back->asArray()->size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i) EXPECT_TRUE(back->asArray()->at(i) == values[i]) << "value " << i;
    // -0.0 keeps its sign and the record is a new object equal to the old one.
    EXPECT_TRUE(std::signbit(*back->asArray()->at(6).asReal()));
    const auto& record = *back->asArray()->at(15).asObject();
    EXPECT_NE(record, *values[15].asObject());
    EXPECT_EQ(std::dynamic_pointer_cast<TestRecord>(record)->tags->at(1), std::string("b\0c", 3));
    // Written again, the same bytes.
    EXPECT_EQ(archived(*back), bytes);
}

TEST(TLMKeyedArchiver, BytesOfTheFormat) {
    // {"k": 1} and an object with one text field: lengths and numbers
    // big-endian, fields in the order written.
    EXPECT_EQ(archived(TLMArchiveValue::Dictionary{{"k", 1}}),
              concatBytes({kHeader, {0x0A}, bigEndian32(1), bigEndian32(1), {'k'}, {0x03, 0, 0, 0, 0, 0, 0, 0, 1}}));
    auto record = std::make_shared<TestRecord>();
    record->name = "x";
    record->when = TLMArchiveValue::Date(std::chrono::seconds(1));
    const std::string className = record->className();
    EXPECT_EQ(className, "(anonymous namespace)::TestRecord");
    EXPECT_EQ(archived(record), concatBytes({kHeader,
                                             {0x0B},
                                             bigEndian32(static_cast<std::uint32_t>(className.size())),
                                             Bytes(className.begin(), className.end()),
                                             bigEndian32(2),
                                             bigEndian32(4),
                                             {'n', 'a', 'm', 'e'},
                                             {0x05},
                                             bigEndian32(1),
                                             {'x'},
                                             bigEndian32(4),
                                             {'w', 'h', 'e', 'n'},
                                             {0x07, 0, 0, 0, 0, 0x3B, 0x9A, 0xCA, 0x00}}));
    // An empty text, a missing date and a null child are not written at all.
    EXPECT_EQ(archived(std::make_shared<TestRecord>()),
              concatBytes({kHeader,
                           {0x0B},
                           bigEndian32(static_cast<std::uint32_t>(className.size())),
                           Bytes(className.begin(), className.end()),
                           bigEndian32(0)}));
}

TEST(TLMKeyedArchiver, RefusesClassesAndKindsNotAllowed) {
    auto record = sampleRecord();
    const Bytes bytes = archived(record);
    std::string error;

    TLMAllowedClasses noRecord;
    noRecord.add({TLMArchiveClass::string(), TLMArchiveClass::number(), TLMArchiveClass::date(),
                  TLMArchiveClass::array(), TLMArchiveClass::dictionary()});
    EXPECT_FALSE(read(bytes, noRecord, &error));
    EXPECT_EQ(error, "class \"(anonymous namespace)::TestRecord\" is not allowed");

    // The record allowed, but not the dates it holds.
    TLMAllowedClasses noDates;
    noDates.add({TLMArchiveClass::of<TestRecord>(), TLMArchiveClass::string(), TLMArchiveClass::number(),
                 TLMArchiveClass::array(), TLMArchiveClass::dictionary()});
    EXPECT_FALSE(read(bytes, noDates, &error));
    EXPECT_EQ(error, "date values are not allowed");

    TLMAllowedClasses noData = noDates;
    noData.add({TLMArchiveClass::date()});
    EXPECT_TRUE(read(bytes, noData, &error)) << error;
    EXPECT_FALSE(read(archived(TLMArchiveValue::Data{1}), noData, &error));
    EXPECT_EQ(error, "data values are not allowed");

    // An abstract class is known by name but is never made.
    class Concrete : public AbstractRecord {
    public:
        int size() const override { return 1; }
        void encodeWithCoder(TLMKeyedArchiver&) const override {}
    };
    TLMAllowedClasses abstractOnly;
    abstractOnly.add({TLMArchiveClass::of<AbstractRecord>()});
    const std::string abstractName = TLMClassName(typeid(AbstractRecord));
    const Bytes forged = concatBytes({kHeader,
                                      {0x0B},
                                      bigEndian32(static_cast<std::uint32_t>(abstractName.size())),
                                      Bytes(abstractName.begin(), abstractName.end()),
                                      bigEndian32(0)});
    EXPECT_FALSE(read(forged, abstractOnly, &error));
    EXPECT_EQ(error, "class \"" + abstractName + "\" cannot be restored");
    EXPECT_NE(std::make_shared<Concrete>()->size(), 0);
}

TEST(TLMKeyedArchiver, FieldsOfTheWrongKindFailTheWholeArchive) {
    auto child = std::make_shared<TestRecord>();
    auto record = std::make_shared<TestRecord>();
    record->child = child;
    Bytes bytes = archived(record);
    // Turn the child's class into an allowed class of another kind: a
    // dictionary under "child" where a record is expected.
    const std::string className = record->className();
    Bytes asDictionary = concatBytes({kHeader,
                                      {0x0B},
                                      bigEndian32(static_cast<std::uint32_t>(className.size())),
                                      Bytes(className.begin(), className.end()),
                                      bigEndian32(1),
                                      bigEndian32(5),
                                      {'c', 'h', 'i', 'l', 'd'},
                                      {0x0A},
                                      bigEndian32(0)});
    EXPECT_EQ(readError(asDictionary), className + ": \"child\" is not an object");
    Bytes numberAsName = concatBytes({kHeader,
                                      {0x0B},
                                      bigEndian32(static_cast<std::uint32_t>(className.size())),
                                      Bytes(className.begin(), className.end()),
                                      bigEndian32(1),
                                      bigEndian32(4),
                                      {'n', 'a', 'm', 'e'},
                                      {0x02}});
    EXPECT_EQ(readError(numberAsName), className + ": \"name\" is not a string");
    EXPECT_EQ(readError(bytes), "");
}

TEST(TLMKeyedArchiver, DamagedAndHostileBytesGiveAnError) {
    const Bytes whole = archived(TLMArchiveValue(TLMArchiveValue::Array{sampleRecord(), sampleRecord()}));
    ASSERT_EQ(readError(whole), "");
    // Every cut is damage, wherever it falls.
    for (std::size_t size = 0; size < whole.size(); ++size) {
        EXPECT_NE(readError(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size))), "")
            << "cut at " << size;
    }
    EXPECT_EQ(readError(Bytes{}), "the archive is empty");
    EXPECT_EQ(readError(concatBytes({whole, {0x00}})), "bytes follow the archive's value");
    EXPECT_EQ(readError(Bytes{'T', 'L', 'M', 'B', 1, 0}), "the bytes are no archive");
    EXPECT_EQ(readError(Bytes{'T', 'L', 'M', 'A', 2, 0}), "the archive has version 2, not 1");
    EXPECT_EQ(readError(concatBytes({kHeader, {0x0C}})), "unknown value tag 12");

    // Lengths and counts larger than the bytes left are refused before
    // anything is made for them.
    EXPECT_EQ(readError(concatBytes({kHeader, {0x05}, bigEndian32(0xFFFFFFFF), {'a'}})),
              "the archive ends inside a string");
    EXPECT_EQ(readError(concatBytes({kHeader, {0x06}, bigEndian32(2), {'a'}})), "the archive ends inside a data value");
    EXPECT_EQ(readError(concatBytes({kHeader, {0x09}, bigEndian32(0xFFFFFFFF), {0x00, 0x00}})),
              "a count larger than the archive holds in an array");
    EXPECT_EQ(readError(concatBytes({kHeader, {0x0A}, bigEndian32(2), bigEndian32(0), {0x00}})),
              "a count larger than the archive holds in a dictionary");
    EXPECT_EQ(readError(concatBytes({kHeader, {0x0B}, bigEndian32(0x7FFFFFFF)})),
              "the archive ends inside a class name");
    EXPECT_EQ(readError(concatBytes(
                  {kHeader, {0x0A}, bigEndian32(2), bigEndian32(1), {'k', 0x00}, bigEndian32(1), {'k', 0x01}})),
              "a key appears twice in a dictionary");

    // A hostile class name is shown short and printable.
    std::string name(100, 'A');
    name[0] = '\n';
    EXPECT_EQ(
        readError(concatBytes({kHeader, {0x0B}, bigEndian32(100), Bytes(name.begin(), name.end()), bigEndian32(0)})),
        "class \"?" + std::string(63, 'A') + "...\" is not allowed");

    // Arrays nested 64 deep read; one more is refused without running deep.
    auto nested = [](int depth) {
        Bytes bytes = kHeader;
        for (int i = 0; i < depth; ++i) bytes.insert(bytes.end(), {0x09, 0, 0, 0, 1});
        bytes.push_back(0x00);
        return bytes;
    };
    EXPECT_EQ(readError(nested(64)), "");
    EXPECT_EQ(readError(nested(65)), "values nest deeper than an archive may");
    EXPECT_EQ(readError(nested(100000)), "values nest deeper than an archive may");
}

TEST(TLMKeyedArchiver, WritingRefusesWhatCouldNotBeRead) {
    std::string error;
    EXPECT_FALSE(TLMKeyedArchiver::archivedData(TLMArchiveValue(), &error));
    EXPECT_EQ(error, "there is no object to archive");
    EXPECT_FALSE(TLMKeyedArchiver::archivedData(std::make_shared<TwiceRecord>(), &error));
    EXPECT_EQ(error, "the key \"key\" is written twice");
    auto loop = std::make_shared<LoopRecord>();
    loop->self = loop;
    EXPECT_FALSE(TLMKeyedArchiver::archivedData(loop, &error));
    EXPECT_EQ(error, "values nest deeper than an archive may");
}

TEST(TLMUtility, ArchivingThroughTheProcessWideAllowedClasses) {
    TLMLogCapture capture;
    TLMLogger::setCurrentLogLevel(TLMLogLevelVerbose);
    const auto bytes = TLMUtility::archiveKeyedData(sampleRecord());
    ASSERT_TRUE(bytes.has_value());
    EXPECT_FALSE(TLMUtility::archiveKeyedData(TLMArchiveValue()).has_value());

    EXPECT_FALSE(TLMUtility::unarchiveKeyedData(*bytes).has_value());
    TLMUtility::addAllowedClasses({TLMArchiveClass::of<TestRecord>(), TLMArchiveClass::string()});
    EXPECT_FALSE(TLMUtility::unarchiveKeyedData(*bytes).has_value());
    TLMUtility::addAllowedClasses(
        {TLMArchiveClass::number(), TLMArchiveClass::date(), TLMArchiveClass::array(), TLMArchiveClass::dictionary()});
    const auto back = TLMUtility::unarchiveKeyedData(*bytes);
    ASSERT_TRUE(back.has_value());
    EXPECT_TRUE(*back == TLMArchiveValue(sampleRecord()));
    EXPECT_FALSE(TLMUtility::archiveKeyedData(std::make_shared<TwiceRecord>()).has_value());

    const std::vector<TLMCapturedLine> errors = capture.linesAt(TLMLogLevelError);
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0].tag, "Telemetry");
    EXPECT_EQ(errors[0].message,
              "Unarchiving NSData failed with error: class \"(anonymous namespace)::TestRecord\" is not allowed");
    EXPECT_EQ(errors[1].message, "Unarchiving NSData failed with error: integer values are not allowed");
    EXPECT_EQ(errors[2].message, "Archiving NSData failed with error: the key \"key\" is written twice");
}
