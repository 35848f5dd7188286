#include "tests/support/RecordWriter.h"

#include "engine/fileformat/Tag.h"
#include "engine/model/BasicGeometry.h"

#include <gtest/gtest.h>

namespace testsupport {

RecordWriter::RecordWriter() : mFile(std::tmpfile()), mTags(mFile.get()) {}

void RecordWriter::Header(const char* magic, std::uint32_t version) { Append(testsupport::Header(magic, version)); }

void RecordWriter::Raw(std::uint16_t id, const Bytes& data) {
    ASSERT_TRUE(CTag(id, data.size(), data.data()).WriteTag(mFile.get()));
}

void RecordWriter::Text(std::uint16_t id, const std::string& text) { ASSERT_TRUE(mTags.WriteString(id, text)); }

void RecordWriter::Int(std::uint16_t id, std::int32_t value) { ASSERT_TRUE(mTags.WriteInt(id, value)); }

void RecordWriter::Real(std::uint16_t id, double value) { ASSERT_TRUE(mTags.WriteDouble(id, value)); }

void RecordWriter::Bool(std::uint16_t id, bool value) { ASSERT_TRUE(mTags.WriteBool(id, value)); }

void RecordWriter::Append(const Bytes& bytes) { std::fwrite(bytes.data(), 1, bytes.size(), mFile.get()); }

Bytes RecordWriter::Contents() { return ReadAll(mFile.get()); }

FILE* RecordWriter::Rewound() {
    std::fflush(mFile.get());
    std::rewind(mFile.get());
    return mFile.get();
}

void SetBaseFields(CBasicGeometry& c) {
    c.SetOffsetX(12.5);
    c.SetOffsetY(-7.25);
    c.SetGauge(16.5);
    c.SetAngle(33.0);
    c.EnableJoint(0);
    c.DisableJoint(1);
    c.SetTrackbedWidth(40.0);
    c.SetRailWidth(1.5);
    c.SetComponentAttribute(7);
    c.SetFixedColor(CColor(0.25, 0.5, 0.75, 0.5));
    c.SetComponentGeneratorID(42);
    c.SetGenerated(true);
}

Bytes SaveBytes(CBasicGeometry& component) {
    tFile file(std::tmpfile());
    EXPECT_TRUE(component.Save(file.get()));
    return ReadAll(file.get());
}

tLoadResult LoadRecord(CBasicGeometry& component, const Bytes& bytes, int version, std::size_t length) {
    tFile file = FileWith(bytes, length);
    tLoadResult result;
    {
        CTaggedFile reader(file.get());
        reader.ReadInt(300, result.type);
    }
    result.ok = component.Load(file.get(), version, result.error);
    return result;
}

tLoadResult LoadRecord(CBasicGeometry& component, const Bytes& bytes, int version) {
    return LoadRecord(component, bytes, version, bytes.size());
}

}  // namespace testsupport
