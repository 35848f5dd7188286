#pragma once
// CImageElement: one picture of a layout (a scanned plan, a photograph) kept
// as the bytes of its image file with its placement, on an image layer. The
// layout viewer decodes and draws the bytes. UImageElements reads and writes
// the image section of the layout file (tags 600 to 610, from version 10)
// and answers questions about a list of images. The element keeps the
// picture the viewer decoded from its bytes, once, and shares it with its
// copies: decoded pictures never change.

#include "engine/geometry/DoubleRect.h"
#include "engine/geometry/Point.h"
#include "engine/model/ContentChanges.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class CLayer;
class CLayerManager;
namespace platform {
class Image;
}

class CImageElement {
public:
    // Copies `length` bytes of `data`; a null `data` or a length below 1
    // gives an image without data.
    CImageElement(const void* data, int length);
    // A deep copy under a new identifier.
    CImageElement(const CImageElement& other);
    CImageElement& operator=(const CImageElement&) = delete;
    virtual ~CImageElement();

    // A new random UUID for every image and every copy.
    const std::string& GetIdentifier() const { return mIdentifier; }

    const CPoint& GetPosition() const { return mPosition; }
    void SetPosition(const CPoint& position) {
        mPosition = position;
        UContentChanges::Note();
    }
    // Layout units.
    double GetWidth() const { return mWidth; }
    void SetWidth(double width) {
        mWidth = width;
        UContentChanges::Note();
    }
    double GetHeight() const { return mHeight; }
    void SetHeight(double height) {
        mHeight = height;
        UContentChanges::Note();
    }
    double GetParameter606() const { return mParameter606; }
    void SetParameter606(double value) { mParameter606 = value; }
    double GetParameter607() const { return mParameter607; }
    void SetParameter607(double value) { mParameter607 = value; }

    // Not owned.
    CLayer* GetLayer() const { return mLayer; }
    void SetLayer(CLayer* layer) {
        mLayer = layer;
        UContentChanges::Note();
    }

    const std::string& GetName() const { return mName; }
    void SetName(const std::string& name) { mName = name; }

    // The image file's bytes; null when the length is 0.
    const std::uint8_t* GetData() const { return mData.get(); }
    std::int32_t GetDataLength() const { return mDataLength; }

    // The picture decoded from the bytes, set once by the layout viewer
    // (for all of a layout's pictures together, within their budget); null
    // until then and when the bytes do not decode. Setting it is no change
    // of the document. Whether it was set may be asked on any thread; the
    // picture of an element that answers yes may then be read there too,
    // and so may whether it was left out.
    const std::shared_ptr<const platform::Image>& GetPicture() const { return mPicture; }
    bool IsPictureDecoded() const { return mPictureDecoded.load(std::memory_order_acquire); }
    void SetPicture(std::shared_ptr<const platform::Image> picture) {
        mPicture = std::move(picture);
        mPictureLeftOut = false;
        mPictureDecoded.store(true, std::memory_order_release);
    }
    // No picture, though the bytes are one: the viewer ran out of the work
    // or memory it gives a layout's pictures, and marks where it would
    // stand. Bytes that do not decode leave no picture and no mark.
    bool IsPictureLeftOut() const { return mPictureLeftOut; }
    void SetPictureLeftOut() {
        mPicture.reset();
        mPictureLeftOut = true;
        mPictureDecoded.store(true, std::memory_order_release);
    }

private:
    void CopyData(const void* data, int length, const char* signature);

    std::string mIdentifier;
    CPoint mPosition;
    double mWidth = 0.0;
    double mHeight = 0.0;
    double mParameter606 = 0.0;
    double mParameter607 = 1.0;
    CLayer* mLayer = nullptr;
    std::string mName;
    std::unique_ptr<std::uint8_t[]> mData;
    std::int32_t mDataLength = 0;
    std::shared_ptr<const platform::Image> mPicture;
    bool mPictureLeftOut = false;
    std::atomic<bool> mPictureDecoded{false};
};

// The document's images, owned by the document.
using tImages = std::vector<CImageElement*>;

namespace UImageElements {

// The largest image data read from a file or written to one.
constexpr std::int32_t kMaxImageDataLength = 64 * 1024 * 1024;
// More image records than this are not read from a file.
constexpr std::int32_t kMaxImageCount = 4096;

// Reads the image section and appends the images made to `images`. An image
// whose layer is missing is dropped; one whose data length (609) differs
// from its data record (610) or exceeds kMaxImageDataLength is skipped with a
// warning. Reading stops at the first record that cannot be read, and after
// as many images as the rest of the stream can hold. False when the section
// ended early either way; the images read until then stay in the list.
bool ReadImages(tImages& images, FILE* file, CLayerManager& layerManager);

// Writes the image section (600 to 610) for ReadImages. Refuses (false,
// nothing written) a list holding an image without data or with more than
// kMaxImageDataLength bytes; false too when a record cannot be written.
bool SaveImages(const tImages& images, FILE* file);

// A new image with these values on the layer named `layerName`, or null
// (with a warning and an integrity report) when the manager has no such
// layer. A layer of another type than image layer is reported the same way
// and used all the same.
CImageElement* CreateImageElement(const std::string& name, const CPoint& position, int dataLength, const void* data,
                                  const std::string& layerName, CLayerManager& layerManager, double width,
                                  double height, double parameter606, double parameter607);

// The first image on `layer`, or null. A layer that is not an image layer is
// reported first; a null layer gives null.
CImageElement* ImageElementForLayer(CLayer* layer, tImages& images);

// Moves every image's position by (dx, dy).
void MoveAll(tImages& images, double dx, double dy);

// The union of the images' rectangles (x, y) to (x + width, y + height); all
// 0 for an empty list.
tDoubleRect GetBoundingBox(const tImages& images);

// The images whose layer is set and visible, in list order.
tImages GetImagesOnVisibleLayers(const tImages& images);

// The layers the images lie on, for CLayerManager::IsLayerEmpty.
std::vector<const CLayer*> GetLayersInUse(const tImages& images);

}  // namespace UImageElements
