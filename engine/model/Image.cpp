#include "engine/model/Image.h"

#include "engine/fileformat/Tag.h"
#include "engine/fileformat/TaggedFile.h"
#include "engine/geometry/BoundsAccumulator.h"
#include "engine/model/Layer.h"
#include "engine/model/LayerManager.h"
#include "engine/services/ActivityAnalyticsService.h"
#include "engine/services/ErrorHandling.h"
#include "engine/services/Logger.h"
#include "engine/services/Uuid.h"

#include <sys/types.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// Tags of the image section.
constexpr std::uint16_t kTagImageCount = 600;
constexpr std::uint16_t kTagName = 601;
constexpr std::uint16_t kTagX = 602;
constexpr std::uint16_t kTagY = 603;
constexpr std::uint16_t kTagWidth = 604;
constexpr std::uint16_t kTagHeight = 605;
constexpr std::uint16_t kTagParameter606 = 606;
constexpr std::uint16_t kTagParameter607 = 607;
constexpr std::uint16_t kTagLayerName = 608;
constexpr std::uint16_t kTagDataLength = 609;
constexpr std::uint16_t kTagData = 610;

// The fewest bytes one image record takes: two texts of at least their NUL,
// six reals, the length and at least one byte of data, each behind a 4-byte
// record header.
constexpr long long kMinimumImageBytes = 5 + 6 * 12 + 5 + 8 + 5;

// The announced count, at least 0 and no more than the maximum or than the
// image records the rest of the stream can hold. A count cut down that way
// is damage: `intact` is cleared.
std::int32_t BoundCount(FILE* file, std::int32_t count, bool& intact) {
    if (count <= 0) return 0;
    long long limit = UImageElements::kMaxImageCount;
    const long long left = BytesLeftInStream(file);
    if (left >= 0) limit = std::min(limit, left / kMinimumImageBytes);
    if (count > limit) {
        LogWarning("Image section announces %d images, at most %lld can follow - reading %lld", count, limit, limit);
        intact = false;
        return static_cast<std::int32_t>(limit);
    }
    return count;
}

}  // namespace

CImageElement::CImageElement(const void* data, int length) : mIdentifier(UUuid::NewUuidString()) {
    CopyData(data, length, "CImageElement::CImageElement(const void *, int)");
}

CImageElement::CImageElement(const CImageElement& other)
    : mIdentifier(UUuid::NewUuidString()),
      mPosition(other.mPosition),
      mWidth(other.mWidth),
      mHeight(other.mHeight),
      mParameter606(other.mParameter606),
      mParameter607(other.mParameter607),
      mLayer(other.mLayer),
      mName(other.mName),
      mPicture(other.mPicture),
      mPictureLeftOut(other.mPictureLeftOut),
      mPictureDecoded(other.IsPictureDecoded()) {
    CopyData(other.mData.get(), other.mDataLength, "CImageElement::CImageElement(const CImageElement &)");
}

CImageElement::~CImageElement() = default;

void CImageElement::CopyData(const void* data, int length, const char* signature) {
    if (data == nullptr || length <= 0) return;
    mData.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(length)]);
    UErrorHandling::ThrowIfNull(mData.get(), signature, "Cannot create byte array for image data");
    std::memcpy(mData.get(), data, static_cast<std::size_t>(length));
    mDataLength = length;
}

namespace UImageElements {

bool ReadImages(tImages& images, FILE* file, CLayerManager& layerManager) {
    CTaggedFile tags(file);
    std::int32_t announced = 0;
    if (!tags.ReadInt(kTagImageCount, announced)) {
        LogWarning("No image section (%s)", ReadStatusName(tags.LastStatus()));
        return false;
    }
    bool intact = true;
    const std::int32_t count = BoundCount(file, announced, intact);

    for (std::int32_t i = 0; i < count; ++i) {
        std::string name;
        std::string layerName;
        double x = 0.0, y = 0.0, width = 0.0, height = 0.0, parameter606 = 0.0, parameter607 = 1.0;
        std::int32_t length = 0;
        const bool fieldsRead =
            tags.ReadString(kTagName, name) && tags.ReadDouble(kTagX, x) && tags.ReadDouble(kTagY, y) &&
            tags.ReadDouble(kTagWidth, width) && tags.ReadDouble(kTagHeight, height) &&
            tags.ReadDouble(kTagParameter606, parameter606) && tags.ReadDouble(kTagParameter607, parameter607) &&
            tags.ReadString(kTagLayerName, layerName) && tags.ReadInt(kTagDataLength, length);
        CTag data;
        if (!fieldsRead || !tags.ReadNextMatchingTag(data, kTagData)) {
            // A data record above the size limit has been passed over whole;
            // the next image follows it.
            if (fieldsRead && tags.LastStatus() == tReadStatus::TooLong) {
                LogWarning("Image '%s': data record too long - skipping image", name.c_str());
                continue;
            }
            LogWarning("Image section ends in image %d of %d (%s)", i + 1, count, ReadStatusName(tags.LastStatus()));
            return false;
        }
        if (length < 0 || length > kMaxImageDataLength || static_cast<std::uint32_t>(length) != data.GetLength()) {
            LogWarning("Image '%s': data length %d does not match its data record of %u bytes - skipping image",
                       name.c_str(), length, data.GetLength());
            continue;
        }

        CImageElement* image = CreateImageElement(name, CPoint(x, y, 0.0), length, data.GetBytes(), layerName,
                                                  layerManager, width, height, parameter606, parameter607);
        if (image != nullptr) images.push_back(image);
    }
    return intact;
}

bool SaveImages(const tImages& images, FILE* file) {
    if (file == nullptr) return false;
    for (const CImageElement* image : images) {
        if (image == nullptr || image->GetDataLength() <= 0 || image->GetDataLength() > kMaxImageDataLength) {
            LogWarning("Image '%s' has no data or too much to be saved",
                       image != nullptr ? image->GetName().c_str() : "<null>");
            return false;
        }
    }

    CTaggedFile tags(file);
    if (!tags.WriteInt(kTagImageCount, static_cast<std::int32_t>(images.size()))) return false;
    for (const CImageElement* image : images) {
        const CLayer* layer = image->GetLayer();
        const bool ok =
            tags.WriteString(kTagName, image->GetName()) && tags.WriteDouble(kTagX, image->GetPosition().x) &&
            tags.WriteDouble(kTagY, image->GetPosition().y) && tags.WriteDouble(kTagWidth, image->GetWidth()) &&
            tags.WriteDouble(kTagHeight, image->GetHeight()) &&
            tags.WriteDouble(kTagParameter606, image->GetParameter606()) &&
            tags.WriteDouble(kTagParameter607, image->GetParameter607()) &&
            tags.WriteString(kTagLayerName, layer != nullptr ? layer->GetName() : std::string()) &&
            tags.WriteInt(kTagDataLength, image->GetDataLength()) &&
            CTag(kTagData, static_cast<std::size_t>(image->GetDataLength()), image->GetData()).WriteTag(file);
        if (!ok) return false;
    }
    return true;
}

CImageElement* CreateImageElement(const std::string& name, const CPoint& position, int dataLength, const void* data,
                                  const std::string& layerName, CLayerManager& layerManager, double width,
                                  double height, double parameter606, double parameter607) {
    auto image = std::make_unique<CImageElement>(data, dataLength);
    image->SetName(name);
    image->SetPosition(position);
    image->SetWidth(width);
    image->SetHeight(height);
    image->SetParameter606(parameter606);
    image->SetParameter607(parameter607);

    CLayer* layer = layerManager.FindLayerByName(layerName);
    if (layer == nullptr) {
        LogWarning("Layer '%s' not found in layout", layerName.c_str());
        UActivityAnalytics::TrackIntegrityCheckFailure("LayerNotFound.CreateImageElement.UImageElements");
        return nullptr;
    }
    if (layer->GetLayerType() != CLayer::kImageLayer) {
        LogWarning("Invalid layer type for '%s' - expected 'Image'", layerName.c_str());
        UActivityAnalytics::TrackIntegrityCheckFailure("InvalidLayerType.CreateImageElement.UImageElements");
    }
    image->SetLayer(layer);
    return image.release();
}

CImageElement* ImageElementForLayer(CLayer* layer, tImages& images) {
    if (layer == nullptr) return nullptr;
    if (layer->GetLayerType() != CLayer::kImageLayer) {
        LogWarning("Invalid layer type %d in %s", layer->GetLayerType(),
                   "static CImageElement *UImageElements::ImageElementForLayer(CLayer *, tImages &)");
        UActivityAnalytics::TrackIntegrityCheckFailure("InvalidLayerType.ImageElementForLayer.UImageElements");
    }
    for (CImageElement* image : images) {
        if (image != nullptr && image->GetLayer() == layer) return image;
    }
    return nullptr;
}

void MoveAll(tImages& images, double dx, double dy) {
    for (CImageElement* image : images) {
        if (image == nullptr) continue;
        CPoint position = image->GetPosition();
        position.x += dx;
        position.y += dy;
        image->SetPosition(position);
    }
}

tDoubleRect GetBoundingBox(const tImages& images) {
    tDoubleRect bounds;
    bool any = false;
    {
        CBoundsAccumulator accumulator(bounds);
        for (const CImageElement* image : images) {
            if (image == nullptr) continue;
            const CPoint& position = image->GetPosition();
            accumulator.AddPoint(CPoint(position.x, position.y));
            accumulator.AddPoint(CPoint(position.x + image->GetWidth(), position.y + image->GetHeight()));
            any = true;
        }
    }
    return any ? bounds : tDoubleRect{};
}

tImages GetImagesOnVisibleLayers(const tImages& images) {
    tImages visible;
    for (CImageElement* image : images) {
        if (image != nullptr && image->GetLayer() != nullptr && image->GetLayer()->IsVisible()) {
            visible.push_back(image);
        }
    }
    return visible;
}

std::vector<const CLayer*> GetLayersInUse(const tImages& images) {
    std::vector<const CLayer*> layers;
    for (const CImageElement* image : images) {
        if (image == nullptr || image->GetLayer() == nullptr) continue;
        if (std::find(layers.begin(), layers.end(), image->GetLayer()) == layers.end()) {
            layers.push_back(image->GetLayer());
        }
    }
    return layers;
}

}  // namespace UImageElements
