// Placed images: copies, placement on layers with the integrity reports, the
// list operations, the image section read from hand-built bytes, damaged and
// hostile sections, and the writer's round trips.

#include "engine/fileformat/TaggedFile.h"
#include "engine/model/Image.h"
#include "engine/model/Layer.h"
#include "engine/model/LayerManager.h"
#include "tests/support/EngineServices.h"
#include "tests/support/LogWatch.h"
#include "tests/support/RecordBytes.h"
#include "platform/foundation/OwnedList.h"
#include "platform/graphics/Image.h"

#include <gtest/gtest.h>

#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using testsupport::Analytics;
using testsupport::Bytes;
using testsupport::Cat;
using testsupport::CountWith;
using testsupport::Int;
using testsupport::LongRecord;
using testsupport::Real;
using testsupport::Record;
using testsupport::RecordingAnalytics;
using testsupport::Stream;
using testsupport::Text;
using testsupport::Warnings;
using testsupport::Written;

// ------------------------------------------------ building sections by hand

// Records 601 to 608 of one image, reals as integer part and fraction x 1e7.
Bytes ImageFields(const std::string& name, const Bytes& x, const Bytes& y, const Bytes& width, const Bytes& height,
                  const Bytes& parameter606, const Bytes& parameter607, const std::string& layerName) {
    return Cat({Record(601, Text(name)), Record(602, x), Record(603, y), Record(604, width), Record(605, height),
                Record(606, parameter606), Record(607, parameter607), Record(608, Text(layerName))});
}

// A whole image with whole-number placement and data of the length claimed.
Bytes SimpleImage(const std::string& name, const std::string& layerName, const Bytes& data) {
    return Cat({ImageFields(name, Real(1, 0), Real(2, 0), Real(30, 0), Real(40, 0), Real(0, 0), Real(1, 0), layerName),
                Record(609, Int(static_cast<std::int32_t>(data.size()))), Record(610, data)});
}

// The baseboard count that follows the images in a layout file.
const Bytes kTrailer = Record(700, Int(5));

Bytes Pattern(std::size_t size, std::uint8_t seed) {
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(seed + i * 7);
    return out;
}

bool TrailerFollows(FILE* file) {
    CTaggedFile tags(file);
    std::int32_t count = 0;
    return tags.ReadInt(700, count) && count == 5 && tags.GetSkippedCount() == 0;
}

// The analytics stand-in, emptied: each test starts with no reports.
RecordingAnalytics& CleanAnalytics() {
    RecordingAnalytics& analytics = Analytics();
    analytics.events.clear();
    return analytics;
}

// The events as their name and integrity check type.
std::vector<std::pair<std::string, std::string>> Reports(const RecordingAnalytics& analytics) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& [name, properties] : analytics.events) {
        const auto type = properties.find("IntegrityCheckType");
        out.emplace_back(name, type != properties.end() ? type->second : "");
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> IntegrityReports(const std::vector<std::string>& types) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const std::string& type : types) out.emplace_back("IntegrityCheckFailure", type);
    return out;
}

// A manager with a track layer "Gleise", an image layer "Plan" and a second
// image layer "Luftbild".
struct Layers {
    Layers() : manager("Gleise") {
        plan = manager.AddLayer("Plan", true);
        plan->SetLayerType(CLayer::kImageLayer);
        photo = manager.AddLayer("Luftbild", true);
        photo->SetLayerType(CLayer::kImageLayer);
        tracks = manager.GetLayers()[0];
    }
    CLayerManager manager;
    CLayer* tracks = nullptr;
    CLayer* plan = nullptr;
    CLayer* photo = nullptr;
};

struct OwnedImages {
    ~OwnedImages() { platform::DeleteAll(list); }
    tImages list;
};

Bytes DataOf(const CImageElement& image) { return Bytes(image.GetData(), image.GetData() + image.GetDataLength()); }

}  // namespace

// ------------------------------------------------ images in memory

TEST(Images, ImagesOwnACopyOfTheirBytesAndCopiesGetANewIdentity) {
    Bytes bytes = {0x89, 'P', 'N', 'G', 0x0D, 0x0A};
    CImageElement image(bytes.data(), static_cast<int>(bytes.size()));
    bytes[1] = 'X';
    EXPECT_EQ(DataOf(image), (Bytes{0x89, 'P', 'N', 'G', 0x0D, 0x0A}));
    EXPECT_EQ(image.GetIdentifier().size(), 36u);
    EXPECT_EQ(image.GetName(), "");
    EXPECT_EQ(image.GetLayer(), nullptr);
    EXPECT_EQ(image.GetWidth(), 0.0);
    EXPECT_EQ(image.GetHeight(), 0.0);
    EXPECT_EQ(image.GetParameter606(), 0.0);
    EXPECT_EQ(image.GetParameter607(), 1.0);
    EXPECT_EQ(image.GetPosition().x, 0.0);

    CLayer layer("Plan");
    image.SetName("Gleisplan");
    image.SetPosition(CPoint(5, 6));
    image.SetWidth(200);
    image.SetHeight(100);
    image.SetParameter606(0.5);
    image.SetParameter607(2);
    image.SetLayer(&layer);

    const CImageElement copy(image);
    EXPECT_NE(copy.GetIdentifier(), image.GetIdentifier());
    EXPECT_EQ(copy.GetIdentifier().size(), 36u);
    EXPECT_NE(copy.GetData(), image.GetData());
    EXPECT_EQ(DataOf(copy), DataOf(image));
    EXPECT_EQ(copy.GetName(), "Gleisplan");
    EXPECT_EQ(copy.GetPosition().y, 6.0);
    EXPECT_EQ(copy.GetWidth(), 200.0);
    EXPECT_EQ(copy.GetHeight(), 100.0);
    EXPECT_EQ(copy.GetParameter606(), 0.5);
    EXPECT_EQ(copy.GetParameter607(), 2.0);
    EXPECT_EQ(copy.GetLayer(), &layer);
    EXPECT_FALSE(copy.IsPictureDecoded());

    // The decoded picture is shared with later copies, not decoded again,
    // and setting it is no change of the document.
    const auto picture = platform::Image::fromPixels(1, 1, std::vector<platform::Pixel>{{1, 2, 3, 255}});
    const std::uint64_t changes = UContentChanges::Count();
    image.SetPicture(picture);
    EXPECT_EQ(UContentChanges::Count(), changes);
    const CImageElement later(image);
    EXPECT_TRUE(later.IsPictureDecoded());
    EXPECT_EQ(later.GetPicture(), picture);
    // One whose bytes did not decode stays decoded, without a picture.
    CImageElement broken(bytes.data(), static_cast<int>(bytes.size()));
    broken.SetPicture(nullptr);
    EXPECT_TRUE(CImageElement(broken).IsPictureDecoded());
    EXPECT_EQ(CImageElement(broken).GetPicture(), nullptr);
    EXPECT_FALSE(CImageElement(broken).IsPictureLeftOut());
    // One left out is known as such by its copies.
    CImageElement leftOut(bytes.data(), static_cast<int>(bytes.size()));
    leftOut.SetPictureLeftOut();
    EXPECT_TRUE(CImageElement(leftOut).IsPictureDecoded());
    EXPECT_TRUE(CImageElement(leftOut).IsPictureLeftOut());
    EXPECT_EQ(CImageElement(leftOut).GetPicture(), nullptr);

    const CImageElement none(nullptr, 12);
    EXPECT_EQ(none.GetDataLength(), 0);
    EXPECT_EQ(none.GetData(), nullptr);
    const CImageElement negative(bytes.data(), -4);
    EXPECT_EQ(negative.GetDataLength(), 0);
    const CImageElement emptyCopy(none);
    EXPECT_EQ(emptyCopy.GetDataLength(), 0);
}

TEST(Images, CreatedImagesLandOnTheirLayerOrAreDropped) {
    RecordingAnalytics& analytics = CleanAnalytics();
    Layers layers;
    const Bytes data = {1, 2, 3};

    std::unique_ptr<CImageElement> placed(UImageElements::CreateImageElement(
        "Scan", CPoint(10, 20), 3, data.data(), "Plan", layers.manager, 200, 100, 0.25, 3));
    ASSERT_NE(placed, nullptr);
    EXPECT_EQ(placed->GetLayer(), layers.plan);
    EXPECT_EQ(placed->GetName(), "Scan");
    EXPECT_EQ(placed->GetPosition().x, 10.0);
    EXPECT_EQ(placed->GetPosition().y, 20.0);
    EXPECT_EQ(placed->GetWidth(), 200.0);
    EXPECT_EQ(placed->GetHeight(), 100.0);
    EXPECT_EQ(placed->GetParameter606(), 0.25);
    EXPECT_EQ(placed->GetParameter607(), 3.0);
    EXPECT_EQ(DataOf(*placed), data);
    EXPECT_TRUE(analytics.events.empty());

    EXPECT_EQ(
        UImageElements::CreateImageElement("Scan", CPoint(), 3, data.data(), "Keller", layers.manager, 1, 1, 0, 1),
        nullptr);
    EXPECT_EQ(CountWith(Warnings(), "Layer 'Keller' not found in layout"), 1);

    std::unique_ptr<CImageElement> onTracks(
        UImageElements::CreateImageElement("Scan", CPoint(), 3, data.data(), "Gleise", layers.manager, 1, 1, 0, 1));
    ASSERT_NE(onTracks, nullptr);
    EXPECT_EQ(onTracks->GetLayer(), layers.tracks);
    EXPECT_EQ(CountWith(Warnings(), "Invalid layer type for 'Gleise' - expected 'Image'"), 1);

    EXPECT_EQ(Reports(analytics), IntegrityReports({"LayerNotFound.CreateImageElement.UImageElements",
                                                    "InvalidLayerType.CreateImageElement.UImageElements"}));
}

TEST(Images, ImageOfALayer) {
    RecordingAnalytics& analytics = CleanAnalytics();
    Layers layers;
    CImageElement first(nullptr, 0), second(nullptr, 0), third(nullptr, 0);
    first.SetLayer(layers.photo);
    second.SetLayer(layers.plan);
    third.SetLayer(layers.plan);
    tImages images{&first, &second, &third};

    EXPECT_EQ(UImageElements::ImageElementForLayer(layers.plan, images), &second);
    EXPECT_EQ(UImageElements::ImageElementForLayer(layers.photo, images), &first);
    EXPECT_TRUE(analytics.events.empty());

    // A track layer is reported, and its image is still looked for.
    third.SetLayer(layers.tracks);
    EXPECT_EQ(UImageElements::ImageElementForLayer(layers.tracks, images), &third);
    EXPECT_EQ(CountWith(Warnings(),
                        "Invalid layer type 1 in static CImageElement "
                        "*UImageElements::ImageElementForLayer(CLayer *, tImages &)"),
              1);
    EXPECT_EQ(Reports(analytics), IntegrityReports({"InvalidLayerType.ImageElementForLayer.UImageElements"}));

    CLayer empty("Leer");
    empty.SetLayerType(CLayer::kImageLayer);
    EXPECT_EQ(UImageElements::ImageElementForLayer(&empty, images), nullptr);
    EXPECT_EQ(UImageElements::ImageElementForLayer(nullptr, images), nullptr);
}

TEST(Images, BoundsMovesAndVisibleLayers) {
    Layers layers;
    CImageElement a(nullptr, 0), b(nullptr, 0), c(nullptr, 0);
    a.SetPosition(CPoint(10, 20));
    a.SetWidth(200);
    a.SetHeight(100);
    tImages images{&a};

    const tDoubleRect one = UImageElements::GetBoundingBox(images);
    EXPECT_EQ(one, (tDoubleRect{20, 10, 120, 210}));

    b.SetPosition(CPoint(-50, 150));
    b.SetWidth(20);
    b.SetHeight(30);
    images.push_back(&b);
    EXPECT_EQ(UImageElements::GetBoundingBox(images), (tDoubleRect{20, -50, 180, 210}));
    EXPECT_EQ(UImageElements::GetBoundingBox({}), (tDoubleRect{0, 0, 0, 0}));

    UImageElements::MoveAll(images, 5, -10);
    EXPECT_EQ(a.GetPosition().x, 15.0);
    EXPECT_EQ(a.GetPosition().y, 10.0);
    EXPECT_EQ(b.GetPosition().x, -45.0);
    EXPECT_EQ(b.GetPosition().y, 140.0);
    EXPECT_EQ(UImageElements::GetBoundingBox(images), (tDoubleRect{10, -45, 170, 215}));

    a.SetLayer(layers.plan);
    b.SetLayer(layers.photo);
    layers.photo->SetVisible(false);
    images.push_back(&c);  // no layer
    CImageElement d(nullptr, 0);
    d.SetLayer(layers.tracks);
    images.push_back(&d);
    EXPECT_EQ(UImageElements::GetImagesOnVisibleLayers(images), (tImages{&a, &d}));
    EXPECT_EQ(UImageElements::GetLayersInUse(images),
              (std::vector<const CLayer*>{layers.plan, layers.photo, layers.tracks}));
}

// ------------------------------------------------ reading the image section

TEST(Images, SectionIsReadAndImagesOnMissingLayersAreDropped) {
    RecordingAnalytics& analytics = CleanAnalytics();
    Layers layers;
    const Bytes planData = Pattern(70000, 3);  // long record form
    const Bytes section = Cat({
        Record(600, Int(3)),
        ImageFields("Gleisplan", Real(10, 2500000), Real(-20, -5000000), Real(200, 0), Real(100, 0), Real(0, 7500000),
                    Real(2, 0), "Plan"),
        Record(609, Int(70000)),
        Record(610, planData),
        SimpleImage("Verloren", "Dachboden", {9, 9, 9}),
        SimpleImage("Luft", "Luftbild", {0xFF, 0xD8, 0xFF, 0xE0}),
        kTrailer,
    });
    Stream stream(section);
    OwnedImages images;
    EXPECT_TRUE(UImageElements::ReadImages(images.list, stream.handle, layers.manager));
    ASSERT_EQ(images.list.size(), 2u);

    const CImageElement& plan = *images.list[0];
    EXPECT_EQ(plan.GetName(), "Gleisplan");
    EXPECT_DOUBLE_EQ(plan.GetPosition().x, 10.25);
    EXPECT_DOUBLE_EQ(plan.GetPosition().y, -20.5);
    EXPECT_EQ(plan.GetPosition().z, 0.0);
    EXPECT_EQ(plan.GetWidth(), 200.0);
    EXPECT_EQ(plan.GetHeight(), 100.0);
    EXPECT_DOUBLE_EQ(plan.GetParameter606(), 0.75);
    EXPECT_EQ(plan.GetParameter607(), 2.0);
    EXPECT_EQ(plan.GetLayer(), layers.plan);
    EXPECT_EQ(DataOf(plan), planData);

    EXPECT_EQ(images.list[1]->GetName(), "Luft");
    EXPECT_EQ(images.list[1]->GetLayer(), layers.photo);
    EXPECT_EQ(DataOf(*images.list[1]), (Bytes{0xFF, 0xD8, 0xFF, 0xE0}));

    EXPECT_EQ(CountWith(Warnings(), "Layer 'Dachboden' not found in layout"), 1);
    EXPECT_EQ(Reports(analytics), IntegrityReports({"LayerNotFound.CreateImageElement.UImageElements"}));
    EXPECT_TRUE(TrailerFollows(stream.handle));
}

TEST(Images, DataLengthsThatDisagreeWithTheirRecordSkipTheImage) {
    Layers layers;
    const auto imageClaiming = [](const std::string& name, std::int32_t claimed, const Bytes& data) {
        return Cat({ImageFields(name, Real(0, 0), Real(0, 0), Real(1, 0), Real(1, 0), Real(0, 0), Real(1, 0), "Plan"),
                    Record(609, Int(claimed)), Record(610, data)});
    };
    const Bytes section = Cat({
        Record(600, Int(5)),
        imageClaiming("shorter", 2, {1, 2, 3, 4}),    // would be cut short
        imageClaiming("longer", 4096, {1, 2, 3, 4}),  // would read past the record
        imageClaiming("negative", -1, {1, 2, 3, 4}),
        imageClaiming("huge", 0x7FFFFFFF, {1, 2, 3, 4}),
        imageClaiming("right", 4, {5, 6, 7, 8}),
        kTrailer,
    });
    Stream stream(section);
    OwnedImages images;
    EXPECT_TRUE(UImageElements::ReadImages(images.list, stream.handle, layers.manager));
    ASSERT_EQ(images.list.size(), 1u);
    EXPECT_EQ(images.list[0]->GetName(), "right");
    EXPECT_EQ(DataOf(*images.list[0]), (Bytes{5, 6, 7, 8}));
    const std::vector<std::string> warnings = Warnings();
    EXPECT_EQ(CountWith(warnings, "Image 'shorter': data length 2 does not match its data record of 4 bytes"), 1);
    EXPECT_EQ(CountWith(warnings, "Image 'longer': data length 4096 does not match"), 1);
    EXPECT_EQ(CountWith(warnings, "Image 'negative': data length -1 does not match"), 1);
    EXPECT_EQ(CountWith(warnings, "Image 'huge': data length 2147483647 does not match"), 1);
    EXPECT_TRUE(TrailerFollows(stream.handle));
}

TEST(Images, HostileCountsAreBounded) {
    Layers layers;
    struct Case {
        const char* name;
        std::int32_t count;
        std::size_t expected;
        bool whole;
    };
    const Case cases[] = {
        // The images the file holds are read, but the section is damaged.
        {"count beyond the bytes left", 0x7FFFFFFF, 2, false},
        {"negative count", -7, 0, true},
        {"count 0", 0, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Stream stream(
            Cat({Record(600, Int(c.count)), SimpleImage("a", "Plan", {1}), SimpleImage("b", "Plan", {2}), kTrailer}));
        OwnedImages images;
        EXPECT_EQ(UImageElements::ReadImages(images.list, stream.handle, layers.manager), c.whole);
        EXPECT_EQ(images.list.size(), c.expected);
        // The two images and the trailer leave no room for a third image.
        if (c.expected == 2) {
            EXPECT_TRUE(TrailerFollows(stream.handle));
        }
    }
    EXPECT_GE(CountWith(Warnings(), "Image section announces 2147483647 images"), 1);
}

TEST(Images, ReadingStopsAtTheFirstRecordThatCannotBeRead) {
    Layers layers;
    // The second image ends inside its data record.
    Bytes section =
        Cat({Record(600, Int(3)), SimpleImage("ganz", "Plan", {1, 2}),
             ImageFields("halb", Real(0, 0), Real(0, 0), Real(1, 0), Real(1, 0), Real(0, 0), Real(1, 0), "Plan"),
             Record(609, Int(100)), Bytes{0x02, 0x62, 0x00, 0x64, 1, 2, 3}});
    Stream stream(section);
    OwnedImages images;
    EXPECT_FALSE(UImageElements::ReadImages(images.list, stream.handle, layers.manager));
    ASSERT_EQ(images.list.size(), 1u);
    EXPECT_EQ(images.list[0]->GetName(), "ganz");
    EXPECT_EQ(CountWith(Warnings(), "Image section ends in image 2 of"), 1);

    Stream missing(Cat({kTrailer}));
    OwnedImages none;
    EXPECT_FALSE(UImageElements::ReadImages(none.list, missing.handle, layers.manager));
    EXPECT_TRUE(none.list.empty());
}

TEST(Images, AnOversizedDataRecordIsPassedOver) {
    Layers layers;
    // A data record just above the reader's limit, held whole by a sparse
    // file, between two good images.
    const std::uint32_t oversized = UImageElements::kMaxImageDataLength + 1u;
    const Bytes before =
        Cat({Record(600, Int(3)), SimpleImage("vorher", "Plan", {1}),
             ImageFields("riesig", Real(0, 0), Real(0, 0), Real(1, 0), Real(1, 0), Real(0, 0), Real(1, 0), "Plan"),
             Record(609, Int(static_cast<std::int32_t>(oversized)))});
    const Bytes header = LongRecord(610, oversized, {});
    const Bytes after = Cat({SimpleImage("nachher", "Plan", {3}), kTrailer});

    FILE* file = tmpfile();
    ASSERT_NE(file, nullptr);
    fwrite(before.data(), 1, before.size(), file);
    fwrite(header.data(), 1, header.size(), file);
    ASSERT_EQ(fseeko(file, static_cast<off_t>(oversized), SEEK_CUR), 0);
    fwrite(after.data(), 1, after.size(), file);
    rewind(file);

    OwnedImages images;
    EXPECT_TRUE(UImageElements::ReadImages(images.list, file, layers.manager));
    ASSERT_EQ(images.list.size(), 2u);
    EXPECT_EQ(images.list[0]->GetName(), "vorher");
    EXPECT_EQ(images.list[1]->GetName(), "nachher");
    EXPECT_EQ(CountWith(Warnings(), "Image 'riesig': data record too long - skipping image"), 1);
    EXPECT_TRUE(TrailerFollows(file));
    fclose(file);
}

// ------------------------------------------------ writing the image section

TEST(Images, WriterProducesTheSectionBytes) {
    Layers layers;
    const Bytes data = {0xAB, 0xCD};
    CImageElement image(data.data(), 2);
    image.SetName("P");
    image.SetPosition(CPoint(1.5, -2));
    image.SetWidth(3);
    image.SetHeight(4);
    image.SetParameter606(0.25);
    image.SetLayer(layers.plan);
    bool ok = false;
    const Bytes written = Written([&](FILE* f) { return UImageElements::SaveImages({&image}, f); }, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(written, Cat({Record(600, Int(1)),
                            ImageFields("P", Real(1, 5000000), Real(-2, 0), Real(3, 0), Real(4, 0), Real(0, 2500000),
                                        Real(1, 0), "Plan"),
                            Record(609, Int(2)), Record(610, data)}));

    // An image without data cannot be written: nothing is.
    CImageElement empty(nullptr, 0);
    const Bytes refused = Written([&](FILE* f) { return UImageElements::SaveImages({&image, &empty}, f); }, &ok);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(refused.empty());

    const Bytes noImages = Written([&](FILE* f) { return UImageElements::SaveImages({}, f); }, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(noImages, Record(600, Int(0)));
}

TEST(Images, SavedSectionsReadBack) {
    Layers layers;
    const Bytes small = {1, 2, 3};
    const Bytes large = Pattern(200000, 11);
    CImageElement a(small.data(), 3), b(large.data(), static_cast<int>(large.size()));
    a.SetName("Klein");
    a.SetPosition(CPoint(-12.125, 7.5));
    a.SetWidth(64);
    a.SetHeight(48);
    a.SetLayer(layers.plan);
    b.SetName("Gross");
    b.SetPosition(CPoint(1000, 2000));
    b.SetWidth(4000.5);
    b.SetHeight(3000.25);
    b.SetParameter606(-0.5);
    b.SetParameter607(0.125);
    b.SetLayer(layers.photo);

    const Bytes bytes = Written([&](FILE* f) { return UImageElements::SaveImages({&a, &b}, f); });
    Stream stream(Cat({bytes, kTrailer}));
    OwnedImages images;
    ASSERT_TRUE(UImageElements::ReadImages(images.list, stream.handle, layers.manager));
    ASSERT_EQ(images.list.size(), 2u);
    const CImageElement* originals[] = {&a, &b};
    for (int i = 0; i < 2; ++i) {
        const CImageElement& from = *originals[i];
        const CImageElement& to = *images.list[i];
        SCOPED_TRACE(from.GetName());
        EXPECT_EQ(to.GetName(), from.GetName());
        EXPECT_DOUBLE_EQ(to.GetPosition().x, from.GetPosition().x);
        EXPECT_DOUBLE_EQ(to.GetPosition().y, from.GetPosition().y);
        EXPECT_DOUBLE_EQ(to.GetWidth(), from.GetWidth());
        EXPECT_DOUBLE_EQ(to.GetHeight(), from.GetHeight());
        EXPECT_DOUBLE_EQ(to.GetParameter606(), from.GetParameter606());
        EXPECT_DOUBLE_EQ(to.GetParameter607(), from.GetParameter607());
        EXPECT_EQ(to.GetLayer(), from.GetLayer());
        EXPECT_EQ(DataOf(to), DataOf(from));
        EXPECT_NE(to.GetIdentifier(), from.GetIdentifier());
    }
    EXPECT_TRUE(TrailerFollows(stream.handle));
}
